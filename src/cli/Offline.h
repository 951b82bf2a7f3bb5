// The commands that need no connection: help, the ports, the sidereal
// time, the plan of a GOTO and the site.
#pragma once

#include "app/Interfaces.h"
#include "app/UserSettings.h"
#include "cli/CliOptions.h"
#include "cli/Runner.h"

namespace kv7::cli {

int siderealTime(const Options& options, Environment& env, const iUtcClock& clock);
int planGoto(const Options& options, Environment& env, const iUtcClock& clock);
// settings: what the settings file held when the run began.
int site(const Options& options, Environment& env, const UserSettings& settings);

bool needsNoConnection(Command command);
// transcript show FILE (TranscriptShow.cpp).
int showTranscript(const Options& options, Environment& env);
// Runs a command needsNoConnection holds for; the exit code.
int runOffline(const Options& options, Environment& env, const iUtcClock& clock, const UserSettings& settings);

}  // namespace kv7::cli
