#include "sim/kv7sim/SimOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kv7::sim {

namespace {

bool parsePositive(const std::string& text, double& value)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v) || v <= 0.0)
        return false;
    value = v;
    return true;
}

bool parseWhole(const std::string& text, std::uint32_t& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

constexpr std::uint32_t maxLineRate = 4000000;

}  // namespace

std::string simUsage(std::string_view device, bool withLink)
{
    std::string usage = "Usage: kv7sim [OPTION]...\n";
    usage += device;
    usage += "\n";
    if (withLink) {
        usage += "  --link PATH             also make PATH a symbolic link to the device\n"
                 "                          (removed again on exit); one kv7sim per PATH\n";
    }
    usage += "  --state FILE            keep stored parameters in FILE (key=value text,\n"
             "                          a regular file of at most 64 KiB); without it\n"
             "                          nothing survives a restart\n"
             "  --encoder-format FORMAT physical format of the mount's encoders, items\n"
             "                          separated by commas: binary, gray, inverted, plain,\n"
             "                          leading=N, revolutions=N, bits=N (N up to 32);\n"
             "                          prefix ra: or dec: for one axis. Default:\n"
             "                          binary,plain,leading=12,revolutions=0,bits=25\n"
             "  --encoder-fit ITEMS     how the encoders sit on the mount, items separated\n"
             "                          by commas: scale-ppm=P (turns 1+P/1e6 per axis\n"
             "                          turn, -100000..100000), backlash=ARCSEC (play\n"
             "                          between motor and axis, 0..3600), reversed,\n"
             "                          forward, noise=COUNTS (each reading wanders by up\n"
             "                          to COUNTS, 0..1000), bit-errors=P (a reading comes\n"
             "                          with one data bit flipped, chance P, 0..1); prefix\n"
             "                          ra: or dec: for one axis. Default:\n"
             "                          scale-ppm=0,forward,backlash=0,noise=0,bit-errors=0\n"
             "  --fault MODE[=ARG]      silent | wrong-identify | noise | drop=P (0..1) |\n"
             "                          slow=MS (reply delay, wall-clock ms) | vanish=N\n"
             "                          (answers N frames, then hangs up) |\n"
             "                          quiet-after=N (answers N frames, then none) |\n"
             "                          short=CODE (replies to command CODE carry only\n"
             "                          the echoed code); repeatable\n"
             "  --seed N                random seed for noise, dropped bytes and encoder\n"
             "                          noise (default 1)\n"
             "  --time-scale X          run simulated time X times faster than real time\n"
             "  --line-rate BAUD        pace the line at BAUD bits per second each way,\n"
             "                          8N1 (960 bytes/s at 9600), in wall-clock time;\n"
             "                          0 (the default): as fast as possible\n"
             "  --verbose               log every frame to stderr\n"
             "  --transcript FILE       record every byte on the line, each way, with its\n"
             "                          time, into FILE (docs/transcripts.md)\n"
             "  --replay FILE           play the controller's side of a transcript: answer\n"
             "                          each request with the recorded reply; the first\n"
             "                          request that differs is reported and kv7sim exits 1\n"
             "  --help                  show this text\n"
             "  --version               print the version and commit, then exit\n"
             "\n"
             "Exit status: 0 after a clean stop, 1 if the simulator could not start,\n"
             "2 for a bad command line.\n";
    return usage;
}

namespace {

// One option of the command line: its name, and its value either after "="
// or as the next argument.
struct OptionCursor {
    const std::vector<std::string>& args;
    std::size_t& i;
    std::string& error;
    std::string name;
    std::string value;
    bool hasValue = false;

