// Parameters written and stored survive a restart; unstored ones do not.
#include <gtest/gtest.h>

#include <fstream>

#include "SimTestUtil.h"

namespace kv7::sim::test {
namespace {

SimConfig withState(const std::string& path)
{
    SimConfig config;
    config.stateFile = path;
    return config;
}

TEST(Persistence, StoredValuesSurviveARestartUnstoredDoNot)
{
    TempDir dir;
    const std::string state = dir.file("kv7.state");
    const EncoderFormatBytes storedRa{encoderFlagGray, 10, 24, 2};
    const EncoderFormatBytes storedDec{encoderFlagInvert, 11, 23, 0};
    {
        VirtualController c(withState(state));
        c.receive(frameFormat(storedRa, storedDec).data(), 12);
        transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0x02, 4242, 77777));
        c.receive(frameMotorFlags(0x01, 0x33).data(), 7);
        EXPECT_EQ(transact(c, frameByte(DeviceCommand::StoreParameters, 1)).size(), 1u);
        EXPECT_TRUE(c.lastStoreSucceeded());

        // Changed after the store: lost at power-off.
        c.receive(frameFormat({}, {}).data(), 12);
        transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0, 1, 1));
        c.receive(frameMotorFlags(0x02, 0x00).data(), 7);
        EXPECT_EQ(c.settings().ra.encoderOffset, 1u);
    }
    VirtualController restarted(withState(state));
    EXPECT_TRUE(restarted.loadProblems().empty());
    const ControllerSettings& s = restarted.settings();
    EXPECT_EQ(s.ra.encoderFormat, storedRa);
    EXPECT_EQ(s.dec.encoderFormat, storedDec);
    EXPECT_EQ(s.reverseEncoderBits, 0x02);
    EXPECT_EQ(s.ra.encoderOffset, 4242u);
    EXPECT_EQ(s.dec.encoderOffset, 77777u);
    EXPECT_EQ(s.reverseMotorBits, 0x01);
    EXPECT_EQ(s.motorExtraByte, 0x33);
    // What it reports is what it loaded.
    EXPECT_EQ(ask(restarted, frameCode(DeviceCommand::ReadEncoderFormat)),
              (Bytes{0x55, 9, 23, encoderFlagGray, 10, 24, 2, encoderFlagInvert, 11, 23, 0}));
}

TEST(Persistence, WithoutAStateFileEveryRestartIsFactoryFresh)
{
    {
        VirtualController c;
        transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 3, 5, 6));
        transact(c, frameByte(DeviceCommand::StoreParameters, 1));
        EXPECT_EQ(c.storedSettings().ra.encoderOffset, 5u);
    }
    VirtualController again;
    EXPECT_EQ(again.settings(), factorySettings());
}

TEST(Persistence, StateFileRoundTripsAndSurvivesDamage)
{
    ControllerSettings s = factorySettings();
    s.deviceId = 0xDEADBEEF;
    s.ra.microsteps = 4000000;
    s.dec.motorBytes[24] = 0xEE;
    s.dec.encoderFormat = {3, 0, 32, 7};
    ControllerSettings parsed;
    std::vector<std::string> problems;
    parseSettings(formatSettings(s), parsed, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(parsed, s);

    // A damaged file: good lines apply, bad ones are reported and skipped.
    ControllerSettings damaged = factorySettings();
    parseSettings("# comment\n"
                  "ra.gearRatio = 180\n"
                  "dec.microsteps=-5\n"
                  "deviceByte=256\n"
                  "ra.motorBytes=zz\n"
                  "colour=blue\n"
                  "no equals sign\n"
                  "dec.encoderOffset=0x10\r\n",
                  damaged, problems);
    EXPECT_EQ(damaged.ra.gearRatio, 180u);
    EXPECT_EQ(damaged.dec.encoderOffset, 16u);
    EXPECT_EQ(damaged.dec.microsteps, factorySettings().dec.microsteps);
    EXPECT_EQ(damaged.deviceByte, factorySettings().deviceByte);
    EXPECT_EQ(damaged.ra.motorBytes, factorySettings().ra.motorBytes);
    EXPECT_EQ(problems.size(), 5u);
}

TEST(Persistence, GeometryFromTheStateFileIsWhatTheControllerReports)
{
    TempDir dir;
    const std::string state = dir.file("geometry.state");
    std::ofstream(state) << "ra.microsteps=2400000\nra.baseSpeed=1200\n";
    VirtualController c(withState(state));
    const Bytes r = ask(c, frameCode(DeviceCommand::ReadAxisParameters));
    EXPECT_EQ(u32At(r, 9), 2400000u);
    EXPECT_EQ(u32At(r, 13), 1200u);
}

TEST(Persistence, UnwritableStateFileIsReportedNotFatal)
{
    VirtualController c(withState("/nonexistent-directory/kv7.state"));
    EXPECT_EQ(transact(c, frameByte(DeviceCommand::StoreParameters, 1)).size(), 1u);
    EXPECT_FALSE(c.lastStoreSucceeded());
}

}  // namespace
}  // namespace kv7::sim::test
