// The window's serial line recorded into a transcript: the file named by
// --transcript on the command line, or else by transcript= in the
// operator's settings file. Both entries (Qt and Win32) wrap their port
// catalogue with it before the application starts.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/UserSettings.h"
#include "protocol/PortCatalog.h"
#include "transcript/Ports.h"
#include "transcript/Recorder.h"

namespace kv7 {

class WindowTranscript {
public:
    // The catalogue the application should use: catalog itself when no
    // transcript is asked for (or, with error set, when its file cannot be
    // created), otherwise catalog with every port recorded.
    PortCatalog* wrap(const std::vector<std::string>& args, const UserSettings& settings, PortCatalog& catalog,
                      std::string& error);

private:
    transcript::FileSink sink;
    std::unique_ptr<transcript::Recorder> recorder;
    std::unique_ptr<transcript::RecordingCatalog> recorded;
};

}  // namespace kv7