    OptionCursor(const std::vector<std::string>& a, std::size_t& index, std::string& e)
        : args(a), i(index), error(e), name(a[index])
    {
        const std::size_t eq = name.find('=');
        if (name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
    }
    bool needValue()
    {
        if (hasValue)
            return true;
        if (i + 1 >= args.size()) {
            error = "option " + name + " needs a value";
            return false;
        }
        value = args[++i];
        return true;
    }
    // An empty path ("--state=") names nothing.
    bool needPath(const char* what, std::string& path)
    {
        if (!needValue())
            return false;
        if (value.empty()) {
            error = name + " needs " + what;
            return false;
        }
        path = value;
        return true;
    }
    bool noValue()
    {
        if (hasValue)
            error = "option " + name + " takes no value";
        return !hasValue;
    }
};

// --seed, --time-scale and --line-rate, their value already taken; false with error set.
bool applyNumber(OptionCursor& o, SimToolOptions& options)
{
    const std::string& value = o.value;
    if (o.name == "--seed") {
        if (parseWhole(value, options.config.faults.seed))
            return true;
        o.error = "--seed needs a whole number from 0 to 4294967295, not \"" + value + "\"";
        return false;
    }
    if (o.name == "--line-rate") {
        if (parseWhole(value, options.lineRate) && options.lineRate <= maxLineRate)
            return true;
        o.error = "--line-rate needs bits per second from 0 (unpaced) to 4000000, e.g. 9600, not \"" + value + "\"";
        return false;
    }
    if (parsePositive(value, options.timeScale) && options.timeScale <= 1e6)
        return true;
    o.error = "--time-scale needs a number above 0 (up to 1000000), not \"" + value + "\"";
    return false;
}

// The options that take a value other than a path; false with error set.
bool applyValued(OptionCursor& o, SimToolOptions& options, bool& slowGiven)
{
    if (!o.needValue())
        return false;
    const std::string& value = o.value;
    std::string why;
    if (o.name == "--encoder-format" || o.name == "--encoder-fit") {
        const auto apply = o.name == "--encoder-format" ? applyEncoderFormatText : applyEncoderFitText;
        if (apply(value, options.config.raEncoder, options.config.decEncoder, why))
            return true;
        o.error = o.name + " " + value + ": " + why;
        return false;
    }
    if (o.name == "--fault") {
        slowGiven = slowGiven || value.starts_with("slow");
        if (applyFaultOption(value, options.config.faults, why))
            return true;
        o.error = "--fault " + value + ": " + why;
        return false;
    }
    return applyNumber(o, options);
}

}  // namespace

ParseOutcome parseSimCommandLine(const std::vector<std::string>& args, SimToolOptions& options, std::string& error)
{
    bool slowGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        OptionCursor o(args, i, error);
        bool ok = true;
        if (o.name == "--help" || o.name == "-h") {
            return o.noValue() ? ParseOutcome::Help : ParseOutcome::Error;
        } else if (o.name == "--version") {
            return o.noValue() ? ParseOutcome::Version : ParseOutcome::Error;
        } else if (o.name == "--verbose" || o.name == "-v") {
            ok = o.noValue();
            options.verbose = true;
        } else if (o.name == "--link") {
            ok = o.needPath("a path", options.linkPath);
        } else if (o.name == "--state") {
            ok = o.needPath("a file name", options.statePath);
        } else if (o.name == "--transcript") {
            ok = o.needPath("a file name", options.transcriptPath);
        } else if (o.name == "--replay") {
            ok = o.needPath("a transcript file", options.replayPath);
        } else if (o.name == "--encoder-format" || o.name == "--encoder-fit" || o.name == "--fault" ||
                   o.name == "--seed" || o.name == "--time-scale" || o.name == "--line-rate") {
            ok = applyValued(o, options, slowGiven);
        } else {
            error = o.name.starts_with("-") ? "unknown option " + o.name : "unexpected argument \"" + o.name + "\"";
            ok = false;
        }
        if (!ok)
            return ParseOutcome::Error;
    }
    if (slowGiven)
        options.config.faults.replyDelay *= options.timeScale;
    return ParseOutcome::Run;
}

}  // namespace kv7::sim
