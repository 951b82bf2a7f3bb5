#include "commission/ReadingWatch.h"

#include <algorithm>
#include <cmath>

namespace kv7::commission {

namespace {
// Slack for reading times that are not exactly the encoder's sampling times.
constexpr double speedMargin = 1.5;
constexpr double countMargin = 2.0;
}  // namespace

bool ReadingWatch::plausible(int axis, double seconds, std::uint32_t value) const
{
    const std::uint64_t resolution = limits.resolution[axis];
    if (resolution == 0)
        return true;
    if (value >= resolution)
        return false;
    if (!have[axis] || limits.maxTurnsPerSecond[axis] <= 0)
        return true;
    const double r = static_cast<double>(resolution);
    double moved = std::fabs(std::fmod(static_cast<double>(value) - static_cast<double>(last[axis]), r));
    moved = std::min(moved, r - moved);
    const double reach = limits.maxTurnsPerSecond[axis] * (seconds - lastAt[axis]) * speedMargin * r + countMargin;
    return moved <= reach;
}

unsigned ReadingWatch::add(double seconds, std::uint32_t ra, std::uint32_t dec)
{
    ++count;
    unsigned flags = 0;
    const std::uint32_t values[2] = {ra, dec};
    for (int axis = 0; axis < 2; ++axis) {
        if (!plausible(axis, seconds, values[axis])) {
            flags |= 1u << axis;
            ++flagged[axis];
            continue;
        }
        have[axis] = true;
        last[axis] = values[axis];
        lastAt[axis] = seconds;
    }
    return flags;
}

}  // namespace kv7::commission
