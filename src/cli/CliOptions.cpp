#include "cli/CliOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "cli/OptionTable.h"
#include "ui/TargetText.h"

namespace kv7::cli {

namespace {

// What the parser has read so far.
struct Parsing {
    Options& options;
    std::string commandName;
    std::vector<std::string> positional;
    std::vector<const OptionSpec*> seen;
};

bool looksLikeOption(const std::string& a) { return a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9'); }

// An option and, when it takes one, its value (the next argument).
std::string takeOption(const OptionSpec& spec, const std::vector<std::string>& args, std::size_t& i, Parsing& p)
{
    if (!spec.take) {
        p.options.command = Command::Help;
        p.options.helpTopic = p.commandName;
        return {};
    }
    std::string value;
    if (spec.value) {
        if (i + 1 >= args.size())
            return spec.needs;
        value = args[++i];
    }
    std::string error;
    if (!spec.take(p.options, value, error))
        return !error.empty() ? error : spec.needs ? spec.needs : spec.name + std::string(" cannot be used here");
    p.seen.push_back(&spec);
    return {};
}

// The command, the topic of help, or a positional argument.
std::string takeWord(const std::string& a, Parsing& p)
{
    Options& o = p.options;
    if (!p.commandName.empty()) {
        if (p.commandName == "help")
            o.helpTopic = a;
        else
            p.positional.push_back(a);
        return {};
    }
    p.commandName = a;
    if (a == "help") {
        o.command = Command::Help;
        return {};
    }
    const CommandSpec* spec = findCommand(a);
    if (!spec)
        return "unknown command " + a + " (see kv7ctl --help)";
    if (o.command == Command::Version)
        return {};
    if (o.command != Command::Help)
        o.command = spec->command;
    else
        o.helpTopic = a;
    return {};
}

// Once everything is read: the command's arguments, then options given to
// a command they do not belong to.
std::string finish(Parsing& p)
{
    Options& o = p.options;
    if (o.command == Command::Version)
        return {};
    if (o.command == Command::Help) {
        if (!o.helpTopic.empty() && o.helpTopic != "help" && !findCommand(o.helpTopic))
            return "unknown command " + o.helpTopic;
        return {};
    }
    if (o.command == Command::None)
        return "no command given (see kv7ctl --help)";
    const CommandSpec& spec = *findCommand(p.commandName);
    if (std::string error = spec.takeArguments(o, p.positional, spec); !error.empty())
        return error;
    for (const OptionSpec& option : optionTable()) {
        const bool given = std::find(p.seen.begin(), p.seen.end(), &option) != p.seen.end();
        if (given && option.misplaced && !option.belongsTo(o.command))
            return option.misplaced;
    }
    return {};
}

// "  NAME VALUE" in a column of width, then the help's lines, each indented
// to the column.
std::string helpLines(const OptionSpec& spec, std::size_t width)
{
    std::string left = std::string("  ") + spec.name + (spec.value ? std::string(" ") + spec.value : "");
    left.resize(std::max(width, left.size() + 1), ' ');
    for (const char* c = spec.help; *c; ++c)
        left += *c == '\n' ? "\n" + std::string(width, ' ') : std::string(1, *c);
    return left + "\n";
}

}  // namespace

bool parseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& out)
{
    if (text.empty() || text.size() > 20)
        return false;
    std::uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
        if (v > max)
            return false;
    }
    out = v;
    return true;
}

