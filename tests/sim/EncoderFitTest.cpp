// An encoder fitted imperfectly: a scale error, counting the other way,
// backlash between motor and axis, and a noisy reading, each decoded the
// way the link reads it, at fixed simulated instants.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <set>

#include "SimTestUtil.h"

namespace kv7::sim::test {
namespace {

// RA with 2^20 microsteps per turn and an instant drive: with the default
// 25-bit encoder one microstep is exactly 32 counts. Half a count of zero
// keeps each expected reading in the middle of its count.
constexpr std::uint32_t stepsPerTurn = 1u << 20;
constexpr std::uint32_t countsPerStep = 32;
constexpr double halfCount = 0.5 / (1u << 25);

SimConfig mountWith(const EncoderFit& raFit, double zeroTurns = halfCount)
{
    SimConfig config;
    config.factory.ra.microsteps = stepsPerTurn;
    config.factory.ra.acceleration = 0;
    config.raEncoder.zeroTurns = zeroTurns;
    config.raEncoder.fit = raFit;
    return config;
}

// Simulated time in slices of the given length; 0: all at once.
void advanceInSlices(VirtualController& c, double seconds, double slice)
{
    if (slice == 0.0) {
        c.advance(seconds);
        return;
    }
    for (double done = 0.0; done < seconds - 1e-9; done += slice)
        c.advance(std::min(slice, seconds - done));
}

std::uint32_t raReading(VirtualController& c) { return u32At(ask(c, frameByte(DeviceCommand::ReadEncoders, 1)), 3); }

TEST(EncoderFit, ScaleAndDirectionTurnTheEncoderAgainstTheAxis)
{
    struct Case {
        const char* name;
        EncoderFit fit;
        double zeroTurns;
        std::uint32_t reading;   // after a quarter turn of the axis
    };
    const Case cases[] = {
        {"perfect", {}, 0.0, 8388608},                                   // 0.25 * 2^25
        {"1000 ppm more", {1000.0, false, 0.0, 0}, 0.0, 8396997},        // 0.25025 turns, and half a count
        {"250 ppm less", {-250.0, false, 0.0, 0}, 0.0, 8386511},         // 0.2499375 turns
        {"reversed", {0.0, true, 0.0, 0}, 0.0, 25165824},                // -0.25 turns
        {"reversed, 1000 ppm more", {1000.0, true, 0.0, 0}, 0.0, 25157435},
        {"reversed from half a turn", {0.0, true, 0.0, 0}, 0.5, 8388608},   // 0.5 - 0.25
    };
    for (const Case& k : cases) {
        VirtualController c(mountWith(k.fit, halfCount + k.zeroTurns));
        transact(c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisRa, stepsPerTurn / 4, 0));
        c.advance(60.0);
        ASSERT_EQ(c.axisPosition(Axis::Ra), static_cast<std::int32_t>(stepsPerTurn / 4)) << k.name;
        EXPECT_EQ(raReading(c), k.reading) << k.name;
        EXPECT_EQ(c.encoderReading(Axis::Dec), 0u) << k.name << ": the other axis is fitted perfectly";
    }
}

// 1265.625 arcseconds of play are 1024 microsteps at 2^20 steps per turn.
TEST(EncoderFit, BacklashLetsTheMotorTurnThroughThePlayAfterEachReversal)
{
    struct Leg {
        std::int32_t speed;
        double seconds;
        std::int32_t motor;   // the controller's axis position
        std::int32_t axis;    // where the encoder's axis stands, in steps
    };
    const Leg legs[] = {
        {2048, 2.0, 4096, 4096},       // the play starts taken up forwards
        {-2048, 0.25, 3584, 4096},     // reversed: within the play, the axis stays
        {-2048, 0.5, 2560, 3584},      // through the play, then dragged 1024 behind
        {2048, 0.25, 3072, 3584},      // forwards again: the axis waits...
        {2048, 0.5, 4096, 4096},       // ...until the motor has come 1024 back
    };
    for (const double slice : {0.0, 1.0 / 64, 0.003}) {
        VirtualController c(mountWith({0.0, false, 1265.625, 0}));
        for (const Leg& leg : legs) {
            transact(c, frameSpeed(axisRa, leg.speed));
            advanceInSlices(c, leg.seconds, slice);
            EXPECT_EQ(c.axisPosition(Axis::Ra), leg.motor) << "slice " << slice;
            EXPECT_EQ(raReading(c), static_cast<std::uint32_t>(leg.axis) * countsPerStep)
                << "motor at " << leg.motor << ", slice " << slice;
        }
    }
}

// The noisy reading's offset from the true one, in counts of 2^25 per turn.
int noiseOf(std::uint32_t reading, std::uint32_t truth)
{
    const std::uint32_t d = (reading - truth) & ((1u << 25) - 1);
    return d < (1u << 24) ? static_cast<int>(d) : static_cast<int>(d) - (1 << 25);
}

std::vector<int> restingNoise(std::uint32_t seed, unsigned counts, int readings)
{
    SimConfig config = mountWith({0.0, false, 0.0, counts}, 0.3);
    config.faults.seed = seed;
    VirtualController c(config);
    std::vector<int> noise;
    for (int i = 0; i < readings; ++i)
        noise.push_back(noiseOf(raReading(c), c.encoderReading(Axis::Ra)));
    return noise;
}

TEST(EncoderFit, NoiseWandersWithinItsCountsAtRest)
{
    const std::vector<int> noise = restingNoise(1, 3, 400);
    EXPECT_EQ(std::set<int>(noise.begin(), noise.end()), (std::set<int>{-3, -2, -1, 0, 1, 2, 3}));
    EXPECT_EQ(restingNoise(1, 0, 50), std::vector<int>(50, 0));
}

TEST(EncoderFit, NoiseRepeatsWithItsSeed)
{
    EXPECT_EQ(restingNoise(7, 5, 100), restingNoise(7, 5, 100));
    EXPECT_NE(restingNoise(7, 5, 100), restingNoise(8, 5, 100));
}

// With the default binary word, a bit flipped on the line is the same bit
// of the reading: a reading is either right or wrong in exactly one bit,
// about as often as asked, and any of the 25 bits may be the one.
TEST(EncoderFit, BitErrorsFlipOneBitOfSomeReadings)
{
    struct Case {
        double chance;
        int atLeast;   // of 1000 readings with one bit wrong
        int atMost;
    };
    const Case cases[] = {{0.0, 0, 0}, {0.2, 150, 250}, {1.0, 1000, 1000}};
    for (const Case& k : cases) {
        SimConfig config = mountWith({0.0, false, 0.0, 0, k.chance}, 0.3);
        VirtualController c(config);
        const std::uint32_t truth = c.encoderReading(Axis::Ra);
        int wrong = 0;
        std::set<int> bits;
        for (int i = 0; i < 1000; ++i) {
            const std::uint32_t flipped = raReading(c) ^ truth;
            ASSERT_LE(std::popcount(flipped), 1) << k.chance;
            if (flipped != 0) {
                ++wrong;
                bits.insert(std::countr_zero(flipped));
            }
        }
        EXPECT_GE(wrong, k.atLeast) << k.chance;
        EXPECT_LE(wrong, k.atMost) << k.chance;
        if (k.chance == 1.0) {
            EXPECT_EQ(bits.size(), 25u);
        }
    }
}

}  // namespace
}  // namespace kv7::sim::test
