// The operator's own settings, kept per user across restarts: the observing
// site for now. The text form is a small INI file the window and kv7ctl
// share; reading it never fails hard: what cannot be read is reported and
// the default stands.
#pragma once

#include <string>
#include <vector>

namespace kv7 {

struct UserSettings {
    static constexpr double defaultLongitude = 19.5;   // degrees east, the built-in site
    static constexpr double defaultLatitude = 0.0;

    bool siteSet = false;        // false: the built-in default is in use
    double latitude = defaultLatitude;     // degrees, north positive
    double longitude = defaultLongitude;   // degrees, east positive
    // [diagnostics] transcript=FILE: the window records its serial line
    // into FILE (docs/transcripts.md); empty: no transcript.
    std::string transcript;
};

// Where the settings text lives and how it is replaced. Implementations
// write atomically: a crash leaves the old file or the new one, never half.
class iSettingsStore {
public:
    // False with a reason when there is no readable text (a missing file is
    // not a problem: empty text, true).
    virtual bool load(std::string& text, std::string& error) = 0;
    virtual bool save(const std::string& text, std::string& error) = 0;

protected:
    ~iSettingsStore() = default;
};

std::string formatUserSettings(const UserSettings& settings);

// Reads what it can; each line it cannot use is named in problems and left
// at its default. A site with a latitude or longitude out of range is not
// taken at all.
UserSettings parseUserSettings(const std::string& text, std::vector<std::string>& problems);

// Loads through the store; any problem leaves the defaults and says why.
UserSettings loadUserSettings(iSettingsStore& store, std::vector<std::string>& problems);

}  // namespace kv7
