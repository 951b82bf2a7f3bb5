// Commands once the link is ready: encoder readings, calibration, format,
// motor flags, tracking, store, pier-side actions, and the channel's own
// rules for malformed input.
#include <gtest/gtest.h>

#include "link/LinkHarness.h"

namespace kv7::test {
namespace {

using V = std::vector<std::uint32_t>;

Bytes encoderReply(std::uint32_t ra, std::uint32_t dec)
{
    Bytes payload{0};
    for (std::uint32_t v : {ra, dec})
        for (int i = 0; i < 4; ++i)
            payload.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    return reply(payload);
}

TEST(ChannelMessages, EveryOperationWritesItsExactMessage)
{
    LinkHarness h;
    struct Case {
        std::function<void(CommControl&)> call;
        const char* bytes;
    };
    const Case cases[] = {
        {[](CommControl& c) { c.readEncoders(0); }, "82 0B 00"},
        {[](CommControl& c) { c.manualMove(0, 10); }, "83 05 00 0A"},
        {[](CommControl& c) { c.onHeartBeat(); }, "A0 00"},
        {[](CommControl& c) { c.connect(0x103, 115200); }, "86 02 03 00 C2 01 00"},
        {[](CommControl& c) { c.disconnect(); }, "81 03"},
        {[](CommControl& c) { c.storeParameters(); }, "81 04"},
        {[](CommControl& c) { c.stopMotion(4); }, "82 06 04"},
        {[](CommControl& c) { c.setTracking(1); }, "82 07 01"},
        {[](CommControl& c) { c.setMotorReversal(2, 0x5A); }, "83 08 02 5A"},
        {[](CommControl& c) { c.pierSideAction(3); }, "82 09 03"},
        {[](CommControl& c) { c.setEncoderFormat(1, 2, 3, 4, 5, 6, 7, 8); }, "89 0A 01 02 03 04 05 06 07 08"},
        {[](CommControl& c) { c.syncToTarget(675000, -37800); }, "89 0D B8 4C 0A 00 58 6C FF FF"},
        {[](CommControl& c) { c.setEncoderCalibration(3, 1000, 0xDEADBEEF); }, "8A 0E 03 E8 03 00 00 EF BE AD DE"},
        {[](CommControl& c) { c.gotoTarget(675000, -37800); }, "89 0F B8 4C 0A 00 58 6C FF FF"},
        {[](CommControl& c) { c.answerMeridianFlip(0x0102); }, "83 10 02 01"},
    };
    for (const Case& c : cases) {
        c.call(h.link);
        std::uint8_t out[64];
        const std::size_t n = h.link.takeChannelBytes(out, sizeof out);
        EXPECT_TRUE(sameBytes(Bytes(out, out + n), unhex(c.bytes)));
    }
}

TEST(ChannelMessages, ReceivedBytesTravelInPiecesOfAtMost31)
{
    for (auto [received, headers] : {std::pair<std::size_t, Bytes>{100, {0xFF, 0xFF, 0xFF, 0xE7}},
                                     {31, {0xFF}},
                                     {32, {0xFF, 0xE1}},
                                     {1, {0xE1}}}) {
        LinkHarness h;
        h.connect();
        Bytes bytes(received);
        for (std::size_t i = 0; i < received; ++i)
            bytes[i] = static_cast<std::uint8_t>(i);
        h.controller.inject(bytes);
        EXPECT_EQ(h.link.pollSerial(), received);
        std::uint8_t out[256];
        const std::size_t n = h.link.takeChannelBytes(out, sizeof out);
        ASSERT_EQ(n, received + headers.size());
        Bytes seen;
        std::size_t payload = 0;
        for (std::size_t at = 0; at < n; at += 1 + (out[at] & 0x1F)) {
            seen.push_back(out[at]);
            for (std::size_t i = 1; i <= (out[at] & 0x1Fu); ++i)
                EXPECT_EQ(out[at + i], static_cast<std::uint8_t>(payload++));
        }
        EXPECT_TRUE(sameBytes(seen, headers)) << received << " bytes";
    }
}

TEST(ChannelMessages, MalformedInputIsDroppedSilently)
{
    LinkHarness h;
    // Stray bytes, a kind-2 message with its payload, a command with no
    // payload (takes one filler), codes 1 and 17, a heartbeat while closed.
    h.link.writeChannel(unhex("12 34 C2 81 03 80 00 81 01 81 11 A0 00").data(), 13);
    h.settle();
    EXPECT_TRUE(h.listener.statuses().empty());

    // The recovered stream still works: a real disconnect is answered.
    h.link.writeChannel(unhex("81 03").data(), 2);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NotConnectedYet}));
}

