// A serial line's pace at 8N1: how many bytes are through at each instant,
// whatever the bit rate, queued behind each other, and after an idle spell.
#include <gtest/gtest.h>

#include <vector>

#include "sim/hosts/LinePace.h"

namespace kv7::sim::test {
namespace {

using Clock = LinePace::Clock;

Clock::time_point at(std::int64_t ns) { return Clock::time_point(std::chrono::nanoseconds(ns)); }

constexpr std::int64_t second = 1000000000;

TEST(LinePace, BytesComeThroughTenBitTimesApart)
{
    struct Step {
        std::int64_t atNs;
        std::size_t handed;    // put on the line at atNs, before looking
        std::size_t through;   // what take(atNs) gives
    };
    struct Case {
        const char* name;
        std::uint32_t rate;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        // One byte at 9600 baud lasts 1041666.7 ns; it is through once that has passed.
        {"first byte at 9600", 9600, {{0, 1, 0}, {1041666, 0, 0}, {1041667, 0, 1}}},
        {"960 bytes a second at 9600", 9600, {{0, 960, 0}, {second - 1, 0, 959}, {second, 0, 1}}},
        {"a reply at 115200", 115200, {{0, 11, 0}, {954861, 0, 10}, {954862, 0, 1}}},
        {"bytes handed while busy queue behind", 9600, {{0, 2, 0}, {1, 2, 0}, {4166666, 0, 3}, {4166667, 0, 1}}},
        // After an idle spell a new run starts when it is handed over, not
        // back-dated into the spell as a burst.
        {"idle line starts anew", 9600,
         {{0, 1, 0}, {10000000, 0, 1}, {10000000, 2, 0}, {11041666, 0, 0}, {12083334, 0, 2}}},
        // An hour of bytes arrives on the nanosecond: no rounding adds up.
        {"an hour at 9600", 9600, {{0, 960 * 3600, 0}, {3600 * second - 1, 0, 960 * 3600 - 1}, {3600 * second, 0, 1}}},
        {"unpaced", 0, {{0, 500, 500}, {5, 3, 3}}},
        {"looking early gives nothing", 9600, {{second, 5, 0}, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        LinePace line(c.rate);
        for (const Step& s : c.steps) {
            line.hand(s.handed, at(s.atNs));
            EXPECT_EQ(line.take(at(s.atNs)), s.through) << c.name << " at " << s.atNs << " ns";
        }
    }
}

TEST(LinePace, SaysWhenTheNextByteComesOut)
{
    LinePace line(9600);
    EXPECT_EQ(line.nextOut(), Clock::time_point::max());
    line.hand(2, at(0));
    EXPECT_EQ(line.nextOut(), at(1041667));
    EXPECT_EQ(line.take(at(1500000)), 1u);
    EXPECT_EQ(line.nextOut(), at(2083334));
    EXPECT_EQ(line.onLine(), 1u);
    EXPECT_EQ(line.take(at(2083334)), 1u);
    EXPECT_EQ(line.nextOut(), Clock::time_point::max());

    LinePace unpaced;
    unpaced.hand(3, at(7));
    EXPECT_EQ(unpaced.nextOut(), at(7));
}

// A receiver hands bytes on in chunks: a frame as soon as its last byte is
// through, a long run at most a grain after its oldest waiting byte, and
// never a byte before it is through.
TEST(LinePace, HandsBytesOnInChunks)
{
    constexpr std::int64_t ms = 1000000;
    const auto grain = std::chrono::milliseconds(2);
    struct Case {
        const char* name;
        std::uint32_t rate;
        std::size_t handed;      // at 0
        std::int64_t takenAtNs;  // take() first at this instant (-1: not at all)
        std::int64_t handOnNs;   // handOnAt(grain) after that
    };
    const Case cases[] = {
        // 11 bytes at 115200 last 954862 ns: the whole reply at its end.
        {"a reply shorter than the grain", 115200, 11, -1, 954862},
        // 11 bytes at 9600 last 11.46 ms: the first chunk 2 ms after the
        // first byte is through, the next 2 ms after the next one waiting.
        {"a reply longer than the grain", 9600, 11, -1, 1041667 + 2 * ms},
        {"after the first chunk", 9600, 11, 1041667 + 2 * ms, 3125000 + 2 * ms},
        {"the last chunk ends with the run", 9600, 11, 10416667, 11458334},
        {"unpaced: at once", 0, 4, -1, 0},
    };
    for (const Case& c : cases) {
        LinePace line(c.rate);
        line.hand(c.handed, at(0));
        if (c.takenAtNs >= 0)
            line.take(at(c.takenAtNs));
        EXPECT_EQ(line.handOnAt(grain), at(c.handOnNs)) << c.name;
    }
    LinePace idle(9600);
    EXPECT_EQ(idle.handOnAt(grain), Clock::time_point::max());
}

// However late anyone looks, the bytes taken came out when the line let
// them: a command acts at its last byte's moment, not at the look.
TEST(LinePace, SaysWhenTheBytesTakenCameOut)
{
    LinePace line(9600);
    line.hand(4, at(0));
    EXPECT_EQ(line.take(at(50000000)), 4u);
    EXPECT_EQ(line.lastTakenOut(), at(4166667));
}

}  // namespace
}  // namespace kv7::sim::test
