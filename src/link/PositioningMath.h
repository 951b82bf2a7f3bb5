// The arithmetic of positioning, shared by the link and by planning tools
// so that a plan shows exactly what a GOTO would send.
#pragma once

#include <cstdint>

namespace kv7 {

// The units the formulas take: a target's RA (arcseconds as an angle, read
// as signed, as the controller's arithmetic does) in hours, its Dec in
// degrees, and the microsteps of one axis revolution per hour of RA (or per
// 15 degrees of Dec).
inline double targetRaHours(std::uint32_t raArcsec) { return static_cast<std::int32_t>(raArcsec) / 54000.0; }
inline double targetDecDegrees(std::int32_t decArcsec) { return decArcsec / 3600.0; }
inline double stepsPerHour(std::uint32_t microstepsPerRevolution)
{
    return static_cast<double>(microstepsPerRevolution) / 24.0;
}

// Target RA minus local sidereal time, wrapped once each way into -12..12
// hours (exactly 12 and -12 stay). Positive: the target has not yet crossed
// the meridian.
double wrapHourOffset(double targetRaHours, double localSiderealTime);

struct AxisPositions {
    std::int32_t ra = 0;
    std::int32_t dec = 0;
};

// Axis positions in microsteps of a sky point at hour offset d and
// declination decDegrees, for the west-side or east-side geometry.
// stepsPerHour is microsteps per RA revolution / 24, stepsPer15Degrees
// microsteps per Dec revolution / 24.
AxisPositions skyTargetPositions(bool westGeometry, double hourOffset, double decDegrees, double stepsPerHour,
                                 double stepsPer15Degrees);

// Where axis positions point: the hour offset from the local sidereal time
// and the declination, for the given geometry; the inverse of
// skyTargetPositions (up to its truncation to whole steps).
struct SkyOffset {
    double hourOffset = 0.0;
    double decDegrees = 0.0;
};
SkyOffset skyFromAxisPositions(bool westGeometry, std::int32_t raPosition, std::int32_t decPosition,
                               double stepsPerHour, double stepsPer15Degrees);

// An hour angle given as RA = LST + offset, in whole arcseconds within one
// day (0 .. 1295999), rounded to the nearest.
std::uint32_t raArcsecFromOffset(double localSiderealTime, double hourOffset);

// The side-of-pier decision for a new target: 0 to position at once, or
// the meridian-flip prompt kind (1 to 5) to ask instead.
std::int32_t gotoPromptKind(std::int32_t pierState, double hourOffset);

// Manual speed for a hand-pad speed index (0..31) from the axis base and
// maximum speeds, before any change of sign.
std::int32_t manualSpeed(std::int32_t baseSpeed, std::int32_t maxSpeed, std::uint8_t speedIndex);

}  // namespace kv7
