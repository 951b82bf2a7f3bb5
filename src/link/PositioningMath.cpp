#include "link/PositioningMath.h"

#include <cmath>
#include <limits>

#include "link/LinkTypes.h"

namespace kv7 {

namespace {

// Manual speeds for indexes 0..6, in 1/64 of the axis base speed.
constexpr std::int32_t manualSpeedTable[7] = {21, 42, 64, 85, 106, 128, 256};

// Toward zero, as the formulas ask. A value beyond the 32-bit range (a
// controller reporting billions of microsteps per turn, a target far off
// the sky) has no defined conversion in C++; it takes the nearest end of
// the range instead, and a NaN gives 0.
std::int32_t truncateToInt32(double v)
{
    if (std::isnan(v))
        return 0;
    if (v <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    if (v >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(v);
}

// The products wrap in 32 bits, as the controller's own arithmetic does.
std::int32_t wrapMul(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

}  // namespace

double wrapHourOffset(double targetRaHours, double localSiderealTime)
{
    double d = targetRaHours - localSiderealTime;
    if (d > 12.0)
        d -= 24.0;
    if (d < -12.0)
        d += 24.0;
    return d;
}

AxisPositions skyTargetPositions(bool westGeometry, double d, double decDegrees, double k, double k2)
{
    // Operands combine exactly in this order; the truncation toward zero is
    // part of the result the controller is sent. Truncating toward zero is
    // symmetric, so a negated result is the truncation of the negated value,
    // which also saturates the right way.
    AxisPositions p;
    if (westGeometry) {
        p.ra = truncateToInt32((6.0 - d) * k);
        p.dec = truncateToInt32(-((90.0 - decDegrees) * k2 / 15.0));
    } else {
        p.ra = truncateToInt32(-((d + 6.0) * k));
        p.dec = truncateToInt32((90.0 - decDegrees) * k2 / 15.0);
    }
    return p;
}

SkyOffset skyFromAxisPositions(bool westGeometry, std::int32_t ra, std::int32_t dec, double k, double k2)
{
    SkyOffset s;
    if (k == 0.0 || k2 == 0.0)
        return s;
    if (westGeometry) {
        s.hourOffset = 6.0 - ra / k;
        s.decDegrees = 90.0 + dec * 15.0 / k2;
    } else {
        s.hourOffset = -ra / k - 6.0;
        s.decDegrees = 90.0 - dec * 15.0 / k2;
    }
    return s;
}

std::uint32_t raArcsecFromOffset(double localSiderealTime, double hourOffset)
{
    const double day = 1296000.0;
    double arcsec = std::fmod((localSiderealTime + hourOffset) * 54000.0, day);
    if (arcsec < 0.0)
        arcsec += day;
    const double rounded = std::floor(arcsec + 0.5);
    return rounded >= day ? 0u : static_cast<std::uint32_t>(rounded);
}

std::int32_t gotoPromptKind(std::int32_t pierState, double d)
{
    if (pierState == PierState::pierWest) {
        if (d < 0.0)
            return d < -2.0 ? FlipPrompt::WestNeeded : FlipPrompt::WestRecommended;
        return 0;
    }
    if (pierState == PierState::pierEast) {
        if (d > 0.0)
            return d > 2.0 ? FlipPrompt::EastNeeded : FlipPrompt::EastRecommended;
        return 0;
    }
    return FlipPrompt::PierUnsettled;
}

std::int32_t manualSpeed(std::int32_t base, std::int32_t max, std::uint8_t speedIndex)
{
    if (speedIndex <= 6)
        return wrapMul(base, manualSpeedTable[speedIndex]) / 64;
    // Above index 6 a power curve runs from 4 x base at index 6 to the axis
    // maximum at index 31.
    const double x = std::pow((speedIndex - 6) / 25.0, 1.5);
    const std::int32_t low = wrapMul(base, 256) / 64;
    return truncateToInt32(x * max + (1.0 - x) * low);
}

}  // namespace kv7
