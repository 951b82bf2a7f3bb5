#include "cli/OptionTable.h"

#include <algorithm>

#include "ui/EncoderSetupDialog.h"

namespace kv7::cli {

namespace {

// ---- Option values ----------------------------------------------------------

bool secondsAboveZero(const std::string& v, double& out)
{
    return parseDouble(v, out) && out > 0 && out <= 86400;
}

bool takePort(Options& o, const std::string& v, std::string&)
{
    o.port = v;
    return !v.empty();
}

bool takeBaud(Options& o, const std::string& v, std::string&)
{
    if (v != "9600" && v != "115200")
        return false;
    o.baud = v == "9600" ? 9600 : 115200;
    return true;
}

bool takeLongitude(Options& o, const std::string& v, std::string&)
{
    o.longitudeGiven = parseDouble(v, o.longitude) && o.longitude >= -180 && o.longitude <= 180;
    return o.longitudeGiven;
}

bool takeTranscript(Options& o, const std::string& v, std::string&)
{
    o.transcriptPath = v;
    return !v.empty();
}

bool takeUtc(Options& o, const std::string& v, std::string&)
{
    UtcTime t;
    if (!parseUtc(v, t))
        return false;
    o.utc = t;
    return true;
}

// Whatever else is on the line, the version is printed and nothing more.
bool takeVersion(Options& o, const std::string&, std::string&)
{
    o.command = Command::Version;
    return true;
}

bool takeJson(Options& o, const std::string&, std::string&)
{
    o.json = true;
    return true;
}

bool takeTimeout(Options& o, const std::string& v, std::string& error)
{
    if (!secondsAboveZero(v, o.timeoutSeconds))
        return false;
    // Waits are counted in whole milliseconds: less would be no wait at all.
    if (o.timeoutSeconds < 0.001)
        error = "--timeout of " + v + " seconds is below the shortest wait, 0.001 seconds (1 ms)";
    return error.empty();
}

bool takeSimTimeScale(Options& o, const std::string& v, std::string&)
{
    return parseDouble(v, o.simTimeScale) && o.simTimeScale > 0 && o.simTimeScale <= 10000;
}

bool takeWatch(Options& o, const std::string& v, std::string&) { return secondsAboveZero(v, o.watchSeconds); }

bool takeRate(Options& o, const std::string& v, std::string&)
{
    if (v == "max") {
        o.rateMax = true;
        return true;
    }
    return parseDouble(v, o.rateHz) && o.rateHz > 0 && o.rateHz <= 1000;
}

bool takeCsv(Options& o, const std::string&, std::string&)
{
    o.csv = true;
    return true;
}

bool takeYes(Options& o, const std::string&, std::string&)
{
    o.yes = true;
    return true;
}

bool takeSteps(Options& o, const std::string& v, std::string&)
{
    std::uint64_t u = 0;
    if (!parseUnsigned(v, 100000000, u) || u < 10)
        return false;
    o.steps = static_cast<std::int64_t>(u);
    return true;
}

bool takeFor(Options& o, const std::string& v, std::string&) { return secondsAboveZero(v, o.forSeconds); }

bool takeSpeed(Options& o, const std::string& v, std::string&)
{
    std::uint64_t u = 0;
    if (!parseUnsigned(v, 31, u))
        return false;
    o.speed = static_cast<int>(u);
    return true;
}

bool takeFlipChoice(Options& o, FlipChoice choice, std::string& error)
{
    if (o.flip != FlipChoice::Ask)
        error = "give only one of --flip, --no-flip and --cancel";
    o.flip = choice;
    return error.empty();
}

bool takeFlip(Options& o, const std::string&, std::string& e) { return takeFlipChoice(o, FlipChoice::Flip, e); }
bool takeNoFlip(Options& o, const std::string&, std::string& e) { return takeFlipChoice(o, FlipChoice::NoFlip, e); }
bool takeCancel(Options& o, const std::string&, std::string& e) { return takeFlipChoice(o, FlipChoice::Cancel, e); }

bool takePier(Options& o, const std::string& v, std::string&)
{
    if (v != "east" && v != "west")
        return false;
    o.planPier = v == "east" ? PierState::pierEast : PierState::pierWest;
    return true;
}

bool takeMicrosteps(const std::string& v, std::uint32_t& out)
{
    std::uint64_t u = 0;
    if (!parseUnsigned(v, 0x7FFFFFFF, u) || u < 24)
        return false;
    out = static_cast<std::uint32_t>(u);
    return true;
}

bool takeEncoders(Options& o, const std::string&, std::string&)
{
    o.syncEncoders = true;
    return true;
}

bool takeRaMicrosteps(Options& o, const std::string& v, std::string&) { return takeMicrosteps(v, o.raMicrosteps); }
bool takeDecMicrosteps(Options& o, const std::string& v, std::string&) { return takeMicrosteps(v, o.decMicrosteps); }

// ---- Positional arguments ---------------------------------------------------

std::string noArguments(Options&, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.empty())
        return {};
    return spec.name + std::string(" takes no arguments (") + args[0] + "); " + usageLine(spec);
}

std::string moveArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    static const std::pair<const char*, HandPad::Direction> directions[] = {
        {"N", HandPad::North}, {"S", HandPad::South}, {"W", HandPad::West}, {"E", HandPad::East},
        {"n", HandPad::North}, {"s", HandPad::South}, {"w", HandPad::West}, {"e", HandPad::East}};
    const auto* found = std::find_if(std::begin(directions), std::end(directions),
                                     [&](const auto& d) { return args.size() == 1 && args[0] == d.first; });
    if (found == std::end(directions))
        return "move needs one direction, N, S, E or W; " + usageLine(spec);
    if (o.speed < 0)
        return "move needs --speed 0..31; " + usageLine(spec);
    o.direction = found->second;
    return {};
}

