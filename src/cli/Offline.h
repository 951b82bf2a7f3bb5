// The commands that need no connection: the sidereal time and the plan of
// a GOTO.
#pragma once

#include "app/Interfaces.h"
#include "cli/CliOptions.h"
#include "cli/Runner.h"

namespace kv7::cli {

int siderealTime(const Options& options, Environment& env, const iUtcClock& clock);
int planGoto(const Options& options, Environment& env, const iUtcClock& clock);

}  // namespace kv7::cli
