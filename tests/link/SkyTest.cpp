// Reading the motor axes, where they point in the sky, and the two syncs:
// at a frozen clock, so positions and sky coordinates are exact.
#include <gtest/gtest.h>

#include <cstdlib>

#include "link/LinkHarness.h"

namespace kv7::test {
namespace {

using V = std::vector<std::uint32_t>;

constexpr double lst = 10.0;   // hours, at the harness's fixed instant

std::int32_t raOf(const Bytes& frame) { return readI32le(frame.data() + 5); }
std::int32_t decOf(const Bytes& frame) { return readI32le(frame.data() + 9); }

// A controller that reports the axes where the last go-to or set sent them.
Bytes axesReply(std::int32_t ra, std::int32_t dec, std::uint8_t motion = 0)
{
    Bytes r = unhex("55 0C 1F C0 00 00 00 00 00 00 00 00 00 00");
    r[4] = r[5] = motion;
    writeU32le(r.data() + 6, static_cast<std::uint32_t>(ra));
    writeU32le(r.data() + 10, static_cast<std::uint32_t>(dec));
    return r;
}

struct Sky : ::testing::Test {
    Sky() : h(longitudeForExactLst(fixedInstant(), lst))
    {
        h.connect(2400000, 2400000);
        h.controller.respond(37, reply({37}));
    }
    void setSide(std::uint8_t action)
    {
        h.link.pierSideAction(action);
        h.settle();
        h.controller.clearFrames();
        h.listener.clear();
    }
    MountState readAxes()
    {
        const std::size_t before = h.listener.mountStates().size();
        h.link.readEncoders(ReadMode::Axes);
        h.settle();
        EXPECT_EQ(h.listener.mountStates().size(), before + 1);
        return h.listener.mountStates().empty() ? MountState{} : h.listener.mountStates().back();
    }
    LinkHarness h;
};

TEST_F(Sky, ReadingTheAxesGivesPositionsMotionAndSide)
{
    setSide(PierAction::SetWest);
    h.controller.respond(31, axesReply(600000, -600000, 4));
    const MountState m = readAxes();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 03 1F 01 C0")));
    EXPECT_EQ(m.axesValid, 1);
    EXPECT_EQ(m.raAxisPosition, 600000);
    EXPECT_EQ(m.decAxisPosition, -600000);
    EXPECT_EQ(m.raMotionStatus, 4);
    EXPECT_EQ(m.pierState, PierState::pierWest);
    // The west reference position is the meridian at Dec 0.
    EXPECT_EQ(m.skyValid, 1);
    EXPECT_EQ(m.raArcsec, static_cast<std::uint32_t>(lst * 54000));
    EXPECT_EQ(m.decArcsec, 0);
    EXPECT_EQ(m.valid, 0);   // no encoder reading was taken
}

TEST_F(Sky, AxesPastThePoleGiveNoSkyPosition)
{
    setSide(PierAction::SetWest);
    // 2400000 steps a turn: 1.2e6 steps past the pole is 180 degrees there.
    for (std::int32_t dec : {1200000, -2000000000}) {
        h.controller.silence(31);
        h.controller.respond(31, axesReply(0, dec));
        const MountState m = readAxes();
        EXPECT_EQ(m.axesValid, 1) << dec;
        EXPECT_EQ(m.skyValid, 0) << dec;
    }
}

// GOTO to a target, read where the axes went, and the sky position is the
// target again: what "Target GET" shows, so a later GOTO returns there.
TEST_F(Sky, WhereTheAxesPointIsTheTargetTheyWereSentTo)
{
    struct Case {
        std::uint8_t side;
        double offsetHours;
        std::int32_t decArcsec;
    };
    for (const Case& c : {Case{PierAction::SetWest, 1.5, 45 * 3600 + 12}, Case{PierAction::SetEast, -2.25, -30 * 3600},
                          Case{PierAction::SetWest, 0.0, 89 * 3600}}) {
        setSide(c.side);
        const auto ra = static_cast<std::uint32_t>((lst + c.offsetHours) * 54000 + 0.5);
        h.link.gotoTarget(ra, c.decArcsec);
        h.settle();
        const Bytes go = h.controller.lastFrame();
        ASSERT_EQ(go[2], 37);
        h.controller.silence(31);
        h.controller.respond(31, axesReply(raOf(go), decOf(go)));
        h.controller.respond(30, reply({30, 0, 0, 0}));
        h.tick(16);   // both passes arrive
        const MountState m = readAxes();
        ASSERT_EQ(m.skyValid, 1);
        EXPECT_LE(std::abs(static_cast<std::int64_t>(m.raArcsec) - ra), 1) << c.offsetHours;
        EXPECT_LE(std::abs(m.decArcsec - c.decArcsec), 1) << c.offsetHours;
    }
}

// An axes reading still out when the encoders are asked for: its reply is
// longer than an encoder reading and used to be read as one.
TEST_F(Sky, AnotherKindOfReadingWaitsForTheOneOut)
{
    setSide(PierAction::SetWest);
    h.controller.silence(31);
    h.controller.respond(122, unhex("55 09 7A 07 00 00 00 08 00 00 00"));
    h.link.readEncoders(ReadMode::Axes);
    h.link.readEncoders(ReadMode::Encoders);
    h.settle();
    ASSERT_EQ(h.controller.frameCount(), 1u);   // only the axes request is out
    h.controller.inject(axesReply(600000, -600000));
    h.settle();
    ASSERT_EQ(h.listener.mountStates().size(), 2u);
    EXPECT_EQ(h.listener.mountStates()[0].raAxisPosition, 600000);
    EXPECT_EQ(h.listener.mountStates()[0].valid, 0);
    EXPECT_EQ(h.listener.mountStates()[1].raEncoderPosition, 7u);
}

TEST_F(Sky, SyncToTargetSetsTheAxesAGoToThereWouldReach)
{
    setSide(PierAction::SetEast);
    const auto ra = static_cast<std::uint32_t>((lst - 1.0) * 54000);
    h.link.syncToTarget(ra, 20 * 3600);
    h.settle();
    const Bytes sync = h.controller.lastFrame();
    ASSERT_EQ(sync[2], 32);   // SetAxisPositions
    EXPECT_EQ(h.listener.statuses(), (V{Status::SyncedToTarget}));

    // A GOTO to the synced target now moves by less than one step.
    h.controller.clearFrames();
    h.link.gotoTarget(ra, 20 * 3600);
    h.settle();
    const Bytes go = h.controller.lastFrame();
    EXPECT_LE(std::abs(raOf(go) - raOf(sync)), 1);
    EXPECT_LE(std::abs(decOf(go) - decOf(sync)), 1);
}

TEST_F(Sky, SyncToTargetNeedsASettledSide)
{
    // A flip whose go-to was never answered leaves the side unknown: the
    // operator is asked to settle it first.
    h.controller.respond(31, axesReply(0, 0));
    h.controller.silence(37);
    h.link.pierSideAction(PierAction::FlipWest);
    h.settle();
    h.tick(60);
    ASSERT_EQ(h.link.currentLinkState(), LinkState::Idle);
    ASSERT_EQ(h.link.currentPierState(), PierState::flippingToWest);
    h.controller.clearFrames();
    h.link.syncToTarget(0, 0);
    h.settle();
    EXPECT_EQ(h.listener.prompts(), (std::vector<std::int32_t>{FlipPrompt::PierUnsettled}));

}

TEST_F(Sky, NeitherSyncCutsAPositioningShort)
{
    setSide(PierAction::SetWest);
    h.link.gotoTarget(static_cast<std::uint32_t>(lst * 54000), 0);
    h.settle();
    h.controller.clearFrames();
    h.listener.clear();
    h.link.syncToTarget(0, 0);
    h.link.syncToEncoders();
    h.settle();
    EXPECT_EQ(h.controller.frameCount(), 0u);
    EXPECT_EQ(h.listener.statuses(), V(2, Status::BusyPositioning));
}

TEST_F(Sky, SyncToEncodersTakesOnlyAFreshReading)
{
    setSide(PierAction::SetWest);
    h.link.syncToEncoders();
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NoFreshReading}));
    EXPECT_EQ(h.controller.frameCount(), 0u);

    // The controller decodes 24 bits a turn on RA and 22 on Dec: a quarter
    // turn on RA, three quarters (a quarter the other way) on Dec.
    h.controller.respond(122, unhex("55 09 7A 00 00 40 00 00 00 30 00"));
    h.link.readEncoders(ReadMode::Encoders);
    h.settle();
    h.listener.clear();
    h.controller.clearFrames();
    h.link.syncToEncoders();
    h.settle();
    ASSERT_EQ(h.controller.frameCount(), 1u);
    EXPECT_EQ(raOf(h.controller.lastFrame()), 600000);
    EXPECT_EQ(decOf(h.controller.lastFrame()), -600000);
    EXPECT_EQ(h.listener.statuses(), (V{Status::SyncedToEncoders}));

    h.tick(9);   // the reading is now stale
    h.listener.clear();
    h.link.syncToEncoders();
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NoFreshReading}));
}

}  // namespace
}  // namespace kv7::test
