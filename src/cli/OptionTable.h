// kv7ctl's commands and options as data: the parser reads the command line
// through these tables and the help texts are written from them, so an
// option cannot be taken without being described, nor described without
// being taken.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

namespace kv7::cli {

struct OptionSpec {
    const char* name;        // "--port"
    const char* value;       // what follows it, "DEVICE|NUMBER|sim"; null for a switch
    Command owner;           // the command it belongs to; None: every command
    const char* help;        // its lines in the help; null: not listed on a line of its own
    const char* needs;       // the complaint for a missing or unusable value
    // Stores the value (empty for a switch); false when it cannot be used,
    // with error set where needs does not say enough. Null for --help.
    bool (*take)(Options& options, const std::string& value, std::string& error);
    const char* misplaced;   // the complaint when given to another command; null: taken anywhere
    std::array<Command, 5> alsoOwners{};   // further commands it belongs to (None: no more)

    bool belongsTo(Command c) const
    {
        return c == owner || (c != Command::None && std::find(alsoOwners.begin(), alsoOwners.end(), c) != alsoOwners.end());
    }
};

struct CommandSpec {
    const char* name;
    Command command;
    const char* synopsis;
    const char* help;        // before the lines of the command's options
    const char* helpAfter;   // after them; may be null
    // Takes the positional arguments; returns what is wrong, or nothing.
    std::string (*takeArguments)(Options& options, const std::vector<std::string>& args, const CommandSpec& spec);
};

// In the order the help lists them; commands by name.
std::span<const OptionSpec> optionTable();
std::span<const CommandSpec> commandTable();

const OptionSpec* findOption(const std::string& name);
const CommandSpec* findCommand(const std::string& name);
const CommandSpec* findCommand(Command command);

// "usage: kv7ctl SYNOPSIS", for the end of a complaint about arguments.
std::string usageLine(const CommandSpec& spec);

// Digits only, at most max; false otherwise.
bool parseUnsigned(const std::string& text, std::uint64_t max, std::uint64_t& out);
// A finite number as strtod reads it, the whole text.
bool parseDouble(const std::string& text, double& out);

}  // namespace kv7::cli
