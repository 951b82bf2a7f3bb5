#include "cli/CliOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>

#include "astro/Astro.h"
#include "astro/TextConvert.h"
#include "app/Codes.h"
#include "ui/EncoderSetupDialog.h"
#include "ui/TargetText.h"

namespace kv7::cli {

namespace {

struct CommandInfo {
    Command command;
    const char* synopsis;
    const char* help;
};

const std::map<std::string, CommandInfo>& commandTable()
{
    static const std::map<std::string, CommandInfo> table = {
        {"ports", {Command::Ports, "ports", "List the serial ports by number, with the built-in simulator as 0."}},
        {"info",
         {Command::Info, "info",
          "Connect and print every controller parameter and the encoder configuration the connect sequence read."}},
        {"read-encoders",
         {Command::ReadEncoders, "read-encoders [--watch SECONDS]",
          "Read both encoders: counts, arcseconds and signed degrees:minutes:seconds.\n"
          "  --watch SECONDS   read once a second until SECONDS have passed"}},
        {"move",
         {Command::Move, "move N|S|E|W --speed 0..31 [--for SECONDS]",
          "Move one axis with the hand-pad speed (0 slowest, 31 the axis maximum).\n"
          "  --for SECONDS     stop both axes after SECONDS; without it the mount keeps moving"}},
        {"stop", {Command::Stop, "stop", "Stop both axes."}},
        {"track", {Command::Track, "track on|off", "Switch sidereal tracking on or off."}},
        {"goto",
         {Command::Goto, "goto RA DEC [--flip|--no-flip|--cancel]",
          "Slew to RA (H:M:S, below 24 h) and Dec ([+|-]D:M:S, within 90 degrees) and wait for \"Ready\".\n"
          "When the target lies beyond the meridian the controller asks for a decision:\n"
          "  --flip            position with a meridian flip\n"
          "  --no-flip         position without a flip (only offered within 2 h of the meridian)\n"
          "  --cancel          do not position\n"
          "Without one of these the question is asked on the terminal, or refused when there is none."}},
        {"pier",
         {Command::Pier, "pier set-east|set-west|flip-east|flip-west",
          "Set the reference position on one side of the pier, or flip the mount to that side\n"
          "(a flip waits for \"Ready\")."}},
        {"encoder-format",
         {Command::EncoderFormat,
          "encoder-format RA_FLAGS RA_LEADING RA_BITS RA_REVS DEC_FLAGS DEC_LEADING DEC_BITS DEC_REVS",
          "Write the encoders' data format. FLAGS: bit 0 inverted data, bit 1 Gray code, bit 2 a\n"
          "further flag; LEADING: leading bits (0..31); BITS: bits per one revolution (1..32); REVS:\n"
          "bits for revolutions (0..31), with BITS at most 32 in all. Use save to keep it in the\n"
          "controller."}},
        {"calibrate",
         {Command::Calibrate, "calibrate REVERSE_BITS RA_OFFSET DEC_OFFSET",
          "Write the encoder calibration: REVERSE_BITS (bit 0 RA, bit 1 Dec encoder reversed) and\n"
          "both offsets in encoder counts."}},
        {"reverse-motor",
         {Command::ReverseMotor, "reverse-motor BITS",
          "Reverse the motors: BITS bit 0 RA, bit 1 Dec (0 runs both forward)."}},
        {"save", {Command::Save, "save", "Store the controller's parameters permanently."}},
        {"lst",
         {Command::Lst, "lst", "Print the Julian date, GMST and LST (no connection; see --utc and --longitude)."}},
        {"plan-goto",
         {Command::PlanGoto, "plan-goto RA DEC --pier east|west [--ra-microsteps N] [--dec-microsteps N]",
          "Without a connection, show what a GOTO would do: the hour offset, the decision\n"
          "(position at once, or the meridian-flip question) and the axis positions it sends.\n"
          "Microsteps per axis revolution default to 2400000."}},
    };
    return table;
}

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

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

}  // namespace

bool parseRaArcsec(const std::string& input, std::uint32_t& arcsec, std::string& error)
{
    // The window's own check, so a target the window takes is taken here.
    switch (checkRaText(input.c_str())) {
    case TargetTextCheck::NotAPosition:
        error = "RA \"" + input + "\" is not of the form H:M:S (for example 05:34:32)";
        return false;
    case TargetTextCheck::OutOfRange:
        error = "RA \"" + input + "\" is out of range (hours 0..23, minutes and seconds 0..59)";
        return false;
    case TargetTextCheck::Sound: break;
    }
    // The same parser and conversion as the windows' target fields.
    RaDecBytes bytes;
    parseRaText(trimmed(input).c_str(), &bytes);
    raDecBytesToUnits(bytes, &arcsec, nullptr);
    return true;
}

bool parseDecArcsec(const std::string& input, std::int32_t& arcsec, std::string& error)
{
    switch (checkDecText(input.c_str())) {
    case TargetTextCheck::NotAPosition:
        error = "Dec \"" + input + "\" is not of the form [+|-]D:M:S (for example -05:23:28)";
        return false;
    case TargetTextCheck::OutOfRange:
        error = "Dec \"" + input + "\" is out of range (-90:00:00 to +90:00:00)";
        return false;
    case TargetTextCheck::Sound: break;
    }
    RaDecBytes bytes;
    parseDecText(trimmed(input).c_str(), &bytes);
    raDecBytesToUnits(bytes, nullptr, &arcsec);
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
        "Options:\n"
        "  --port DEVICE|NUMBER|sim  the serial device (a path), its number from `ports`,\n"
        "                            or the built-in simulator (sim or 0). Default: the\n"
        "                            first USB serial adapter, or the simulator when there\n"
        "                            is none\n"
        "  --baud 9600|115200        line speed (default 9600)\n"
        "  --longitude DEG           site longitude, east positive (default 19.5)\n"
        "  --utc YYYY-MM-DDTHH:MM:SS fix the clock at this UTC instant for the whole run\n"
        "  --json                    print one JSON object per result\n"
        "  --timeout SECONDS         how long to wait for the controller (default 10;\n"
        "                            goto and pier flips 600)\n"
        "  --sim-time-scale X        run the built-in simulator X times faster (default 1)\n"
        "  --help                    this text; COMMAND --help for one command\n"
        "\n"
        "Commands:\n";
    for (const auto& [name, info] : commandTable())
        s += "  " + std::string(info.synopsis) + "\n";
    s += "\n"
         "Exit status: 0 success; 1 the controller or the link reported an error (its\n"
         "status text on stderr); 2 bad usage.\n";
    return s;
}

std::string commandHelp(const std::string& command)
{
    const auto it = commandTable().find(command);
    if (it == commandTable().end())
        return {};
    return "Usage: kv7ctl [OPTIONS] " + std::string(it->second.synopsis) + "\n\n" + it->second.help + "\n";
}

ParseResult parseCommandLine(const std::vector<std::string>& args)
{
    ParseResult r;
    Options& o = r.options;
    std::vector<std::string> positional;
    std::string commandName;

    auto fail = [&](const std::string& message) {
        r.ok = false;
        r.error = message;
        return r;
    };

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        std::string v;
        std::uint64_t u = 0;
        if (a == "--help" || a == "-h") {
            o.command = Command::Help;
            o.helpTopic = commandName;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--port") {
            if (!value(v) || v.empty())
                return fail("--port needs a device, a number or sim");
            o.port = v;
        } else if (a == "--baud") {
            if (!value(v) || (v != "9600" && v != "115200"))
                return fail("--baud must be 9600 or 115200");
            o.baud = v == "9600" ? 9600 : 115200;
        } else if (a == "--longitude") {
            if (!value(v) || !parseDouble(v, o.longitude) || o.longitude < -180 || o.longitude > 180)
                return fail("--longitude needs degrees between -180 and 180 (east positive)");
        } else if (a == "--utc") {
            UtcTime t;
            if (!value(v) || !parseUtc(v, t))
                return fail("--utc needs a UTC instant as YYYY-MM-DDTHH:MM:SS");
            o.utc = t;
        } else if (a == "--timeout") {
            if (!value(v) || !parseDouble(v, o.timeoutSeconds) || o.timeoutSeconds <= 0 || o.timeoutSeconds > 86400)
                return fail("--timeout needs a number of seconds above 0");
            // Waits are counted in whole milliseconds: less would be no wait at all.
            if (o.timeoutSeconds < 0.001)
                return fail("--timeout of " + v + " seconds is below the shortest wait, 0.001 seconds (1 ms)");
        } else if (a == "--sim-time-scale") {
            if (!value(v) || !parseDouble(v, o.simTimeScale) || o.simTimeScale <= 0 || o.simTimeScale > 10000)
                return fail("--sim-time-scale needs a factor above 0 (at most 10000)");
        } else if (a == "--watch") {
            if (!value(v) || !parseDouble(v, o.watchSeconds) || o.watchSeconds <= 0 || o.watchSeconds > 86400)
                return fail("--watch needs a number of seconds above 0");
        } else if (a == "--speed") {
            if (!value(v) || !parseUnsigned(v, 31, u))
                return fail("--speed needs a whole number from 0 to 31");
            o.speed = static_cast<int>(u);
        } else if (a == "--for") {
            if (!value(v) || !parseDouble(v, o.forSeconds) || o.forSeconds <= 0 || o.forSeconds > 86400)
                return fail("--for needs a number of seconds above 0");
        } else if (a == "--flip" || a == "--no-flip" || a == "--cancel") {
            if (o.flip != FlipChoice::Ask)
                return fail("give only one of --flip, --no-flip and --cancel");
            o.flip = a == "--flip" ? FlipChoice::Flip : a == "--no-flip" ? FlipChoice::NoFlip : FlipChoice::Cancel;
        } else if (a == "--pier") {
            if (!value(v) || (v != "east" && v != "west"))
                return fail("--pier must be east or west");
            o.planPier = v == "east" ? PierState::pierEast : PierState::pierWest;
        } else if (a == "--ra-microsteps" || a == "--dec-microsteps") {
            if (!value(v) || !parseUnsigned(v, 0x7FFFFFFF, u) || u < 24)
                return fail(a + " needs a whole number of microsteps per axis revolution (at least 24)");
            (a == "--ra-microsteps" ? o.raMicrosteps : o.decMicrosteps) = static_cast<std::uint32_t>(u);
        } else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9')) {
            return fail("unknown option " + a);
        } else if (commandName.empty()) {
            if (a == "help") {
                commandName = a;
                o.command = Command::Help;
            } else {
                const auto it = commandTable().find(a);
                if (it == commandTable().end())
                    return fail("unknown command " + a + " (see kv7ctl --help)");
                commandName = a;
                if (o.command != Command::Help)
                    o.command = it->second.command;
                else
                    o.helpTopic = a;
            }
        } else if (commandName == "help") {
            o.helpTopic = a;
        } else {
            positional.push_back(a);
        }
    }

    if (o.command == Command::Help) {
        if (!o.helpTopic.empty() && o.helpTopic != "help" && commandHelp(o.helpTopic).empty())
            return fail("unknown command " + o.helpTopic);
        r.ok = true;
        return r;
    }
    if (o.command == Command::None)
        return fail("no command given (see kv7ctl --help)");

    std::uint64_t u = 0;
    auto expectArgs = [&](std::size_t n) { return positional.size() == n; };
    const std::string usage = "usage: kv7ctl " + std::string(commandTable().at(commandName).synopsis);
    switch (o.command) {
    case Command::Move: {
        static const std::map<std::string, std::uint8_t> directions = {{"N", 0}, {"S", 1}, {"W", 2}, {"E", 3},
                                                                       {"n", 0}, {"s", 1}, {"w", 2}, {"e", 3}};
        if (!expectArgs(1) || !directions.count(positional[0]))
            return fail("move needs one direction, N, S, E or W; " + usage);
        if (o.speed < 0)
            return fail("move needs --speed 0..31; " + usage);
        o.direction = directions.at(positional[0]);
        break;
    }
    case Command::Track:
        if (!expectArgs(1) || (positional[0] != "on" && positional[0] != "off"))
            return fail("track needs on or off; " + usage);
        o.trackOn = positional[0] == "on";
        break;
    case Command::Goto:
    case Command::PlanGoto: {
        if (!expectArgs(2))
            return fail(commandName + " needs RA and DEC; " + usage);
        std::string error;
        if (!parseRaArcsec(positional[0], o.raArcsec, error) || !parseDecArcsec(positional[1], o.decArcsec, error))
            return fail(error);
        if (o.command == Command::PlanGoto && o.planPier == 0)
            return fail("plan-goto needs --pier east or --pier west; " + usage);
        break;
    }
    case Command::Pier: {
        static const std::map<std::string, std::uint8_t> actions = {
            {"set-east", 1}, {"flip-east", 2}, {"set-west", 3}, {"flip-west", 4}};
        if (!expectArgs(1) || !actions.count(positional[0]))
            return fail("pier needs set-east, set-west, flip-east or flip-west; " + usage);
        o.pierAction = actions.at(positional[0]);
        break;
    }
    case Command::EncoderFormat: {
        if (!expectArgs(8))
            return fail("encoder-format needs eight numbers; " + usage);
        std::uint8_t f[8];
        for (int k = 0; k < 8; ++k) {
            if (!parseUnsigned(positional[k], 255, u))
                return fail("encoder-format field " + std::to_string(k + 1) + " (" + positional[k] +
                            ") must be a whole number from 0 to 255");
            f[k] = static_cast<std::uint8_t>(u);
        }
        // The same limits as the window's Encoder setup: what the encoder word holds.
        for (int axis : {0, 4}) {
            const std::string name = axis == 0 ? "RA " : "Dec ";
            switch (encoderFormatFault(f[axis + 1], f[axis + 2], f[axis + 3])) {
            case EncoderFormatFault::BitsPerRevolution:
                return fail(name + "bits per one revolution must be from 1 to 32, not " + positional[axis + 2]);
            case EncoderFormatFault::BitsForRevolutions:
                return fail(name + "bits for revolutions must be from 0 to 31, not " + positional[axis + 3]);
            case EncoderFormatFault::LeadingBits:
                return fail(name + "leading bits must be from 0 to 31, not " + positional[axis + 1]);
            case EncoderFormatFault::DataBits:
                return fail(name + "bits for revolutions and per revolution exceed 32 (" + positional[axis + 3] +
                            " + " + positional[axis + 2] + ")");
            case EncoderFormatFault::None: break;
            }
        }
        for (int k : {0, 4}) {
            if (f[k] > 7)
                return fail("flags must be from 0 to 7 (bit 0 inverted, bit 1 Gray, bit 2 further flag), not " +
                            positional[k]);
        }
        o.format = EncoderFormat{f[0], f[4], f[1], f[2], f[3], f[5], f[6], f[7]};
        break;
    }
    case Command::Calibrate:
        if (!expectArgs(3))
            return fail("calibrate needs three numbers; " + usage);
        if (!parseUnsigned(positional[0], 3, u))
            return fail("reverse bits must be 0, 1, 2 or 3");
        o.reverseBits = static_cast<std::uint8_t>(u);
        if (!parseUnsigned(positional[1], 0xFFFFFFFFu, u))
            return fail("RA offset must be a whole number from 0 to 4294967295");
        o.raOffset = static_cast<std::uint32_t>(u);
        if (!parseUnsigned(positional[2], 0xFFFFFFFFu, u))
            return fail("Dec offset must be a whole number from 0 to 4294967295");
        o.decOffset = static_cast<std::uint32_t>(u);
        break;
    case Command::ReverseMotor:
        if (!expectArgs(1) || !parseUnsigned(positional[0], 3, u))
            return fail("reverse-motor needs bits 0, 1, 2 or 3; " + usage);
        o.reverseBits = static_cast<std::uint8_t>(u);
        break;
    default:
        if (!positional.empty())
            return fail(commandName + " takes no arguments (" + positional[0] + "); " + usage);
        break;
    }
    if (o.watchSeconds > 0 && o.command != Command::ReadEncoders)
        return fail("--watch belongs to read-encoders");
    if (o.forSeconds > 0 && o.command != Command::Move)
        return fail("--for belongs to move");
    if (o.speed >= 0 && o.command != Command::Move)
        return fail("--speed belongs to move");
    if (o.flip != FlipChoice::Ask && o.command != Command::Goto)
        return fail("--flip, --no-flip and --cancel belong to goto");
    if (o.planPier != 0 && o.command != Command::PlanGoto)
        return fail("--pier belongs to plan-goto");
    r.ok = true;
    return r;
}

}  // namespace kv7::cli
