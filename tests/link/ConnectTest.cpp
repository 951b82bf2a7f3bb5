// Connect, disconnect and the connect sequence, frame by frame.
#include <gtest/gtest.h>

#include "link/LinkHarness.h"

namespace kv7::test {
namespace {

using V = std::vector<std::uint32_t>;

TEST(Connect, PortThatCannotOpenReportsOpeningThenCannotOpen)
{
    LinkHarness h;
    h.link.connect(7, 9600);   // no such port in the catalogue
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::OpeningPort, Status::CannotOpenPort}));
    EXPECT_FALSE(h.link.isPortOpen());

    h.controller.setOpenResult(false);
    h.listener.clear();
    h.link.connect(1, 9600);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::OpeningPort, Status::CannotOpenPort}));
    EXPECT_FALSE(h.link.isPortOpen());
}

TEST(Connect, SimulatedPortReportsTestingInPlaceOfOpening)
{
    FakeController sim;   // outlives the link, which closes it
    LinkHarness h;
    h.catalog.add(0, &sim, "sim", true);
    h.link.connect(0, 115200);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::TestingWithoutPort, Status::Connecting}));
    EXPECT_EQ(sim.lastBaud(), 115200u);
    EXPECT_EQ(sim.lastDevice(), "sim");
}

TEST(Connect, SequenceRunsFrameByFrameAndDeliversTheConfiguration)
{
    LinkHarness h;
    h.controller.scriptConnect(2000000, 1000000, 1000, 800, 50);
    h.link.connect(1, 115200);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::OpeningPort, Status::Connecting}));
    EXPECT_EQ(h.controller.lastBaud(), 115200u);
    ASSERT_EQ(h.controller.frameCount(), 1u);
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 01 01")));

    // Identify accepted: a pause of two ticks before the next request.
    h.tick();
    EXPECT_EQ(h.controller.frameCount(), 1u);
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Pause);
    h.tick();

    const auto frames = h.controller.frames();
    const char* expected[] = {"AA 01 01", "AA 01 03", "AA 01 02", "AA 01 14", "AA 01 15", "AA 01 17", "AA 01 7B"};
    ASSERT_EQ(frames.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_TRUE(sameBytes(frames[i], unhex(expected[i]))) << "request " << i;

    ASSERT_EQ(h.listener.configurations().size(), 1u);
    const auto c = h.listener.configurations()[0];
    EXPECT_EQ(c.status, Status::ConnectionEstablished);
    EXPECT_EQ(c.extra, 1u);
    EXPECT_TRUE(h.link.isLinkReady());
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);

    const ControllerParameters& p = c.parameters;
    EXPECT_EQ(p.startCode, 7);
    EXPECT_EQ(p.deviceId, 0x01020007u);
    EXPECT_EQ(p.deviceByte, 0x21);
    EXPECT_EQ(p.deviceWord, 0x12345678u);
    EXPECT_EQ(p.raAxisByte, 0x11);
    EXPECT_EQ(p.decAxisByte, 0x22);
    EXPECT_EQ(p.raGearRatio, 144u);
    EXPECT_EQ(p.decGearRatio, 180u);
    EXPECT_EQ(p.raMicrosteps, 2000000u);
    EXPECT_EQ(p.decMicrosteps, 1000000u);
    EXPECT_EQ(p.raBaseSpeed, 1000u);
    EXPECT_EQ(p.decBaseSpeed, 800u);
    EXPECT_EQ(p.raSpeedFactor, 50u);
    EXPECT_EQ(p.decSpeedFactor, 50u);
    EXPECT_EQ(p.raMaxSpeed, 50000u);
    EXPECT_EQ(p.decMaxSpeed, 40000u);
    EXPECT_EQ(p.reverseMotorBits, 2);
    EXPECT_EQ(p.motorExtraByte, 0x5A);
    // The opaque settings land in their fields, RA block then Dec block.
    EXPECT_EQ(p.motorSettingG[0], 0x32);
    EXPECT_EQ(p.motorSettingA[0], 0x3433);
    EXPECT_EQ(p.motorSettingsB[1][2], 0x7A79);
    EXPECT_EQ(p.motorSettingsC[0][0], 0x3B);
    EXPECT_EQ(p.motorSettingsE[0][1], 0x3F);
    EXPECT_EQ(p.motorSettingsD[1][0], 0x80);
    EXPECT_EQ(p.motorSettingsF[0][1], 0x4544);
    EXPECT_EQ(p.motorSettingH[1], 0x86);
    EXPECT_EQ(p.motorSettingI[0], 0x4A494847u);

    const AxisConfiguration& a = c.axes;
    EXPECT_EQ(a.encoderFormat, (EncoderFormat{2, 1, 12, 24, 0, 10, 22, 0}));
    EXPECT_EQ(a.raEncoderResolution, 1u << 24);
    EXPECT_EQ(a.decEncoderResolution, 1u << 22);
    EXPECT_EQ(a.reverseEncoderBits, 1);
    EXPECT_EQ(a.raEncoderOffset, 1000u);
    EXPECT_EQ(a.decEncoderOffset, 2000u);
}

