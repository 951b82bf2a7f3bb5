#include <cstdlib>
#include <exception>
#include <filesystem>

#include "platform/SettingsFile.h"

namespace kv7 {

std::string defaultSettingsPath()
{
    // The roaming application data folder, as the window's own settings.
    const wchar_t* appData = ::_wgetenv(L"APPDATA");
    if (!appData || !appData[0])
        return {};
    // A folder name the narrow code page cannot spell has no narrow path:
    // no settings file rather than a failed start.
    try {
        return (std::filesystem::path(appData) / L"kv7" / L"settings.ini").string();
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace kv7
