// The command line of kv7sim, parsed without touching the system so that
// every accepted and refused option can be tested.
#pragma once

#include <string>
#include <vector>

#include "sim/engine/SimConfig.h"

namespace kv7::sim {

struct SimToolOptions {
    SimConfig config;
    double timeScale = 1.0;
    std::string statePath;   // the tool makes config.stateStore from it; empty: none
    std::string linkPath;
    bool verbose = false;
};

enum class ParseOutcome { Run, Help, Error };

// args excludes the program name. On Error, error says what was wrong.
// "slow=MS" is taken as wall-clock milliseconds: the reply delay is scaled
// by the time scale so it stays MS whatever the scale.
ParseOutcome parseSimCommandLine(const std::vector<std::string>& args, SimToolOptions& options, std::string& error);

std::string simUsage();

}  // namespace kv7::sim
