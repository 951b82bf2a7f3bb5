#include "ui/WindowTranscript.h"

#include "ui/WindowOptions.h"

namespace kv7 {

PortCatalog* WindowTranscript::wrap(const std::vector<std::string>& args, const UserSettings& settings,
                                    PortCatalog& catalog, std::string& error)
{
    std::string path = transcriptOption(args);
    if (path.empty())
        path = settings.transcript;
    if (path.empty() || !sink.open(path, error))
        return &catalog;
    recorder = std::make_unique<transcript::Recorder>(sink);
    recorder->addNote("window");
    recorded = std::make_unique<transcript::RecordingCatalog>(catalog, *recorder);
    return recorded.get();
}

}  // namespace kv7
