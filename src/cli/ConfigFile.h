// Configuration snapshots in kv7ctl: between the link's records and the
// snapshot file, and the command that needs no connection.
#pragma once

#include <string>

#include "app/Records.h"
#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "config/Snapshot.h"

namespace kv7::cli {

// Reads and checks the file; false with the reason on env.err.
bool loadSnapshot(const std::string& path, Environment& env, config::Snapshot& snapshot);

// config show FILE.
int showSnapshot(const Options& options, Environment& env);

// How far a request of a restore got: not sent, sent without an answer
// from the controller after it, or answered.
enum class RestoreStep { NotWritten, Sent, Answered };

}  // namespace kv7::cli
