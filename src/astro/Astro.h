// Date, Julian date and sidereal time, and the conversion of a typed sky
// position into integer arcseconds. Pure functions.
#pragma once

#include <cstdint>

namespace kv7 {

// A sky position as typed: RA hours, minutes, seconds of time, then the Dec
// sign flag (0 north, anything else south), degrees, arcminutes, arcseconds.
struct RaDecBytes {
    std::uint8_t raHours = 0;
    std::uint8_t raMinutes = 0;
    std::uint8_t raSeconds = 0;
    std::uint8_t decNegative = 0;
    std::uint8_t decDegrees = 0;
    std::uint8_t decMinutes = 0;
    std::uint8_t decSeconds = 0;
};

// RA as an angle in arcseconds (1 hour = 54000) and Dec in signed
// arcseconds. Either output may be null.
void raDecBytesToUnits(const RaDecBytes& bytes, std::uint32_t* raOut, std::int32_t* decOut);

// Folds degrees into [0, 360); a negative exact multiple of 360 gives 360.
double normalizeDegrees(double x);

// Julian date of a UTC calendar instant, Gregorian from 1582-10-15 on.
double julianDate(int year, int month, int day, int hour, int minute, int second);

// Greenwich mean sidereal time in hours (IAU 1982), normally in [0, 24).
double greenwichSiderealTime(double jd);

// Local sidereal time in hours at the given east longitude, not folded into
// one day (the caller decides how to wrap it).
double localSiderealTimeAt(int year, int month, int day, int hour, int minute, int second,
                           double longitudeDegrees);

// A time of day in hours (a sidereal time that is not folded) brought into
// [0, 24); a tiny negative value, which plus 24 would round to 24, gives 0.
double hoursWithinOneDay(double hours);

}  // namespace kv7
