#include <cstdlib>
#include <filesystem>

#include "platform/SettingsFile.h"

namespace kv7 {

std::string defaultSettingsPath()
{
    // A relative XDG_CONFIG_HOME is to be ignored: it would move with the
    // working directory.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return (std::filesystem::path(xdg) / "kv7" / "settings.ini").string();
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return (std::filesystem::path(home) / ".config" / "kv7" / "settings.ini").string();
    return {};
}

}  // namespace kv7
