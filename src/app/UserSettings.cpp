#include "app/UserSettings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace kv7 {

namespace {

std::string_view trim(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(" \t\r");
    return first == std::string_view::npos ? std::string_view{} : s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool parseNumber(std::string_view text, double& value)
{
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    return r.ec == std::errc{} && r.ptr == end && std::isfinite(value);
}

std::string formatNumber(double v)
{
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

}  // namespace

std::string formatUserSettings(const UserSettings& s)
{
    std::string text = "# KV7 encoder set-up tool: the operator's settings\n[site]\n";
    if (s.siteSet) {
        text += "latitude=" + formatNumber(s.latitude) + "\n";
        text += "longitude=" + formatNumber(s.longitude) + "\n";
    }
    if (!s.transcript.empty())
        text += "[diagnostics]\ntranscript=" + s.transcript + "\n";
    return text;
}

UserSettings parseUserSettings(const std::string& text, std::vector<std::string>& problems)
{
    UserSettings s;
    std::string_view rest = text;
    std::string section;
    double latitude = 0.0;
    double longitude = 0.0;
    bool haveLatitude = false;
    bool haveLongitude = false;
    for (int lineNumber = 1; !rest.empty(); ++lineNumber) {
        const std::size_t eol = rest.find('\n');
        const std::string_view line = trim(rest.substr(0, eol));
        rest = eol == std::string_view::npos ? std::string_view{} : rest.substr(eol + 1);
        if (line.empty() || line.front() == '#' || line.front() == ';')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = std::string(line.substr(1, line.size() - 2));
            continue;
        }
        const std::size_t eq = line.find('=');
        const std::string key = eq == std::string_view::npos ? std::string(line) : std::string(trim(line.substr(0, eq)));
        const std::string_view value = eq == std::string_view::npos ? std::string_view{} : trim(line.substr(eq + 1));
        if (section == "diagnostics" && key == "transcript" && !value.empty()) {
            s.transcript = std::string(value);
            continue;
        }
        double number = 0.0;
        const bool known = section == "site" && (key == "latitude" || key == "longitude");
        if (!known || !parseNumber(value, number)) {
            problems.push_back("line " + std::to_string(lineNumber) + ": " + std::string(line));
            continue;
        }
        (key == "latitude" ? latitude : longitude) = number;
        (key == "latitude" ? haveLatitude : haveLongitude) = true;
    }
    if (haveLatitude != haveLongitude) {
        problems.push_back("the site needs both a latitude and a longitude");
    } else if (haveLatitude) {
        if (latitude < -90.0 || latitude > 90.0 || longitude < -180.0 || longitude > 180.0) {
            problems.push_back("the site lies outside -90..90 degrees latitude or -180..180 longitude");
        } else {
            s.siteSet = true;
            s.latitude = latitude;
            s.longitude = longitude;
        }
    }
    return s;
}

UserSettings loadUserSettings(iSettingsStore& store, std::vector<std::string>& problems)
{
    std::string text;
    std::string error;
    if (!store.load(text, error)) {
        problems.push_back(error);
        return UserSettings{};
    }
    return parseUserSettings(text, problems);
}

}  // namespace kv7