TEST(ChannelMessages, LoneHeartbeatHeaderSwallowsTheNextHeader)
{
    LinkHarness h;
    h.link.writeChannel(unhex("A0 81 03").data(), 3);   // 0x81 becomes the filler; 0x03 is stray
    h.settle();
    EXPECT_TRUE(h.listener.statuses().empty());
}

TEST(ChannelMessages, NoiseBeforeAHeaderIsSkippedAndTheCommandArrives)
{
    LinkHarness h;
    h.connect();
    h.link.writeChannel(unhex("12 34 83 05 00 0A").data(), 6);
    h.settle();
    ASSERT_EQ(h.controller.frameCount(), 1u);
    EXPECT_EQ(h.controller.lastFrame()[2], 35);   // MoveAtSpeed, north
    EXPECT_EQ(h.controller.lastFrame()[4], axisDec);
}

TEST(EncoderReading, DecodesCountsAndArcsecondsWith64BitArithmetic)
{
    LinkHarness h;
    h.connect();
    h.link.setEncoderFormat(0, 12, 25, 0, 0, 12, 25, 0);
    h.settle();
    h.controller.respond(122, encoderReply(16777216, 33554431));
    h.link.readEncoders(0);
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 02 7A 01")));
    ASSERT_EQ(h.listener.mountStates().size(), 1u);
    const MountState m = h.listener.mountStates()[0];
    EXPECT_EQ(m.valid, 1);
    EXPECT_EQ(m.raEncoderPosition, 16777216u);
    EXPECT_EQ(m.raEncoderArcsec, 648000u);
    EXPECT_EQ(m.decEncoderPosition, 33554431u);
    EXPECT_EQ(m.decEncoderArcsec, 1295999u);
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
}

TEST(EncoderReading, UsesTheCurrentBitsAndWrapsTheExponent)
{
    LinkHarness h;
    h.connect();
    h.link.setEncoderFormat(0, 0, 64 + 1, 0, 0, 0, 0, 0);   // 2^(65 mod 64) = 2; 2^0 = 1
    h.settle();
    h.controller.respond(122, encoderReply(3, 5));
    h.link.readEncoders(0);
    h.settle();
    ASSERT_EQ(h.listener.mountStates().size(), 1u);
    EXPECT_EQ(h.listener.mountStates()[0].raEncoderArcsec, 3u * 1296000 / 2);
    EXPECT_EQ(h.listener.mountStates()[0].decEncoderArcsec, static_cast<std::uint32_t>(5ull * 1296000));
}

TEST(EncoderReading, DiagnosticModesReportTheirValuesButAreNeverThePosition)
{
    // Both diagnostic modes answer in the plain reading's layout.
    const std::vector<std::uint8_t> payload = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    LinkHarness plain;
    plain.connect();
    plain.controller.respond(122, reply(payload));
    plain.link.readEncoders(ReadMode::Encoders);
    plain.settle();
    ASSERT_EQ(plain.listener.mountStates().size(), 1u);
    const MountState expected = plain.listener.mountStates().back();

    for (std::uint8_t mode : {ReadMode::Decoded, ReadMode::RawBits}) {
        SCOPED_TRACE(int{mode});
        LinkHarness h;
        h.connect();
        const std::uint8_t code = mode == ReadMode::Decoded ? 125 : 126;
        h.controller.respond(code, reply(payload));
        h.link.readEncoders(mode);
        h.settle();
        EXPECT_EQ(h.controller.lastFrame()[2], code);
        ASSERT_EQ(h.listener.mountStates().size(), 1u);
        EXPECT_EQ(h.listener.mountStates().back().raEncoderPosition, expected.raEncoderPosition);
        EXPECT_EQ(h.listener.mountStates().back().decEncoderPosition, expected.decEncoderPosition);
        EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
        // Nothing to sync the motors from: no plain reading was taken.
        h.link.syncToEncoders();
        h.settle();
        EXPECT_EQ(h.listener.statuses().back(), Status::NoFreshReading);
    }

    LinkHarness h;
    h.connect();
    h.controller.clearFrames();
    h.link.readEncoders(4);   // unknown mode: nothing sent, nothing awaited
    h.settle();
    EXPECT_EQ(h.controller.frameCount(), 0u);
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
}

