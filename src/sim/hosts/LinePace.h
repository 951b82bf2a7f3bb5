// One direction of a serial line at a given bit rate, 8N1: every byte takes
// ten bit times, one after the other. Bytes are handed to the line as they
// come and come out of its far end no faster than the rate allows; the
// caller says what time it is, so the arithmetic runs without a clock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace kv7::sim {

class LinePace {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr unsigned bitsPerByte = 10;   // start bit, 8 data bits, stop bit

    // bitsPerSecond 0: no line at all, every byte is through at once.
    explicit LinePace(std::uint32_t bitsPerSecond = 0) : rate(bitsPerSecond) {}

    // count bytes handed to the line at now; they follow any still on it.
    void hand(std::size_t count, Clock::time_point now);
    // How many more of the bytes handed over have come out by now.
    std::size_t take(Clock::time_point now);
    // When the next byte on the line comes out; Clock::time_point::max()
    // when none is on it.
    Clock::time_point nextOut() const;
    // When a receiver that passes bytes on in chunks, as a serial adapter
    // does, hands on what has come out: once the last byte on the line is
    // through, or once the oldest one not yet handed on has waited grain,
    // whichever is first. Never before a byte is through, and a frame's
    // last byte on time. Clock::time_point::max() when none is on the line.
    Clock::time_point handOnAt(Clock::duration grain) const;
    // When the byte take() last gave came out: a command whose last byte
    // that was arrived then, however late anyone looked.
    Clock::time_point lastTakenOut() const { return runStart + runTime(out); }
    std::size_t onLine() const { return static_cast<std::size_t>(handed - out); }

private:
    // From the start of a run to the end of its bytes-th byte, rounded up.
    Clock::duration runTime(std::uint64_t bytes) const;
    // Whole bytes that fit in elapsed since the start of a run.
    std::uint64_t bytesWithin(Clock::duration elapsed) const;

    std::uint32_t rate;
    Clock::time_point runStart{};   // the line began sending the current run of bytes
    std::uint64_t handed = 0;       // bytes of this run handed to the line
    std::uint64_t out = 0;          // bytes of this run that have come out
};

}  // namespace kv7::sim
