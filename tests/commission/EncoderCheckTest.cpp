#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "commission/EncoderCheck.h"

namespace kv7::commission {
namespace {

constexpr std::uint32_t microsteps = 1843200;
constexpr std::uint64_t resolution = std::uint64_t{1} << 25;

struct Mount {
    double scalePpm = 0;
    double backlashTurns = 0;
    int sense = 1;
    double axisTurns = 0;   // what the encoder sees; lags the motor by up to the backlash

    // The encoder's count with the motor's counter at `steps`.
    std::uint32_t read(std::int64_t steps)
    {
        const double motorTurns = static_cast<double>(steps) / microsteps;
        if (motorTurns - axisTurns > backlashTurns / 2)
            axisTurns = motorTurns - backlashTurns / 2;
        if (axisTurns - motorTurns > backlashTurns / 2)
            axisTurns = motorTurns + backlashTurns / 2;
        const double turns = 0.3 + sense * axisTurns * (1 + scalePpm * 1e-6);
        return static_cast<std::uint32_t>(std::llround((turns - std::floor(turns)) * resolution) % resolution);
    }
};

CheckInput runOn(Mount mount, std::int64_t steps, const std::vector<std::uint32_t>& atRest)
{
    CheckInput in;
    in.encoderResolution = resolution;
    in.microstepsPerRevolution = microsteps;
    in.atRest = atRest;
    std::int64_t at = 1000;
    // The pattern the assistant runs, with stops that overshoot a little.
    const int directions[] = {1, 1, -1, -1, 1, 1};
    in.stops.push_back({at, mount.read(at)});
    int k = 0;
    for (int d : directions) {
        at += d * (steps + 37 * ++k);
        in.stops.push_back({at, mount.read(at)});
    }
    return in;
}

TEST(EncoderCheck, ScaleSenseAndBacklashComeOutOfTheStops)
{
    struct Case {
        double ppm;
        double backlashArcsec;
        int sense;
    };
    const Case cases[] = {{0, 0, 1}, {500, 0, 1}, {-500, 60, 1}, {500, 60, -1}, {20, 10, 1}, {0, 300, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ppm << " ppm, " << c.backlashArcsec << "\", sense " << c.sense);
        Mount m;
        m.scalePpm = c.ppm;
        m.backlashTurns = c.backlashArcsec / 1296000.0;
        m.sense = c.sense;
        const AxisCheck r = checkAxis(runOn(m, microsteps / 360, {7, 7}));
        ASSERT_TRUE(r.complete);
        EXPECT_EQ(r.senseAgrees, c.sense > 0);
        EXPECT_NEAR(r.scalePpm, c.ppm, 5 + 0.01 * std::fabs(c.ppm));
        EXPECT_NEAR(r.backlashArcsec, c.backlashArcsec, 0.5 + 0.05 * c.backlashArcsec);
        EXPECT_EQ(r.cleanMoves, 3);
        EXPECT_EQ(r.reversals, 2);
    }
}

TEST(EncoderCheck, NoiseIsTheSpreadOfTheReadingsAtRest)
{
    const double arcsecPerCount = 1296000.0 / resolution;
    struct Case {
        std::vector<std::uint32_t> atRest;
        double deviationCounts;
        double peakCounts;
    };
    const Case cases[] = {
        {{100, 100, 100}, 0, 0},
        {{100, 102, 100, 102}, std::sqrt(4.0 / 3.0), 2},
        // Across the encoder's zero the readings are still two counts apart.
        {{0, static_cast<std::uint32_t>(resolution - 1), 1}, 1, 2},
    };
    for (const Case& c : cases) {
        CheckInput in = runOn(Mount{}, 5120, c.atRest);
        const AxisCheck r = checkAxis(in);
        EXPECT_NEAR(r.noiseArcsec, c.deviationCounts * arcsecPerCount, 1e-9);
        EXPECT_NEAR(r.noisePeakArcsec, c.peakCounts * arcsecPerCount, 1e-9);
    }
}

TEST(EncoderCheck, AVerdictNamesTheSettingToLookAt)
{
    struct Case {
        Mount mount;
        const char* verdict;
        const char* hint;
    };
    const Case cases[] = {
        {Mount{}, "RA: good", nullptr},
        {Mount{0, 0, -1}, "RA: check this setting", "set \"Reverse encoder\""},
        {Mount{800, 0, 1}, "RA: check this setting", "check the gear ratio"},
        {Mount{0, 100 / 1296000.0, 1}, "RA: check this setting", "check the gear mesh"},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> lines = describeCheck(checkAxis(runOn(c.mount, 5120, {5, 5})), "RA");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], c.verdict);
        if (c.hint) {
            std::string all;
            for (const std::string& l : lines)
                all += l + "\n";
            EXPECT_NE(all.find(c.hint), std::string::npos) << all;
        }
    }
}

TEST(EncoderCheck, WithoutBothKindsOfMoveThereIsNoVerdict)
{
    CheckInput oneWay = runOn(Mount{}, 5120, {1, 1});
    oneWay.stops.resize(3);   // start and two moves the same way
    EXPECT_FALSE(checkAxis(oneWay).complete);
    EXPECT_EQ(describeCheck(checkAxis(oneWay), "Dec")[0],
              "Dec: not enough readings to judge: did the axis move both ways?");
    CheckInput noMicrosteps = runOn(Mount{}, 5120, {1, 1});
    noMicrosteps.microstepsPerRevolution = 0;
    EXPECT_FALSE(checkAxis(noMicrosteps).complete);
}

}  // namespace
}  // namespace kv7::commission
