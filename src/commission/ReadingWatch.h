// Watches a stream of encoder readings for values that cannot be right: a
// count outside the encoder's resolution, or a jump further than the axis
// can turn in the time between two readings.
#pragma once

#include <cstdint>

namespace kv7::commission {

struct WatchLimits {
    std::uint64_t resolution[2] = {};    // counts per revolution, RA and Dec
    double maxTurnsPerSecond[2] = {};    // 0: no jump test
};

class ReadingWatch {
public:
    explicit ReadingWatch(const WatchLimits& limits) : limits(limits) {}

    // A reading of both encoders at `seconds`; bit 0 set when the RA value
    // cannot be right, bit 1 for Dec. An implausible value is not taken as
    // the axis's position for the next comparison.
    unsigned add(double seconds, std::uint32_t ra, std::uint32_t dec);

    long readings() const { return count; }
    long implausible(int axis) const { return flagged[axis]; }

private:
    bool plausible(int axis, double seconds, std::uint32_t value) const;

    WatchLimits limits;
    long count = 0;
    long flagged[2] = {};
    bool have[2] = {};
    std::uint32_t last[2] = {};
    double lastAt[2] = {};
};

}  // namespace kv7::commission