std::string trackArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.size() != 1 || (args[0] != "on" && args[0] != "off"))
        return "track needs on or off; " + usageLine(spec);
    o.trackOn = args[0] == "on";
    return {};
}

std::string targetArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.size() != 2)
        return spec.name + std::string(" needs RA and DEC; ") + usageLine(spec);
    std::string error;
    if (!parseRaArcsec(args[0], o.raArcsec, error) || !parseDecArcsec(args[1], o.decArcsec, error))
        return error;
    if (o.command == Command::PlanGoto && o.planPier == 0)
        return "plan-goto needs --pier east or --pier west; " + usageLine(spec);
    return {};
}

std::string syncArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (o.syncEncoders) {
        if (!args.empty())
            return "sync --encoders takes no RA and DEC; " + usageLine(spec);
        return {};
    }
    if (args.size() != 2)
        return "sync needs RA and DEC, or --encoders; " + usageLine(spec);
    return targetArguments(o, args, spec);
}

std::string siteArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.empty())
        return {};
    if (args[0] != "set" || args.size() != 3)
        return "site takes nothing, or set LAT LON; " + usageLine(spec);
    if (!parseDegrees(args[1], 90, o.siteLatitude))
        return "latitude " + args[1] + " is not degrees (D:M:S or decimal) from -90 to 90, north positive";
    if (!parseDegrees(args[2], 180, o.siteLongitude))
        return "longitude " + args[2] + " is not degrees (D:M:S or decimal) from -180 to 180, east positive";
    o.siteSet = true;
    return {};
}

std::string readArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (std::string error = noArguments(o, args, spec); !error.empty())
        return error;
    if ((o.rateMax || o.rateHz > 0 || o.csv) && o.watchSeconds <= 0)
        return "--rate and --csv need --watch SECONDS; " + usageLine(spec);
    return {};
}

std::string commissionArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.size() != 2 || (args[0] != "detect-format" && args[0] != "check"))
        return "commission needs detect-format or check, and an axis; " + usageLine(spec);
    if (args[1] != "ra" && args[1] != "RA" && args[1] != "dec" && args[1] != "Dec" && args[1] != "DEC")
        return "commission needs the axis ra or dec, not " + args[1] + "; " + usageLine(spec);
    o.commissionCheck = args[0] == "check";
    o.commissionDec = args[1][0] == 'd' || args[1][0] == 'D';
    if (o.commissionCheck && o.yes)
        return "--yes belongs to commission detect-format";
    if (!o.commissionCheck && o.steps > 0)
        return "--steps belongs to commission check";
    if (o.speed < 0)
        o.speed = 6;
    return {};
}

