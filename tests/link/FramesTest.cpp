// Device frame encoders and the reply framer.
#include <gtest/gtest.h>

#include "protocol/DeviceProtocol.h"
#include "support/TestSupport.h"

namespace kv7::test {
namespace {

Bytes frameOf(std::size_t length, const std::uint8_t* buffer) { return Bytes(buffer, buffer + length); }

TEST(FrameEncoders, LayOutEveryShapeLittleEndianAndTruncated)
{
    std::uint8_t f[maxCommandFrame];
    EXPECT_TRUE(sameBytes(frameOf(encodeCode(f, 1), f), unhex("AA 01 01")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeByte(f, 13, 0x101), f), unhex("AA 02 0D 01")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeByteByte(f, 33, 0, 192), f), unhex("AA 03 21 00 C0")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeThreeBytes(f, 9, 1, 2, 3), f), unhex("AA 04 09 01 02 03")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeByteWord16(f, 9, 1, 0x12345), f), unhex("AA 04 09 01 45 23")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeFourBytes(f, 50, 0, 192, 3, 0x5A), f), unhex("AA 05 32 00 C0 03 5A")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeByteWord32(f, 9, 7, 0x01020304), f), unhex("AA 06 09 07 04 03 02 01")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeTwoBytesWord32(f, 35, 0, 64, static_cast<std::uint32_t>(-1000)), f),
                          unhex("AA 07 23 00 40 18 FC FF FF")));
    const std::uint8_t nine[9] = {1, 0, 12, 25, 0, 0, 12, 25, 0};
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeNineBytes(f, 24, nine), f), unhex("AA 0A 18 01 00 0C 19 00 00 0C 19 00")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeTwoBytesTwoWord32(f, 37, 1, 192, 1000, static_cast<std::uint32_t>(-1)), f),
                          unhex("AA 0B 25 01 C0 E8 03 00 00 FF FF FF FF")));
    EXPECT_TRUE(sameBytes(frameOf(encodeCodeTwoBytesTwoWord32(f, 32, 1, 192, static_cast<std::uint32_t>(-1000), 2000), f),
                          unhex("AA 0B 20 01 C0 18 FC FF FF D0 07 00 00")));
}

TEST(DeviceCommandTable, ShapesAgreeWithTheFramesTheyProduce)
{
    EXPECT_EQ(deviceCommandCount, 21u);
    for (std::size_t i = 0; i < deviceCommandCount; ++i) {
        const DeviceCommandInfo& info = deviceCommands[i];
        EXPECT_EQ(findDeviceCommand(static_cast<std::uint8_t>(info.code)), &info) << info.name;
    }
    EXPECT_EQ(payloadLength(findDeviceCommand(35)->shape), 7);    // move: code, 0, axis, speed
    EXPECT_EQ(payloadLength(findDeviceCommand(50)->shape), 5);
    EXPECT_EQ(payloadLength(findDeviceCommand(24)->shape), 10);
    EXPECT_EQ(payloadLength(findDeviceCommand(37)->shape), 11);
    EXPECT_EQ(findDeviceCommand(0), nullptr);
    EXPECT_EQ(findDeviceCommand(99), nullptr);
}

struct Collected {
    std::vector<Bytes> frames;
    void feed(FrameAssembler& a, const Bytes& bytes)
    {
        for (std::uint8_t b : bytes) {
            if (a.push(b))
                frames.push_back(Bytes(a.frame(), a.frame() + 2 + a.length()));
        }
    }
};

TEST(ReplyFramer, CutsFramesOutOfNoiseSplitsAndBursts)
{
    FrameAssembler framer(replyStartByte);
    Collected c;
    c.feed(framer, unhex("55 00"));                           // empty payload completes at once
    c.feed(framer, unhex("01 02 FF 55 03 55 55"));            // noise, then 0x55 as length and payload
    c.feed(framer, unhex("07"));
    c.feed(framer, unhex("55 02 0A 0B 55 01 0C"));            // two frames in one chunk
    ASSERT_EQ(c.frames.size(), 4u);
    EXPECT_TRUE(sameBytes(c.frames[0], unhex("55 00")));
    EXPECT_TRUE(sameBytes(c.frames[1], unhex("55 03 55 55 07")));
    EXPECT_TRUE(sameBytes(c.frames[2], unhex("55 02 0A 0B")));
    EXPECT_TRUE(sameBytes(c.frames[3], unhex("55 01 0C")));
}

TEST(ReplyFramer, ShortFrameNeverShowsWhatAnEarlierFrameLeftBehind)
{
    FrameAssembler framer(replyStartByte);
    Collected c;
    c.feed(framer, unhex("55 09 00 11 22 33 44 55 66 77 88"));
    c.feed(framer, unhex("55 02 00 99"));
    ASSERT_EQ(c.frames.size(), 2u);
    for (int i = 4; i < 70; ++i)
        EXPECT_EQ(framer.frame()[i], 0) << "byte " << i;
}

TEST(ReplyFramer, ResetDropsAPartialFrame)
{
    FrameAssembler framer(replyStartByte);
    Collected c;
    c.feed(framer, unhex("55 05 01 02"));
    framer.reset();
    c.feed(framer, unhex("03 55 01 09"));
    ASSERT_EQ(c.frames.size(), 1u);
    EXPECT_TRUE(sameBytes(c.frames[0], unhex("55 01 09")));
}

}  // namespace
}  // namespace kv7::test
