// kv7ctl batch: many commands over one connection.
#pragma once

#include "app/Interfaces.h"
#include "app/UserSettings.h"
#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "cli/Session.h"

namespace kv7::cli {

// The commands of options.batchFile (or env.in for "-"), one a line. A line
// that is not a command stops the batch before anything runs (exit 2); the
// first command that fails stops it there, naming its line.
int runBatch(const Options& options, Environment& env, const iUtcClock* fixedClock, const iUtcClock& clock,
             const UserSettings& settings);

// Shuts the session down; a close that discarded frames fails the run.
int finishSession(Session& session, int exitCode, Environment& env);

}  // namespace kv7::cli