TEST(EncoderReading, OnlyAReplyThatHoldsAReadingIsTakenForOne)
{
    // A short frame or a motion-status reply used to come out as a "valid"
    // reading (counts 0, or 263168).
    for (const char* stray : {"55 01 7A", "55 04 1E 00 04 04", "55 00"}) {
        LinkHarness h;
        h.connect();
        h.controller.silence(122);
        h.link.readEncoders(0);
        h.settle();
        h.controller.inject(unhex(stray));
        h.settle();
        EXPECT_TRUE(h.listener.mountStates().empty()) << stray;
        EXPECT_EQ(h.link.currentLinkState(), LinkState::AwaitEncoderReading) << stray;

        h.controller.inject(encoderReply(0x11111111, 0x22222222));
        h.settle();
        ASSERT_EQ(h.listener.mountStates().size(), 1u) << stray;
        EXPECT_EQ(h.listener.mountStates()[0].raEncoderPosition, 0x11111111u) << stray;
        EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle) << stray;
    }
}

TEST(EncoderReading, AMissingReplyTimesOutWithAStatus)
{
    LinkHarness h;
    h.connect();
    h.controller.silence(122);
    h.link.readEncoders(0);
    h.settle();
    h.tick(11);
    EXPECT_TRUE(h.listener.statuses().empty());
    h.tick();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NoReply}));
    EXPECT_TRUE(h.listener.mountStates().empty());
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
}

TEST(EncoderReading, ARequestWhileAReplyIsAwaitedWaitsItsTurn)
{
    LinkHarness h;
    h.connect();
    h.controller.respond(122, encoderReply(7, 8));
    h.controller.silence(124);
    h.link.setEncoderCalibration(0, 5, 6);
    h.link.readEncoders(0);
    h.settle();
    ASSERT_EQ(h.controller.frameCount(), 1u);   // only the calibration is out
    h.controller.inject(reply({124}));
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::CalibrationUpdated}));
    ASSERT_EQ(h.listener.mountStates().size(), 1u);
    EXPECT_EQ(h.listener.mountStates()[0].raEncoderPosition, 7u);
}

TEST(Settings, CalibrationFormatMotorFlagsAndTrackingFrames)
{
    LinkHarness h;
    h.connect();
    h.controller.respond(124, reply({}));
    h.link.setEncoderCalibration(1, 1000, 0);
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.frames()[0], unhex("AA 0B 7C 01 01 E8 03 00 00 00 00 00 00")));
    EXPECT_EQ(h.listener.statuses(), (V{Status::CalibrationUpdated}));
    EXPECT_EQ(h.link.linkAxisConfiguration().raEncoderOffset, 1000u);

    h.controller.clearFrames();
    h.link.setEncoderFormat(0, 12, 25, 0, 0, 12, 25, 0);
    h.link.setMotorReversal(2, 0x5A);
    h.link.setTracking(1);
    h.link.setTracking(0);
    h.link.stopMotion(4);
    h.settle();
    const auto f = h.controller.frames();
    ASSERT_EQ(f.size(), 5u);
    EXPECT_TRUE(sameBytes(f[0], unhex("AA 0A 18 01 00 0C 19 00 00 0C 19 00")));
    EXPECT_TRUE(sameBytes(f[1], unhex("AA 05 32 00 C0 02 5A")));
    EXPECT_TRUE(sameBytes(f[2], unhex("AA 03 24 00 01")));
    EXPECT_TRUE(sameBytes(f[3], unhex("AA 03 24 00 00")));
    EXPECT_TRUE(sameBytes(f[4], unhex("AA 03 21 00 C0")));
    EXPECT_EQ(h.link.linkAxisConfiguration().encoderFormat, EncoderFormat{});
}

