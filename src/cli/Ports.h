// Which port kv7ctl talks to, and the `ports` command.
#pragma once

#include <cstdint>
#include <string>

#include "cli/CliOptions.h"
#include "cli/Runner.h"

namespace kv7::cli {

// The number of the port --port names: empty for the first plug-in adapter
// (or the simulator when there is none), "sim" or "0" for the simulator, a
// number from `ports`, or a device env.addDevice knows. Returns 0, or 2 with
// the complaint written to env.err.
int resolvePort(const std::string& port, Environment& env, std::uint32_t& number);

// Windows: "COM3" (any case) is port 3, as the catalogue numbers COM1 to
// COM255; anything else is 0, no port.
std::uint32_t comPortNumber(const std::string& name);

int listPorts(const Options& options, Environment& env);

}  // namespace kv7::cli