std::string configArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    static const std::pair<const char*, ConfigAction> actions[] = {{"save", ConfigAction::Save},
                                                                   {"show", ConfigAction::Show},
                                                                   {"diff", ConfigAction::Diff},
                                                                   {"restore", ConfigAction::Restore}};
    const auto* found = std::find_if(std::begin(actions), std::end(actions),
                                     [&](const auto& a) { return !args.empty() && args[0] == a.first; });
    if (found == std::end(actions) || args.size() != 2 || args[1].empty())
        return "config needs save, show, diff or restore, and a FILE; " + usageLine(spec);
    o.configAction = found->second;
    o.configFile = args[1];
    if (o.yes && o.configAction != ConfigAction::Restore)
        return "--yes belongs to config restore";
    return {};
}

std::string transcriptArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& entry)
{
    if (args.size() != 2 || args[0] != "show" || args[1].empty())
        return "transcript needs show and a FILE; " + usageLine(entry);
    o.transcriptFile = args[1];
    return {};
}

std::string batchArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.size() > 1)
        return "batch takes one file, or - for standard input; " + usageLine(spec);
    o.batchFile = args.empty() ? "-" : args[0];
    return {};
}

std::string pierArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    static const std::pair<const char*, PierAction::Action> actions[] = {{"set-east", PierAction::SetEast},
                                                                         {"flip-east", PierAction::FlipEast},
                                                                         {"set-west", PierAction::SetWest},
                                                                         {"flip-west", PierAction::FlipWest}};
    const auto* found = std::find_if(std::begin(actions), std::end(actions),
                                     [&](const auto& a) { return args.size() == 1 && args[0] == a.first; });
    if (found == std::end(actions))
        return "pier needs set-east, set-west, flip-east or flip-west; " + usageLine(spec);
    o.pierAction = found->second;
    return {};
}

// One axis's fields as the window's Encoder setup checks them: what the
// encoder word holds. at is the axis's first argument (flags).
std::string encoderAxisFault(const std::uint8_t* f, const std::vector<std::string>& args, std::size_t at)
{
    const std::string name = at == 0 ? "RA " : "Dec ";
    switch (encoderFormatFault(f[at + 1], f[at + 2], f[at + 3])) {
    case EncoderFormatFault::BitsPerRevolution:
        return name + "bits per one revolution must be from 1 to 32, not " + args[at + 2];
    case EncoderFormatFault::BitsForRevolutions:
        return name + "bits for revolutions must be from 0 to 31, not " + args[at + 3];
    case EncoderFormatFault::LeadingBits: return name + "leading bits must be from 0 to 31, not " + args[at + 1];
    case EncoderFormatFault::DataBits:
        return name + "bits for revolutions and per revolution exceed 32 (" + args[at + 3] + " + " + args[at + 2] +
               ")";
    case EncoderFormatFault::None: break;
    }
    return {};
}

std::string encoderFormatArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.size() != 8)
        return "encoder-format needs eight numbers; " + usageLine(spec);
    std::uint8_t f[8];
    for (std::size_t k = 0; k < 8; ++k) {
        std::uint64_t u = 0;
        if (!parseUnsigned(args[k], 255, u))
            return "encoder-format field " + std::to_string(k + 1) + " (" + args[k] +
                   ") must be a whole number from 0 to 255";
        f[k] = static_cast<std::uint8_t>(u);
    }
    for (std::size_t axis : {0u, 4u}) {
        if (std::string fault = encoderAxisFault(f, args, axis); !fault.empty())
            return fault;
    }
    for (std::size_t k : {0u, 4u}) {
        if (f[k] > 7)
            return "flags must be from 0 to 7 (bit 0 inverted, bit 1 Gray, bit 2 further flag), not " + args[k];
    }
    o.format = EncoderFormat{f[0], f[4], f[1], f[2], f[3], f[5], f[6], f[7]};
    return {};
}

std::string calibrateArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    if (args.size() != 3)
        return "calibrate needs three numbers; " + usageLine(spec);
    std::uint64_t u = 0;
    if (!parseUnsigned(args[0], 3, u))
        return "reverse bits must be 0, 1, 2 or 3";
    o.reverseBits = static_cast<std::uint8_t>(u);
    if (!parseUnsigned(args[1], 0xFFFFFFFFu, u))
        return "RA offset must be a whole number from 0 to 4294967295";
    o.raOffset = static_cast<std::uint32_t>(u);
    if (!parseUnsigned(args[2], 0xFFFFFFFFu, u))
        return "Dec offset must be a whole number from 0 to 4294967295";
    o.decOffset = static_cast<std::uint32_t>(u);
    return {};
}

