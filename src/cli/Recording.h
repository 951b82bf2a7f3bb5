// kv7ctl --transcript FILE: the run's serial line recorded into FILE. The
// transcript's notes say what produced it (the command line, and a batch's
// input lines), so that a recording can be replayed against the link later.
#pragma once

#include <memory>
#include <sstream>

#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "transcript/Ports.h"
#include "transcript/Recorder.h"

namespace kv7::cli {

class Recording {
public:
    // Opens options.transcriptPath and returns the environment to run in:
    // env with its catalogue recorded and, for a batch, its input kept in
    // the transcript and read from there. Null, with the reason on env.err,
    // when the file cannot be created.
    Environment* start(Options& options, Environment& env);

private:
    void keepBatchInput(Options& options, Environment& env);

    transcript::FileSink sink;
    std::unique_ptr<transcript::Recorder> recorder;
    std::unique_ptr<transcript::RecordingCatalog> catalog;
    std::istringstream input;
    Environment recorded;
};

}  // namespace kv7::cli
