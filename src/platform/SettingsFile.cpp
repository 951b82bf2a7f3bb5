#include "platform/SettingsFile.h"

#include <filesystem>
#include <system_error>

#include "platform/AtomicFile.h"

namespace kv7 {

std::string windowOptionsPath()
{
    const std::string settings = defaultSettingsPath();
    return settings.empty() ? settings : (std::filesystem::path(settings).parent_path() / "window.ini").string();
}

bool SettingsFile::load(std::string& text, std::string& error)
{
    text.clear();
    if (file.empty()) {
        error = "no folder for the settings file (neither XDG_CONFIG_HOME, HOME nor APPDATA is set)";
        return false;
    }
    switch (atomicfile::readBounded(file, maxBytes, "a settings file", text, error)) {
    case atomicfile::Read::Text: return true;
    case atomicfile::Read::Missing: text.clear(); return true;
    case atomicfile::Read::Failed: break;
    }
    return false;
}

bool SettingsFile::save(const std::string& text, std::string& error)
{
    if (file.empty()) {
        error = "no folder for the settings file (neither XDG_CONFIG_HOME, HOME nor APPDATA is set)";
        return false;
    }
    const std::filesystem::path target(file);
    if (target.has_parent_path()) {
        std::error_code ec;
        std::filesystem::create_directories(target.parent_path(), ec);
        if (ec) {
            error = target.parent_path().string() + ": " + ec.message();
            return false;
        }
    }
    return atomicfile::replace(file, text, error);
}

}  // namespace kv7
