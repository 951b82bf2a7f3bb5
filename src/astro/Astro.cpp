#include "astro/Astro.h"

#include <cmath>

namespace kv7 {

namespace {

constexpr std::uint32_t kArcsecPerRaHour = 54000;
constexpr std::uint32_t kArcsecPerRaMinute = 900;
constexpr std::uint32_t kArcsecPerRaSecond = 15;

constexpr double kJ2000 = 2451545.0;
constexpr double kDaysPerCentury = 36525.0;
constexpr double kHoursPerDegree = 1.0 / 15.0;

bool isGregorian(int year, int month, int day)
{
    if (year != 1582)
        return year > 1582;
    if (month != 10)
        return month > 10;
    return day > 14;
}

}  // namespace

void raDecBytesToUnits(const RaDecBytes& bytes, std::uint32_t* raOut, std::int32_t* decOut)
{
    if (raOut) {
        *raOut = bytes.raHours * kArcsecPerRaHour + bytes.raMinutes * kArcsecPerRaMinute +
                 bytes.raSeconds * kArcsecPerRaSecond;
    }
    if (decOut) {
        const std::int32_t magnitude = bytes.decDegrees * 3600 + bytes.decMinutes * 60 + bytes.decSeconds;
        *decOut = bytes.decNegative != 0 ? -magnitude : magnitude;
    }
}

double normalizeDegrees(double x)
{
    if (x >= 0.0 && x < 360.0)
        return x;
    // The turn count is kept in a double: within the 32-bit range it is the
    // same integer a cast would give, and far outside it there is no
    // undefined conversion.
    double turns = std::trunc(x / 360.0);
    if (x < 0.0)
        turns -= 1.0;  // so a negative exact multiple of 360 lands on 360, not 0
    return x - 360.0 * turns;
}

double julianDate(int year, int month, int day, int hour, int minute, int second)
{
    // 64-bit so that absurd arguments flow through the formula without
    // integer overflow.
    std::int64_t y = year;
    std::int64_t m = month;
    if (month <= 2) {
        y -= 1;
        m += 12;
    }
    const std::int64_t b = isGregorian(year, month, day) ? y / 400 - y / 100 : -2;
    return std::floor(30.6001 * static_cast<double>(m + 1)) + std::floor(365.25 * static_cast<double>(y)) +
           static_cast<double>(b) + 1720996.5 + day + hour / 24.0 + minute / 1440.0 + second / 86400.0;
}

double greenwichSiderealTime(double jd)
{
    const double d = jd - kJ2000;
    const double t = d / kDaysPerCentury;
    double theta = 360.98564736629 * d + 280.46061837;
    theta += 0.000387933 * t * t;
    theta -= t * t * t / 38710000.0;
    return normalizeDegrees(theta) * kHoursPerDegree;
}

double localSiderealTimeAt(int year, int month, int day, int hour, int minute, int second,
                           double longitudeDegrees)
{
    const double jd = julianDate(year, month, day, hour, minute, second);
    return greenwichSiderealTime(jd) + longitudeDegrees / 15.0;
}

double hoursWithinOneDay(double hours)
{
    double h = std::fmod(hours, 24.0);
    if (h < 0)
        h += 24.0;
    return h < 24.0 ? h : 0.0;
}

}  // namespace kv7
