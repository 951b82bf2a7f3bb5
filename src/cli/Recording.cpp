#include "cli/Recording.h"

#include <fstream>
#include <string>

namespace kv7::cli {

Environment* Recording::start(Options& options, Environment& env)
{
    std::string error;
    if (!sink.open(options.transcriptPath, error)) {
        *env.err << "kv7ctl: --transcript: " << error << "\n";
        return nullptr;
    }
    recorder = std::make_unique<transcript::Recorder>(sink);
    // A batch's lines are kept as input notes, so its file reads as "-".
    const bool batchFile = options.command == Command::Batch && options.batchFile != "-";
    std::string line = "kv7ctl";
    for (std::size_t i = 0; i < env.commandLine.size(); ++i) {
        if (env.commandLine[i] == "--transcript")
            ++i;
        else if (batchFile && i > 0 && env.commandLine[i - 1] == "batch" && env.commandLine[i] == options.batchFile)
            line += " -";
        else
            line += " " + env.commandLine[i];
    }
    recorder->addNote(line);
    recorded = env;
    if (options.command == Command::Batch)
        keepBatchInput(options, recorded);
    catalog = std::make_unique<transcript::RecordingCatalog>(*env.catalog, *recorder);
    recorded.catalog = catalog.get();
    return &recorded;
}

void Recording::keepBatchInput(Options& options, Environment& env)
{
    std::ifstream file;
    std::istream* in = env.in;
    if (options.batchFile != "-") {
        file.open(options.batchFile);
        in = &file;
    }
    std::string text;
    for (std::string line; in && *in && std::getline(*in, line);) {
        recorder->addNote("input " + line);
        text += line + "\n";
    }
    input.str(text);
    env.in = &input;
    options.batchFile = "-";
}

}  // namespace kv7::cli