std::string reverseMotorArguments(Options& o, const std::vector<std::string>& args, const CommandSpec& spec)
{
    std::uint64_t u = 0;
    if (args.size() != 1 || !parseUnsigned(args[0], 3, u))
        return "reverse-motor needs bits 0, 1, 2 or 3; " + usageLine(spec);
    o.reverseBits = static_cast<std::uint8_t>(u);
    return {};
}

// ---- The tables -------------------------------------------------------------

constexpr Command every = Command::None;
constexpr const char* flipMisplaced = "--flip, --no-flip and --cancel belong to goto";

const OptionSpec options[] = {
    {"--port", "DEVICE|NUMBER|sim", every,
     "the serial device (a path), its number from `ports`,\n"
     "or the built-in simulator (sim or 0). Default: the\n"
     "first USB serial adapter, or the simulator when there\n"
     "is none",
     "--port needs a device, a number or sim", takePort, nullptr},
    {"--baud", "9600|115200", every, "line speed (default 9600)", "--baud must be 9600 or 115200", takeBaud, nullptr},
    {"--longitude", "DEG", every,
     "site longitude, east positive (default: the settings\n"
     "file's site, else 19.5)",
     "--longitude needs degrees between -180 and 180 (east positive)", takeLongitude, nullptr},
    {"--utc", "YYYY-MM-DDTHH:MM:SS", every, "fix the clock at this UTC instant for the whole run",
     "--utc needs a UTC instant as YYYY-MM-DDTHH:MM:SS", takeUtc, nullptr},
    {"--json", nullptr, every, "print one JSON object per result", nullptr, takeJson, nullptr},
    {"--timeout", "SECONDS", every,
     "how long to wait for the controller (default 10;\n"
     "goto and pier flips 600)",
     "--timeout needs a number of seconds above 0", takeTimeout, nullptr},
    {"--sim-time-scale", "X", every, "run the built-in simulator X times faster (default 1)",
     "--sim-time-scale needs a factor above 0 (at most 10000)", takeSimTimeScale, nullptr},
    {"--transcript", "FILE", every,
     "record every byte on the line, each way, with its time,\n"
     "into FILE (see docs/transcripts.md)",
     "--transcript needs a file name", takeTranscript, nullptr},
    {"--help", nullptr, every, "this text; COMMAND --help for one command", nullptr, nullptr, nullptr},
    {"-h", nullptr, every, nullptr, nullptr, nullptr, nullptr},
    {"--version", nullptr, every, "print the program's version and commit, then exit", nullptr, takeVersion, nullptr},
    // Misplaced ones are named in this order.
    {"--watch", "SECONDS", Command::ReadEncoders, "read once a second until SECONDS have passed",
     "--watch needs a number of seconds above 0", takeWatch, "--watch belongs to read-encoders"},
    {"--rate", "HZ|max", Command::ReadEncoders,
     "with --watch: the encoders and the motor axes read HZ\n"
     "times a second, or as fast as the line allows (max),\n"
     "a line each with readings that cannot be right marked",
     "--rate needs readings a second (above 0, at most 1000) or max", takeRate, "--rate belongs to read-encoders"},
    {"--csv", nullptr, Command::ReadEncoders, "with --rate: comma-separated lines under a header", nullptr, takeCsv,
     "--csv belongs to read-encoders"},
    {"--for", "SECONDS", Command::Move, "stop both axes after SECONDS; without it the mount keeps moving",
     "--for needs a number of seconds above 0", takeFor, "--for belongs to move"},
    {"--speed", "0..31", Command::Move, nullptr, "--speed needs a whole number from 0 to 31", takeSpeed,
     "--speed belongs to move and commission", {Command::Commission}},
    {"--yes", nullptr, Command::Commission, "write without asking (when standard input is not a terminal)", nullptr,
     takeYes, "--yes belongs to the commands that write: encoder-format, calibrate, reverse-motor, save, commission and config restore",
     {Command::Config, Command::EncoderFormat, Command::Calibrate, Command::ReverseMotor, Command::Save}},
    {"--steps", "N", Command::Commission,
     "microsteps of each move of the check (default:\n"
     "five degrees of the axis)",
     "--steps needs a whole number of microsteps from 10 to 100000000", takeSteps, "--steps belongs to commission"},
    {"--flip", nullptr, Command::Goto, "position with a meridian flip", nullptr, takeFlip, flipMisplaced},
    {"--no-flip", nullptr, Command::Goto, "position without a flip (only offered within 2 h of the meridian)",
     nullptr, takeNoFlip, flipMisplaced},
    {"--cancel", nullptr, Command::Goto, "do not position", nullptr, takeCancel, flipMisplaced},
    {"--pier", "east|west", Command::PlanGoto, nullptr, "--pier must be east or west", takePier,
     "--pier belongs to plan-goto"},
    {"--encoders", nullptr, Command::Sync, "set the motor positions from a fresh encoder reading instead",
     nullptr, takeEncoders, "--encoders belongs to sync"},
    {"--ra-microsteps", "N", Command::PlanGoto, nullptr,
     "--ra-microsteps needs a whole number of microsteps per axis revolution (at least 24)", takeRaMicrosteps,
     nullptr},
    {"--dec-microsteps", "N", Command::PlanGoto, nullptr,
     "--dec-microsteps needs a whole number of microsteps per axis revolution (at least 24)", takeDecMicrosteps,
     nullptr},
};

