// The operator's settings file: where it lives on this system, and its
// reading and replacing through AtomicFile, so a crash or two programs
// saving at once leave one whole version. The text's meaning is the app
// layer's (app/UserSettings.h), whose store interface this implements.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include "app/UserSettings.h"

namespace kv7 {

// POSIX: $XDG_CONFIG_HOME/kv7/settings.ini when that is an absolute path,
// else $HOME/.config/kv7/settings.ini. Windows: %APPDATA%\kv7\settings.ini.
// Empty when the environment names no such folder.
std::string defaultSettingsPath();

// The window's own options (ui/WindowOptions.h), in window.ini beside the
// settings file; empty when that has no place.
std::string windowOptionsPath();

class SettingsFile final : public iSettingsStore {
public:
    // Settings are a few lines; anything larger is not this program's file.
    static constexpr std::size_t maxBytes = 64 * 1024;

    explicit SettingsFile(std::string path) : file(std::move(path)) {}

    // A missing file is no settings yet: empty text, true.
    bool load(std::string& text, std::string& error) override;
    // Creates the folder when it is not there yet.
    bool save(const std::string& text, std::string& error) override;

    const std::string& path() const { return file; }
    // This store, or null when there is nowhere to keep settings (no home
    // folder): then nothing persists and the built-in site stands.
    iSettingsStore* ifPlaced() { return file.empty() ? nullptr : this; }

private:
    std::string file;
};

}  // namespace kv7
