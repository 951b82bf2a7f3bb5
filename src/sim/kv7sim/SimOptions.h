// The command line of kv7sim, parsed without touching the system so that
// every accepted and refused option can be tested.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/engine/SimConfig.h"

namespace kv7::sim {

struct SimToolOptions {
    SimConfig config;
    double timeScale = 1.0;
    std::uint32_t lineRate = 0;   // HostOptions::lineRate: bits per second, 0 unpaced
    std::string statePath;   // the tool makes config.stateStore from it; empty: none
    std::string linkPath;
    std::string transcriptPath;   // --transcript: record the line into this file
    std::string replayPath;       // --replay: answer from this transcript instead of the engine
    bool verbose = false;
};

enum class ParseOutcome { Run, Help, Version, Error };

// args excludes the program name. On Error, error says what was wrong.
// "slow=MS" is taken as wall-clock milliseconds: the reply delay is scaled
// by the time scale so it stays MS whatever the scale.
ParseOutcome parseSimCommandLine(const std::vector<std::string>& args, SimToolOptions& options, std::string& error);

// device: the lines that say what kv7sim runs on, what it prints and how
// it is stopped, which differ between systems; withLink: whether --link is
// offered.
std::string simUsage(std::string_view device, bool withLink);

}  // namespace kv7::sim