TEST(Settings, StoreOnlyFromIdle)
{
    LinkHarness h;
    h.connect();
    h.controller.respond(13, reply({}));
    h.link.storeParameters();
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 02 0D 01")));
    EXPECT_EQ(h.listener.statuses(), (V{Status::ParametersStored}));

    // During a flip the link awaits positions: store is refused, nothing sent.
    h.controller.clearFrames();
    h.listener.clear();
    h.link.pierSideAction(2);
    h.link.storeParameters();
    h.settle();
    ASSERT_EQ(h.controller.frameCount(), 1u);
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 03 1F 01 C0")));
    EXPECT_EQ(h.listener.statuses(), (V{Status::CommunicationError}));

    // The flip cannot be cut short by the motor flags; when its positions
    // never come, it gives up and store works again.
    h.listener.clear();
    h.link.setMotorReversal(0, 0);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::BusyPositioning}));
    h.tick(12);
    EXPECT_EQ(h.listener.statuses().back(), Status::NoReply);
    EXPECT_EQ(h.link.currentPierState(), PierState::pierEast);
    h.link.storeParameters();
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 02 0D 01")));
}

TEST(Settings, AStoreTheControllerCouldNotKeepIsReported)
{
    struct Case {
        const char* answer;
        std::uint32_t status;
    };
    for (const Case& c : {Case{"55 01 0D", Status::ParametersStored}, Case{"55 00", Status::ParametersStored},
                          Case{"55 02 0D 00", Status::ParametersStored}, Case{"55 02 0D 01", Status::StoreFailed}}) {
        LinkHarness h;
        h.connect();
        h.controller.respond(13, unhex(c.answer));
        h.link.storeParameters();
        h.settle();
        EXPECT_EQ(h.listener.statuses(), (V{c.status})) << c.answer;
    }
}

TEST(PierSide, SetEastAndWestWriteTheReferencePositions)
{
    LinkHarness h;
    h.connect(2000000, 1000000);
    h.link.pierSideAction(3);
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 0B 20 01 C0 20 A1 07 00 70 2F FC FF")));
    EXPECT_EQ(h.link.currentPierState(), PierState::pierWest);
    h.link.pierSideAction(1);
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 0B 20 01 C0 E0 5E F8 FF 90 D0 03 00")));
    EXPECT_EQ(h.link.currentPierState(), PierState::pierEast);
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
    EXPECT_TRUE(h.listener.statuses().empty());

    h.link.pierSideAction(9);
    h.settle();
    EXPECT_EQ(h.controller.frameCount(), 2u);
}

TEST(PierSide, FlipEastGoesHalfATurnOverAndSettlesEast)
{
    LinkHarness h;
    h.connect(2000000, 1000000);
    Bytes positions(12, 0);
    positions[4] = 0xA0;   // RA 100000 at bytes 6..9
    positions[5] = 0x86;
    positions[6] = 0x01;
    positions[8] = 0x50;   // Dec 50000 at bytes 10..13
    positions[9] = 0xC3;
    h.controller.respond(31, reply(positions));
    h.controller.respond(37, reply({}));
    h.controller.respond(30, reply({0, 0, 3, 0}));
    h.link.pierSideAction(2);
    h.settle();
    EXPECT_EQ(h.link.currentPierState(), PierState::flippingToEast);
    const auto f = h.controller.frames();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_TRUE(sameBytes(f[0], unhex("AA 03 1F 01 C0")));
    // RA 100000 - 1000000 = -900000, Dec -50000.
    EXPECT_TRUE(sameBytes(f[1], unhex("AA 0B 25 01 C0 60 44 F2 FF B0 3C FF FF")));

    // Still moving after eight ticks: another pause, another poll.
    h.tick(7);
    EXPECT_EQ(h.controller.frameCount(), 2u);
    h.tick();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 02 1E 01")));
    h.controller.clearScript();
    h.controller.respond(30, reply({0, 0, 2, 1}));
    h.tick(8);
    EXPECT_EQ(h.controller.frameCount(), 4u);   // one pass only for a flip
    EXPECT_EQ(h.link.currentPierState(), PierState::pierEast);
    EXPECT_EQ(h.listener.statuses(), (V{Status::Ready}));
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
}

TEST(Shutdown, StopsWithoutSendingAnything)
{
    LinkHarness h;
    h.connect();
    h.link.stopThreads();
    EXPECT_EQ(h.controller.frameCount(), 0u);
    EXPECT_TRUE(h.listener.statuses().empty());
    EXPECT_FALSE(h.controller.isOpen());
    h.link.stopThreads();   // a second stop is harmless
}

}  // namespace
}  // namespace kv7::test