bool parseDouble(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

ParseResult parseCommandLine(const std::vector<std::string>& args)
{
    ParseResult r;
    Parsing p{r.options, {}, {}, {}};
    for (std::size_t i = 0; i < args.size() && r.error.empty(); ++i) {
        const std::string& a = args[i];
        if (const OptionSpec* spec = findOption(a))
            r.error = takeOption(*spec, args, i, p);
        else if (looksLikeOption(a))
            r.error = "unknown option " + a;
        else
            r.error = takeWord(a, p);
    }
    if (r.error.empty())
        r.error = finish(p);
    r.ok = r.error.empty();
    return r;
}

namespace {

// kv7ctl's words for what the window's target reading said of a text.
bool targetAccepted(TargetTextCheck check, const std::string& what, const char* form, const char* range,
                    std::string& error)
{
    switch (check) {
    case TargetTextCheck::NotAPosition: error = what + " is not of the form " + form; return false;
    case TargetTextCheck::OutOfRange: error = what + " is out of range " + range; return false;
    case TargetTextCheck::Sound: break;
    }
    return true;
}

}  // namespace

bool parseRaArcsec(const std::string& input, std::uint32_t& arcsec, std::string& error)
{
    // The window's own reading, so a target the window takes is taken here.
    return targetAccepted(readRaText(input.c_str(), arcsec), "RA \"" + input + "\"", "H:M:S (for example 05:34:32)",
                          "(hours 0..23, minutes and seconds 0..59)", error);
}

bool parseDecArcsec(const std::string& input, std::int32_t& arcsec, std::string& error)
{
    return targetAccepted(readDecText(input.c_str(), arcsec), "Dec \"" + input + "\"",
                          "[+|-]D:M:S (for example -05:23:28)", "(-90:00:00 to +90:00:00)", error);
}

bool parseDegrees(const std::string& text, double limit, double& degrees)
{
    // Decimal degrees as they are, or D[:M[:S]] with the sign in front of
    // the whole: "-0:30" is half a degree south or west.
    double value = 0;
    if (text.find(':') == std::string::npos) {
        if (!parseDouble(text, value))
            return false;
    } else {
        const bool negative = !text.empty() && text[0] == '-';
        const std::string body = !text.empty() && (text[0] == '-' || text[0] == '+') ? text.substr(1) : text;
        double scale = 1;
        std::size_t at = 0;
        for (int part = 0; part < 3 && at <= body.size(); ++part) {
            const std::size_t colon = body.find(':', at);
            const std::string piece = body.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
            double number = 0;
            // Only the last part may have a fraction; none has a sign of its own.
            if (piece.empty() || piece[0] == '-' || piece[0] == '+' || !parseDouble(piece, number) || number < 0 ||
                (part > 0 && number >= 60) || (colon != std::string::npos && number != std::floor(number)))
                return false;
            value += number / scale;
            scale *= 60;
            if (colon == std::string::npos) {
                at = body.size() + 1;
                break;
            }
            at = colon + 1;
        }
        if (at <= body.size())
            return false;   // a fourth part
        value = negative ? -value : value;
    }
    if (value < -limit || value > limit)
        return false;
    degrees = value;
    return true;
}

bool parseUtc(const std::string& text, UtcTime& t)
{
    // YYYY-MM-DDTHH:MM:SS
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != ' ') ||
        text[13] != ':' || text[16] != ':')
        return false;
    auto num = [&](std::size_t at, std::size_t len, int& out) {
        std::uint64_t v = 0;
        if (!parseUnsigned(text.substr(at, len), 9999, v))
            return false;
        out = static_cast<int>(v);
        return true;
    };
    if (!num(0, 4, t.year) || !num(5, 2, t.month) || !num(8, 2, t.day) || !num(11, 2, t.hour) ||
        !num(14, 2, t.minute) || !num(17, 2, t.second))
        return false;
    static const int daysIn[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > daysIn[t.month - 1] || t.hour > 23 || t.minute > 59 ||
        t.second > 59)
        return false;
    // The calendar julianDate counts in: Julian up to 1582-10-04, Gregorian
    // from 1582-10-15, and nothing in between.
    if (t.year == 1582 && t.month == 10 && t.day > 4 && t.day < 15)
        return false;
    const bool gregorian = t.year > 1582 || (t.year == 1582 && t.month > 10);
    const bool leap = gregorian ? (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0 : t.year % 4 == 0;
    return !(t.month == 2 && t.day == 29 && !leap);
}

std::string usageText()
{
    std::string s =
        "Usage: kv7ctl [OPTIONS] COMMAND [ARGS]\n"
        "\n"
        "Talks to a KV7 motor controller: connects, does one operation, waits for its\n"
        "outcome, disconnects and exits.\n"
        "\n"
        "Options:\n";
    for (const OptionSpec& spec : optionTable()) {
        if (spec.owner == Command::None && spec.help)
            s += helpLines(spec, 28);
    }
    s += "\nCommands:\n";
    for (const CommandSpec& spec : commandTable())
        s += "  " + std::string(spec.synopsis) + "\n";
    s += "\n"
         "Exit status: 0 success; 1 the controller or the link reported an error (its\n"
         "status text on stderr); 2 bad usage.\n";
    return s;
}

std::string commandHelp(const std::string& command)
{
    const CommandSpec* spec = findCommand(command);
    if (!spec)
        return {};
    std::string s = "Usage: kv7ctl [OPTIONS] " + std::string(spec->synopsis) + "\n\n" + spec->help + "\n";
    for (const OptionSpec& option : optionTable()) {
        if (option.owner != Command::None && option.belongsTo(spec->command) && option.help)
            s += helpLines(option, 20);
    }
    if (spec->helpAfter)
        s += std::string(spec->helpAfter) + "\n";
    return s;
}

std::string commandName(Command command)
{
    const CommandSpec* spec = findCommand(command);
    return spec ? spec->name : "";
}

}  // namespace kv7::cli