TEST(Connect, CommandsBeforeTheSequenceEndsAreRefused)
{
    LinkHarness h;
    h.link.readEncoders(0);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NotConnectedYet}));

    h.controller.scriptConnect();
    h.link.connect(1, 9600);
    h.settle();
    h.listener.clear();
    h.link.readEncoders(0);   // port open, sequence still pausing
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NotConnectedYet}));
    EXPECT_EQ(h.controller.frameCount(), 1u);
}

TEST(Connect, SecondConnectIsRefusedAndDisconnectCloses)
{
    LinkHarness h;
    h.connect();
    h.link.connect(1, 9600);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::AlreadyConnected}));
    EXPECT_TRUE(h.controller.isOpen());

    h.listener.clear();
    h.link.disconnect();
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::ConnectionClosed}));
    EXPECT_FALSE(h.controller.isOpen());
    EXPECT_FALSE(h.link.isPortOpen());
    EXPECT_FALSE(h.link.isLinkReady());
    EXPECT_EQ(h.controller.frameCount(), 0u);   // closing sends nothing

    h.listener.clear();
    h.link.disconnect();
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NotConnectedYet}));
}

TEST(Connect, IdentifyRejectedClosesThePort)
{
    for (const char* answer : {"55 04 01 00 00 00", "55 05 02 00 00 00 00", "55 06 01 00 00 00 00 00"}) {
        LinkHarness h;
        h.controller.respond(1, unhex(answer));
        h.link.connect(1, 9600);
        h.settle();
        EXPECT_EQ(h.listener.statuses(), (V{Status::OpeningPort, Status::Connecting, Status::NotSupportedDevice}))
            << answer;
        EXPECT_FALSE(h.link.isPortOpen()) << answer;
        EXPECT_FALSE(h.controller.isOpen()) << answer;
        EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
    }
}

TEST(Connect, SilentControllerTimesOutOnTheFortiethTick)
{
    LinkHarness h;
    h.link.connect(1, 9600);
    h.settle();
    h.tick(39);
    EXPECT_TRUE(h.link.isPortOpen());
    EXPECT_EQ(h.listener.statuses().size(), 2u);
    h.tick();
    EXPECT_EQ(h.listener.statuses(), (V{Status::OpeningPort, Status::Connecting, Status::CannotConnect}));
    EXPECT_FALSE(h.link.isPortOpen());
    EXPECT_FALSE(h.controller.isOpen());
    EXPECT_EQ(h.link.currentLinkState(), LinkState::AwaitIdentity);   // the time-out leaves the state

    // Ticks with the port closed count nothing.
    h.listener.clear();
    h.tick(50);
    EXPECT_TRUE(h.listener.statuses().empty());
}

TEST(Connect, TimeOutCoversEveryStepOfTheSequence)
{
    // Silence at the last request used to leave the link "Connecting..."
    // for good; silence at an earlier one times out as it always did.
    for (std::uint8_t silent : {std::uint8_t{123}, std::uint8_t{3}}) {
        LinkHarness h;
        h.controller.scriptConnect();
        h.controller.silence(silent);
        h.link.connect(1, 9600);
        h.settle();
        h.tick(39);
        EXPECT_TRUE(h.link.isPortOpen()) << int(silent);
        h.tick();
        EXPECT_FALSE(h.link.isPortOpen()) << int(silent);
        EXPECT_FALSE(h.link.isLinkReady()) << int(silent);
        EXPECT_EQ(h.listener.statuses(), (V{Status::OpeningPort, Status::Connecting, Status::CannotConnect}))
            << int(silent);
    }
}

TEST(Connect, ShortDeviceByteRepliesReadAsZero)
{
    for (const char* answer : {"55 00", "55 01 77"}) {
        LinkHarness h;
        h.controller.scriptConnect();
        // An earlier long frame leaves bytes in the reply buffer.
        h.controller.clearScript();
        h.controller.scriptConnect();
        h.controller.respondOnce(1, unhex("55 05 01 AA BB CC DD"));
        h.controller.clearScript();
        h.controller.scriptConnect();
        h.controller.silence(3);
        h.controller.respond(3, unhex(answer));
        h.link.connect(1, 9600);
        h.settle();
        h.tick(2);
        ASSERT_EQ(h.listener.configurations().size(), 1u) << answer;
        EXPECT_EQ(h.listener.configurations()[0].parameters.deviceByte, 0) << answer;
    }
}

TEST(Connect, ReconnectStartsAFreshSequence)
{
    LinkHarness h;
    h.connect();
    h.link.disconnect();
    h.settle();
    h.listener.clear();
    h.link.connect(1, 9600);
    h.settle();
    h.tick(2);
    EXPECT_EQ(h.controller.openCount(), 2);
    EXPECT_EQ(h.listener.configurations().size(), 1u);
    EXPECT_TRUE(h.link.isLinkReady());
}

}  // namespace
}  // namespace kv7::test