const CommandSpec commands[] = {
    {"batch", Command::Batch, "batch [FILE|-]",
     "Run the commands of FILE (or standard input), one a line as on the command line, over\n"
     "one connection. Blank lines and words from # on are skipped. The first command that\n"
     "fails ends the batch, naming its line; with --json each command prints its own lines.\n"
     "--port, --baud, --sim-time-scale, --utc and --longitude belong to the batch's own\n"
     "command line.",
     nullptr, batchArguments},
    {"calibrate", Command::Calibrate, "calibrate REVERSE_BITS RA_OFFSET DEC_OFFSET",
     "Write the encoder calibration: REVERSE_BITS (bit 0 RA, bit 1 Dec encoder reversed) and\n"
     "both offsets in encoder counts.",
     nullptr, calibrateArguments},
    {"commission", Command::Commission, "commission detect-format|check ra|dec [--speed 0..31] [--yes|--steps N]",
     "detect-format: move the axis slowly one way (it must be free to turn a few degrees), read\n"
     "the encoder's raw bits, rank every plausible data format by how well it follows the\n"
     "motor, and propose the best; it is written only when you accept (or with --yes), and\n"
     "the format from before is put back otherwise. check: move the axis to and fro by about\n"
     "five degrees and report the encoder's scale error, sense, backlash and noise at rest, with\n"
     "a verdict. Tracking is switched off for the check. Ctrl-C stops the axis.",
     nullptr, commissionArguments},
    {"config", Command::Config, "config save|show|diff|restore FILE [--yes]",
     "Keep the controller's configuration in a snapshot file, or compare it with one, or put\n"
     "it back. save: everything the connect sequence read (identity, axes, encoder format and\n"
     "calibration, motor settings). show: print a snapshot (no connection). diff: each field\n"
     "that differs, the snapshot's value and the controller's; exit status 1 when any does.\n"
     "restore: show the same, ask (or --yes), write the encoder format, calibration and motor\n"
     "reversal that differ, connect again and report each field as verified or not. Gear\n"
     "ratios and the other settings cannot be written by this program and are left alone. A\n"
     "file from another controller model, of a newer version or with any fault is refused\n"
     "before anything is written. See docs/configuration.md.",
     nullptr, configArguments},
    {"encoder-format", Command::EncoderFormat,
     "encoder-format RA_FLAGS RA_LEADING RA_BITS RA_REVS DEC_FLAGS DEC_LEADING DEC_BITS DEC_REVS",
     "Write the encoders' data format. FLAGS: bit 0 inverted data, bit 1 Gray code, bit 2 a\n"
     "further flag; LEADING: leading bits (0..31); BITS: bits per one revolution (1..32); REVS:\n"
     "bits for revolutions (0..31), with BITS at most 32 in all. Use save to keep it in the\n"
     "controller.",
     nullptr, encoderFormatArguments},
    {"goto", Command::Goto, "goto RA DEC [--flip|--no-flip|--cancel]",
     "Slew to RA (H:M:S, below 24 h) and Dec ([+|-]D:M:S, within 90 degrees) and wait for \"Ready\".\n"
     "When the target lies beyond the meridian the controller asks for a decision:",
     "Without one of these the question is asked on the terminal, or refused when there is none.", targetArguments},
    {"info", Command::Info, "info",
     "Connect and print every controller parameter and the encoder configuration the connect sequence read.",
     nullptr, noArguments},
    {"lst", Command::Lst, "lst", "Print the Julian date, GMST and LST (no connection; see --utc and --longitude).",
     nullptr, noArguments},
    {"move", Command::Move, "move N|S|E|W --speed 0..31 [--for SECONDS]",
     "Move one axis with the hand-pad speed (0 slowest, 31 the axis maximum).", nullptr, moveArguments},
    {"pier", Command::Pier, "pier set-east|set-west|flip-east|flip-west",
     "Set the reference position on one side of the pier, or flip the mount to that side\n"
     "(a flip waits for \"Ready\").",
     nullptr, pierArguments},
    {"plan-goto", Command::PlanGoto, "plan-goto RA DEC --pier east|west [--ra-microsteps N] [--dec-microsteps N]",
     "Without a connection, show what a GOTO would do: the hour offset, the decision\n"
     "(position at once, or the meridian-flip question) and the axis positions it sends.\n"
     "Microsteps per axis revolution default to 2400000.",
     nullptr, targetArguments},
    {"ports", Command::Ports, "ports", "List the serial ports by number, with the built-in simulator as 0.", nullptr,
     noArguments},
    {"read-encoders", Command::ReadEncoders, "read-encoders [--watch SECONDS [--rate HZ|max] [--csv]]",
     "Read both encoders: counts, arcseconds and signed degrees:minutes:seconds.", nullptr, readArguments},
    {"reverse-motor", Command::ReverseMotor, "reverse-motor BITS",
     "Reverse the motors: BITS bit 0 RA, bit 1 Dec (0 runs both forward).", nullptr, reverseMotorArguments},
    {"save", Command::Save, "save", "Store the controller's parameters permanently.", nullptr, noArguments},
    {"site", Command::Site, "site [set LAT LON]",
     "Show the observing site kept in the settings file, or that the built-in default is used;\n"
     "with set, keep LAT (north positive) and LON (east positive), each D:M:S or decimal\n"
     "degrees. The site's longitude is used whenever --longitude is not given.",
     nullptr, siteArguments},
    {"state", Command::State, "state",
     "Read the motor axes: positions in microsteps, whether each axis moves, and the side of the pier.",
     nullptr, noArguments},
    {"stop", Command::Stop, "stop", "Stop both axes.", nullptr, noArguments},
    {"sync", Command::Sync, "sync RA DEC | sync --encoders",
     "Tell the controller the mount points at RA (H:M:S) and Dec ([+|-]D:M:S) now, on the side\n"
     "of the pier it knows; or, with --encoders, set the motor positions from an encoder\n"
     "reading taken first.",
     nullptr, syncArguments},
    {"track", Command::Track, "track on|off", "Switch sidereal tracking on or off.", nullptr, trackArguments},
    {"transcript", Command::Transcript, "transcript show FILE",
     "Print a line transcript (recorded with --transcript) frame by frame: the time, the\n"
     "direction (> to the controller, < back), the command or reply with its fields, and bytes\n"
     "that make no frame. No connection. --json gives one object per frame.",
     nullptr, transcriptArguments},
    {"where", Command::Where, "where",
     "Read the motor axes and print where they point: RA and Dec, or that the side of the\n"
     "pier is not known (set it with pier set-east or set-west).",
     nullptr, noArguments},
};

}  // namespace

std::span<const OptionSpec> optionTable() { return options; }

std::span<const CommandSpec> commandTable() { return commands; }

const OptionSpec* findOption(const std::string& name)
{
    for (const OptionSpec& spec : options) {
        if (name == spec.name)
            return &spec;
    }
    return nullptr;
}

const CommandSpec* findCommand(const std::string& name)
{
    for (const CommandSpec& spec : commands) {
        if (name == spec.name)
            return &spec;
    }
    return nullptr;
}

const CommandSpec* findCommand(Command command)
{
    for (const CommandSpec& spec : commands) {
        if (command == spec.command)
            return &spec;
    }
    return nullptr;
}

std::string usageLine(const CommandSpec& spec) { return "usage: kv7ctl " + std::string(spec.synopsis); }

}  // namespace kv7::cli
