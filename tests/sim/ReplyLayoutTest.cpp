// Every reply, byte by byte, against the device's reply table: lengths, and
// each field at the frame byte where the link reads it.
#include <gtest/gtest.h>

#include "SimTestUtil.h"

namespace kv7::sim::test {
namespace {

// Values unlike each other and unlike the defaults, so a field read from
// the wrong offset or the wrong axis shows.
SimConfig distinctive()
{
    SimConfig config;
    ControllerSettings& s = config.factory;
    s.deviceId = 0x11223344;
    s.deviceWord = 0x55667788;
    s.deviceByte = 0x99;
    s.reverseMotorBits = 0x02;
    s.motorExtraByte = 0xA5;
    s.reverseEncoderBits = 0x01;
    s.ra = {0x21, 0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E, 1000, {}, {3, 10, 20, 2}, 0xCAFEBABE};
    s.dec = {0x42, 0x11121314, 0x15161718, 0x191A1B1C, 0x1D1E, 1000, {}, {1, 11, 21, 3}, 0x0BADF00D};
    for (std::size_t i = 0; i < opaqueMotorBytes; ++i) {
        s.ra.motorBytes[i] = static_cast<std::uint8_t>(0x30 + i);
        s.dec.motorBytes[i] = static_cast<std::uint8_t>(0x70 + i);
    }
    return config;
}

TEST(ReplyLayout, IdentifyIsExactlyFiveBytesWithTypeOne)
{
    VirtualController c(distinctive());
    const Bytes r = ask(c, frameCode(DeviceCommand::Identify));
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r[0], 0x55);
    EXPECT_EQ(r[1], 5);
    EXPECT_EQ(r[2], 1);
    EXPECT_EQ(u32At(r, 3), 0x11223344u);
}

TEST(ReplyLayout, DeviceByteAndDeviceWord)
{
    VirtualController c(distinctive());
    const Bytes b = ask(c, frameCode(DeviceCommand::ReadDeviceByte));
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[1], 2);
    EXPECT_EQ(b[3], 0x99);

    const Bytes w = ask(c, frameCode(DeviceCommand::ReadDeviceWord));
    ASSERT_EQ(w.size(), 7u);
    EXPECT_EQ(w[1], 5);
    EXPECT_EQ(u32At(w, 3), 0x55667788u);
}

TEST(ReplyLayout, AxisParametersBlocksAtBytesFourAndSeventeen)
{
    VirtualController c(distinctive());
    const Bytes r = ask(c, frameCode(DeviceCommand::ReadAxisParameters));
    ASSERT_EQ(r.size(), 30u);
    EXPECT_EQ(r[1], 28);
    EXPECT_EQ(r[4], 0x21);
    EXPECT_EQ(u32At(r, 5), 0x01020304u);
    EXPECT_EQ(u32At(r, 9), 0x05060708u);
    EXPECT_EQ(u32At(r, 13), 0x090A0B0Cu);
    EXPECT_EQ(r[17], 0x42);
    EXPECT_EQ(u32At(r, 18), 0x11121314u);
    EXPECT_EQ(u32At(r, 22), 0x15161718u);
    EXPECT_EQ(u32At(r, 26), 0x191A1B1Cu);
}

TEST(ReplyLayout, MotorSettingsBlocksAtBytesSixAndThirtyThree)
{
    VirtualController c(distinctive());
    const Bytes r = ask(c, frameCode(DeviceCommand::ReadMotorSettings));
    ASSERT_EQ(r.size(), 60u);
    EXPECT_EQ(r[1], 58);
    EXPECT_EQ(r[4], 0x02);
    EXPECT_EQ(r[5], 0xA5);
    EXPECT_EQ(u16At(r, 6), 0x0D0E);
    EXPECT_EQ(u16At(r, 33), 0x1D1E);
    for (std::size_t i = 0; i < opaqueMotorBytes; ++i) {
        EXPECT_EQ(r[8 + i], 0x30 + i) << "RA block offset " << i + 2;
        EXPECT_EQ(r[35 + i], 0x70 + i) << "Dec block offset " << i + 2;
    }
}

