#include "sim/hosts/LinePace.h"

#include <algorithm>

namespace kv7::sim {

namespace {

// Bit times are kept in whole ticks of the clock per bit rate, so a run of
// any length stays exact instead of adding up a rounded byte time.
constexpr std::uint64_t ticksPerSecond = LinePace::Clock::period::den / LinePace::Clock::period::num;
constexpr std::uint64_t ticksPerByteAtOneBaud = ticksPerSecond * LinePace::bitsPerByte;

}  // namespace

void LinePace::hand(std::size_t count, Clock::time_point now)
{
    if (count == 0)
        return;
    if (out == handed) {
        // An idle line starts a new run now, never before its last byte ended.
        runStart = std::max(now, runStart + runTime(out));
        handed = 0;
        out = 0;
    }
    handed += count;
}

std::size_t LinePace::take(Clock::time_point now)
{
    const std::uint64_t through = rate == 0 ? handed : std::min(handed, bytesWithin(now - runStart));
    if (through <= out)
        return 0;
    const std::uint64_t fresh = through - out;
    out = through;
    return static_cast<std::size_t>(fresh);
}

LinePace::Clock::time_point LinePace::nextOut() const
{
    if (out == handed)
        return Clock::time_point::max();
    return rate == 0 ? runStart : runStart + runTime(out + 1);
}

LinePace::Clock::time_point LinePace::handOnAt(Clock::duration grain) const
{
    if (out == handed)
        return Clock::time_point::max();
    return std::min(runStart + runTime(handed), nextOut() + grain);
}

LinePace::Clock::duration LinePace::runTime(std::uint64_t bytes) const
{
    if (rate == 0)
        return Clock::duration::zero();
    // bytes * ticksPerByteAtOneBaud / rate, rounded up, without overflow.
    const std::uint64_t whole = bytes / rate * ticksPerByteAtOneBaud;
    const std::uint64_t remainder = (bytes % rate * ticksPerByteAtOneBaud + rate - 1) / rate;
    return Clock::duration(static_cast<Clock::rep>(whole + remainder));
}

std::uint64_t LinePace::bytesWithin(Clock::duration elapsed) const
{
    if (elapsed <= Clock::duration::zero())
        return 0;
    const auto ticks = static_cast<std::uint64_t>(elapsed.count());
    // ticks * rate / ticksPerByteAtOneBaud, rounded down, without overflow.
    return ticks / ticksPerByteAtOneBaud * rate + ticks % ticksPerByteAtOneBaud * rate / ticksPerByteAtOneBaud;
}

}  // namespace kv7::sim
