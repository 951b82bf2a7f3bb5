// Device frame encoders, the reply framer and the reply layouts.
#include <gtest/gtest.h>

#include "protocol/DeviceProtocol.h"
#include "protocol/ReplyLayout.h"
#include "support/TestSupport.h"

namespace kv7::test {
namespace {

Bytes frameOf(std::size_t length, const std::uint8_t* buffer) { return Bytes(buffer, buffer + length); }

TEST(FrameEncoders, LayOutEveryCommandLittleEndianAndTruncated)
{
    std::uint8_t f[maxCommandFrame];
    const auto frame = [&](DeviceCommand c, auto... args) {
        const std::uint32_t a[] = {static_cast<std::uint32_t>(args)..., 0};
        return frameOf(encodeCommand(f, c, a, sizeof...(args)), f);
    };
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::Identify), unhex("AA 01 01")));
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::StoreParameters, 0x101), unhex("AA 02 0D 01")));
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::StopAxes, 0, 192), unhex("AA 03 21 00 C0")));
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::WriteMotorFlags, 0, 192, 3, 0x5A), unhex("AA 05 32 00 C0 03 5A")));
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::MoveAtSpeed, 0, 64, -1000), unhex("AA 07 23 00 40 18 FC FF FF")));
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::WriteEncoderFormat, 1, 0, 12, 25, 0, 0, 12, 25, 0),
                          unhex("AA 0A 18 01 00 0C 19 00 00 0C 19 00")));
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::GoToAxisPositions, 1, 192, 1000, -1),
                          unhex("AA 0B 25 01 C0 E8 03 00 00 FF FF FF FF")));
    EXPECT_TRUE(sameBytes(frame(DeviceCommand::SetAxisPositions, 1, 192, -1000, 2000),
                          unhex("AA 0B 20 01 C0 18 FC FF FF D0 07 00 00")));
    // The wrong count of arguments lays out nothing.
    EXPECT_EQ(frame(DeviceCommand::StopAxes, 0).size(), 0u);
}

TEST(DeviceCommandTable, PayloadLengthsFollowTheArgumentFields)
{
    EXPECT_EQ(deviceCommandCount, 21u);
    for (std::size_t i = 0; i < deviceCommandCount; ++i) {
        const DeviceCommandInfo& info = deviceCommands[i];
        EXPECT_EQ(findDeviceCommand(static_cast<std::uint8_t>(info.code)), &info) << info.name;
    }
    EXPECT_EQ(payloadLength(*findDeviceCommand(35)), 7);    // move: code, 0, axis, speed
    EXPECT_EQ(payloadLength(*findDeviceCommand(50)), 5);
    EXPECT_EQ(payloadLength(*findDeviceCommand(24)), 10);
    EXPECT_EQ(payloadLength(*findDeviceCommand(37)), 11);
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

TEST(ReplyLayouts, AShortFrameNeverShowsWhatAnEarlierFrameLeftBehind)
{
    FrameAssembler framer(replyStartByte);
    Collected c;
    c.feed(framer, unhex("55 09 00 11 22 33 44 55 66 77 88"));
    c.feed(framer, unhex("55 02 00 99"));
    ASSERT_EQ(c.frames.size(), 2u);
    // The framer's buffer still holds the first frame's bytes past the
    // second's payload; the layout refuses to read them.
    const ReplyLayout& reading = *replyLayout(DeviceCommand::ReadEncoders);
    ReplyValues v;
    EXPECT_TRUE(decodeReply(reading, c.frames[0].data(), c.frames[0].size(), v));
    EXPECT_EQ(v[ReplyField::RaEncoderPosition], 0x44332211u);
    ReplyValues none;
    EXPECT_FALSE(decodeReply(reading, framer.frame(), 4, none));
    EXPECT_EQ(none[ReplyField::RaEncoderPosition], 0u);
}

TEST(ReplyLayouts, LeastLengthsCoverEveryFieldTheLinkReads)
{
    struct Case {
        DeviceCommand command;
        std::uint8_t least;
    };
    for (const Case& c : {Case{DeviceCommand::Identify, 5}, Case{DeviceCommand::ReadDeviceWord, 5},
                          Case{DeviceCommand::ReadAxisParameters, 28}, Case{DeviceCommand::ReadMotorSettings, 58},
                          Case{DeviceCommand::ReadEncoderFormat, 9}, Case{DeviceCommand::ReadEncoderCalibration, 10},
                          Case{DeviceCommand::ReadEncoders, 9}, Case{DeviceCommand::ReadMotionStatus, 4},
                          Case{DeviceCommand::ReadAxisPositions, 12}, Case{DeviceCommand::GoToAxisPositions, 0}})
        EXPECT_EQ(leastReplyLength(c.command), c.least) << int(c.command);
}

TEST(ReplyLayouts, EncodingThenDecodingGivesBackEveryField)
{
    // Distinct values in every field, signed ones negative.
    ReplyValues in;
    for (std::size_t f = 0; f < replyFieldCount; ++f)
        in.value[f] = 0x01020304u * static_cast<std::uint32_t>(f + 1);
    in[ReplyField::RaAxisPosition] = static_cast<std::uint32_t>(-123456);
    std::uint8_t blocks[2][motorBlockSize];
    for (int b = 0; b < 2; ++b) {
        for (std::uint8_t i = 0; i < motorBlockSize; ++i)
            blocks[b][i] = static_cast<std::uint8_t>(0x40 * b + i);
        in.motorBlock[b] = blocks[b];
    }
    for (DeviceCommand command : {DeviceCommand::ReadAxisParameters, DeviceCommand::ReadMotorSettings,
                                  DeviceCommand::ReadEncoderCalibration, DeviceCommand::ReadAxisPositions}) {
        const ReplyLayout& layout = *replyLayout(command);
        std::uint8_t frame[80];
        const std::size_t n = encodeReply(layout, in, frame, sizeof frame);
        ASSERT_EQ(n, leastReplyLength(command) + 2u);
        ReplyValues out;
        ASSERT_TRUE(decodeReply(layout, frame, n, out));
        for (std::size_t r = 0; r < layout.rowCount; ++r) {
            const ReplyRow& row = layout.rows[r];
            if (row.width > 4)
                continue;
            const std::uint32_t mask = row.width == 4 ? 0xFFFFFFFFu : (1u << (8 * row.width)) - 1;
            EXPECT_EQ(out[row.field], in[row.field] & mask) << int(command) << " row " << r;
        }
    }
    EXPECT_EQ(readMotorField(blocks[1], MotorField::SettingI), 0x5A595857u);
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
