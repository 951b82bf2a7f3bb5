#include "ui/WindowText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "app/Codes.h"

namespace kv7 {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Days from 1970-01-01 to a Gregorian date (the civil-from-days inverse).
std::int64_t daysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

}  // namespace

std::int64_t secondsOf(const UtcTime& t)
{
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

std::string utcText(const UtcTime& t)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

// Exactly YYYY-MM-DD HH:MM:SS (blanks allowed around it), a real instant.
bool readUtcText(const char* text, UtcTime& t)
{
    while (isBlank(*text))
        ++text;
    std::string s = text;
    while (!s.empty() && isBlank(s.back()))
        s.pop_back();
    static constexpr char shape[] = "dddd-dd-dd dd:dd:dd";
    if (s.size() != sizeof shape - 1)
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool digit = s[i] >= '0' && s[i] <= '9';
        if (shape[i] == 'd' ? !digit : s[i] != shape[i])
            return false;
    }
    auto number = [&s](std::size_t at, std::size_t n) { return std::stoi(s.substr(at, n)); };
    UtcTime r{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
    if (r.year < 1900 || r.month < 1 || r.month > 12 || r.day < 1 || r.day > daysInMonth(r.year, r.month) ||
        r.hour > 23 || r.minute > 59 || r.second > 59)
        return false;
    t = r;
    return true;
}

// Decimal degrees ("19.5", "-33.25") or [+|-]d[:m[:s[.s]]]; false for
// anything else.
bool readDegreesText(const char* text, double& degrees)
{
    while (isBlank(*text))
        ++text;
    std::string s = text;
    while (!s.empty() && isBlank(s.back()))
        s.pop_back();
    bool negative = false;
    std::size_t at = 0;
    if (at < s.size() && (s[at] == '+' || s[at] == '-'))
        negative = s[at++] == '-';
    double parts[3] = {};
    int count = 0;
    while (true) {
        if (count == 3 || at >= s.size() || s[at] < '0' || s[at] > '9')
            return false;
        const char* begin = s.data() + at;
        const auto r = std::from_chars(begin, s.data() + s.size(), parts[count], std::chars_format::fixed);
        if (r.ec != std::errc())
            return false;
        at = static_cast<std::size_t>(r.ptr - s.data());
        ++count;
        if (at == s.size())
            break;
        if (s[at] != ':')
            return false;
        ++at;
    }
    // Only the last part may have a fraction; minutes and seconds stay below 60.
    for (int i = 0; i + 1 < count; ++i)
        if (parts[i] != std::floor(parts[i]))
            return false;
    if ((count > 1 && parts[1] >= 60) || (count > 2 && parts[2] >= 60))
        return false;
    degrees = (parts[0] + parts[1] / 60 + parts[2] / 3600) * (negative ? -1 : 1);
    return true;
}

// The shortest text that reads back as the same number.
std::string degreesText(double degrees)
{
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, degrees);
    return std::string(text, r.ptr);
}

const char* pierSideText(std::int32_t pierState)
{
    switch (pierState) {
    case PierState::pierEast: return "East";
    case PierState::pierWest: return "West";
    case PierState::flippingToWest: return "Flipping to West";
    case PierState::flippingToEast: return "Flipping to East";
    default: return "unknown";
    }
}

// The closest whole arcsecond of an axis position, as far as an int32 holds it.
std::int32_t axisArcsec(std::int32_t microsteps, std::uint32_t microstepsPerRevolution)
{
    const double arcsec = std::round(static_cast<double>(microsteps) * 1296000.0 / microstepsPerRevolution);
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(arcsec < lowest ? lowest : arcsec > highest ? highest : arcsec);
}

}  // namespace kv7
