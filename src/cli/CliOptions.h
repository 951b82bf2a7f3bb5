// The command line of kv7ctl: parsed and checked before anything is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Codes.h"
#include "app/Records.h"

namespace kv7::cli {

enum class Command {
    None,
    Help,
    Version,
    Ports,
    Info,
    ReadEncoders,
    Move,
    Stop,
    Track,
    Goto,
    Pier,
    EncoderFormat,
    Calibrate,
    ReverseMotor,
    Save,
    Lst,
    PlanGoto,
    State,
    Sync,
    Where,
    Site,
    Batch,
    Commission,
    Config,
    Transcript,
};

enum class ConfigAction { Save, Show, Diff, Restore };

enum class FlipChoice { Ask, Flip, NoFlip, Cancel };

struct Options {
    // Global options.
    std::string port;                   // empty: the first device, or the simulator when there is none
    std::uint32_t baud = 9600;
    double longitude = 19.5;
    bool longitudeGiven = false;        // --longitude wins over the settings file's site
    std::optional<UtcTime> utc;         // fixed instant for the whole run
    bool json = false;
    double simTimeScale = 1.0;          // speed of the built-in simulator
    double timeoutSeconds = 0;          // 0: the command's own default
    std::string transcriptPath;         // --transcript: record the line into this file; empty: no

    Command command = Command::None;
    std::string helpTopic;              // "help CMD" or "CMD --help"

    // Command arguments.
    double watchSeconds = 0;
    double rateHz = 0;                  // read-encoders --rate; 0: once a second as before
    bool rateMax = false;               // --rate max: as fast as the line allows
    bool csv = false;
    HandPad::Direction direction = HandPad::North;
    int speed = -1;
    double forSeconds = 0;
    bool trackOn = false;
    std::uint32_t raArcsec = 0;
    std::int32_t decArcsec = 0;
    FlipChoice flip = FlipChoice::Ask;
    PierAction::Action pierAction = PierAction::SetEast;
    EncoderFormat format;
    std::uint8_t reverseBits = 0;
    std::uint32_t raOffset = 0;
    std::uint32_t decOffset = 0;
    std::int32_t planPier = 0;          // PierState::pierWest or pierEast; 0: not given
    std::uint32_t raMicrosteps = 2400000;
    std::uint32_t decMicrosteps = 2400000;
    bool syncEncoders = false;          // sync --encoders; otherwise to raArcsec, decArcsec
    bool siteSet = false;               // site set LAT LON; otherwise show the site
    double siteLatitude = 0;
    double siteLongitude = 0;
    std::string batchFile = "-";        // "-": standard input
    bool commissionCheck = false;       // commission check; otherwise detect-format
    bool commissionDec = false;         // the Dec axis; otherwise RA
    bool yes = false;                   // write the proposed format (or restore) without asking
    ConfigAction configAction = ConfigAction::Show;
    std::string configFile;             // the snapshot file of config
    std::string transcriptFile;         // transcript show FILE
    std::int64_t steps = 0;             // microsteps of each move of the check; 0: a degree
};

struct ParseResult {
    bool ok = false;
    Options options;
    std::string error;                  // what was wrong, for exit code 2
};

ParseResult parseCommandLine(const std::vector<std::string>& args);

// The text of `kv7ctl --help`, or of one command's help (empty for a
// command there is not).
std::string usageText();
std::string commandHelp(const std::string& command);

// The command's name on the command line ("read-encoders"); empty for None
// and Help.
std::string commandName(Command command);

// Typed coordinates, checked and converted by the windows' own target
// reading (ui/TargetText.h): RA H[:M[:S]] below 24 h, Dec [+|-]D[:M[:S]]
// (D up to three digits) within 90 degrees. On success the value is in
// arcseconds as the windows would send it (RA 1 h = 54000); otherwise error
// says what is wrong in kv7ctl's words.
bool parseRaArcsec(const std::string& text, std::uint32_t& arcsec, std::string& error);
bool parseDecArcsec(const std::string& text, std::int32_t& arcsec, std::string& error);
bool parseUtc(const std::string& text, UtcTime& out);
// Degrees as [+|-]D[:M[:S]] (minutes and seconds below 60) or a decimal
// number, within -limit..limit.
bool parseDegrees(const std::string& text, double limit, double& degrees);

}  // namespace kv7::cli
