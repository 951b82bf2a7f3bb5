// Runs one kv7ctl command: connect, do it, wait for its outcome, disconnect.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "app/UserSettings.h"
#include "cli/CliOptions.h"
#include "protocol/PortCatalog.h"

namespace kv7::cli {

struct Environment {
    PortCatalog* catalog = nullptr;
    // Adds a device path to the catalogue and returns its number (0: failed);
    // on Windows, the number of a COM port's name.
    std::function<std::uint32_t(const std::string&)> addDevice;
    std::istream* in = nullptr;         // batch -
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
    // Asks the operator the meridian-flip question on a terminal; returns
    // the answer (a FlipAnswer), or -1 when there is no terminal to ask on.
    std::function<int(std::int32_t kind)> askOperator;
    int settleMs = 500;
    // The operator's settings (the site); null: none kept, the built-in
    // site. settingsPath names it in messages.
    iSettingsStore* settings = nullptr;
    std::string settingsPath;
    // Time between the readings of read-encoders --watch.
    std::chrono::milliseconds watchPeriod{1000};
    // True once the operator asked to stop (Ctrl-C); empty: never.
    std::function<bool()> interrupted;
    // Asks a yes/no question on a terminal: 1 yes, 0 no, -1 no terminal.
    std::function<int(const std::string& question)> confirm;
    // Snapshot files (config): read only when a regular file of at most
    // maxBytes, and replaced atomically. Empty: no files can be used.
    std::function<bool(const std::string& path, std::size_t maxBytes, std::string& text, std::string& error)> readFile;
    std::function<bool(const std::string& path, const std::string& text, std::string& error)> writeFile;
    // The words of the command line, noted in a --transcript recording.
    std::vector<std::string> commandLine;
};

// Exit code: 0 success, 1 an error reported by the link or the controller
// (its text on err), 2 bad usage.
int runCommand(const Options& options, Environment& env);

// The meridian-flip question as the prompt dialog words it.
std::string flipQuestion(std::int32_t kind);

}  // namespace kv7::cli