TEST(ReplyLayout, EncoderFormatAndCalibration)
{
    VirtualController c(distinctive());
    const Bytes f = ask(c, frameCode(DeviceCommand::ReadEncoderFormat));
    EXPECT_EQ(f, (Bytes{0x55, 9, 23, 3, 10, 20, 2, 1, 11, 21, 3}));

    const Bytes k = ask(c, frameCode(DeviceCommand::ReadEncoderCalibration));
    ASSERT_EQ(k.size(), 12u);
    EXPECT_EQ(k[1], 10);
    EXPECT_EQ(k[3], 0x01);
    EXPECT_EQ(u32At(k, 4), 0xCAFEBABEu);
    EXPECT_EQ(u32At(k, 8), 0x0BADF00Du);
}

TEST(ReplyLayout, EncodersMotionStatusAndPositions)
{
    VirtualController c;
    c.receive(framePositions(DeviceCommand::SetAxisPositions, 1, axisBoth, -1000, 2000).data(), 13);
    c.receive(frameSpeed(axisDec, 500).data(), 9);
    c.advance(0.5);

    const Bytes e = ask(c, frameByte(DeviceCommand::ReadEncoders, 1));
    ASSERT_EQ(e.size(), 11u);
    EXPECT_EQ(e[1], 9);
    EXPECT_EQ(u32At(e, 3), c.encoderReading(Axis::Ra));
    EXPECT_EQ(u32At(e, 7), c.encoderReading(Axis::Dec));
    EXPECT_NE(u32At(e, 7), 0u);   // Dec has moved

    const Bytes m = ask(c, frameByte(DeviceCommand::ReadMotionStatus, 1));
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[1], 4);
    EXPECT_LE(m[4], 2);   // RA at rest
    EXPECT_GT(m[5], 2);   // Dec moving

    const Bytes p = ask(c, frameByteByte(DeviceCommand::ReadAxisPositions, 1, axisBoth));
    ASSERT_EQ(p.size(), 14u);
    EXPECT_EQ(p[1], 12);
    EXPECT_EQ(i32At(p, 6), -1000);
    EXPECT_EQ(i32At(p, 10), c.axisPosition(Axis::Dec));
    EXPECT_GT(i32At(p, 10), 2000);
}

TEST(ReplyLayout, AwaitedCommandsAnswerAndOthersStaySilent)
{
    VirtualController c;
    // Replies the link waits for but does not read still have to come.
    for (const Bytes& frame : {framePositions(DeviceCommand::GoToAxisPositions, 1, axisBoth, 0, 0),
                               frameByte(DeviceCommand::StoreParameters, 1),
                               framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0, 0, 0),
                               frameByte(DeviceCommand::ReadEncodersMode1, 1),
                               frameByte(DeviceCommand::ReadEncodersMode2, 1)}) {
        EXPECT_EQ(transact(c, frame).size(), 1u) << "command " << int(frame[2]);
    }
    // A reply to a command the link does not wait for would be taken for
    // the answer to whatever it is waiting for, so these stay silent.
    for (const Bytes& frame :
         {frameFormat({}, {}), framePositions(DeviceCommand::SetAxisPositions, 1, axisBoth, 5, 5),
          frameByteByte(DeviceCommand::StopAxes, 0, axisBoth), frameSpeed(axisRa, 100),
          frameByteByte(DeviceCommand::SetTrackingMode, 0, 1), frameMotorFlags(0, 0)}) {
        EXPECT_TRUE(transact(c, frame).empty()) << "command " << int(frame[2]);
    }
}

TEST(ReplyLayout, WrittenSettingsReadBack)
{
    VirtualController c;
    const EncoderFormatBytes ra{2, 8, 19, 5};
    const EncoderFormatBytes dec{1, 0, 17, 0};
    c.receive(frameFormat(ra, dec).data(), 12);
    EXPECT_EQ(ask(c, frameCode(DeviceCommand::ReadEncoderFormat)), (Bytes{0x55, 9, 23, 2, 8, 19, 5, 1, 0, 17, 0}));

    transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 3, 123456, 0x80000001));
    const Bytes k = ask(c, frameCode(DeviceCommand::ReadEncoderCalibration));
    EXPECT_EQ(k[3], 3);
    EXPECT_EQ(u32At(k, 4), 123456u);
    EXPECT_EQ(u32At(k, 8), 0x80000001u);

    c.receive(frameMotorFlags(0x03, 0x5A).data(), 7);
    const Bytes m = ask(c, frameCode(DeviceCommand::ReadMotorSettings));
    EXPECT_EQ(m[4], 0x03);
    EXPECT_EQ(m[5], 0x5A);
}

}  // namespace
}  // namespace kv7::sim::test
