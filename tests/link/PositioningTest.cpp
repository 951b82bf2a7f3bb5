// Hand-pad speeds, the side-of-pier decision with its prompt kinds, the
// meridian-flip answers and the two-pass positioning.
#include <gtest/gtest.h>

#include <limits>

#include "link/LinkHarness.h"
#include "link/PositioningMath.h"

namespace kv7::test {
namespace {

using V = std::vector<std::uint32_t>;

std::int32_t speedOf(const Bytes& frame) { return readI32le(frame.data() + 5); }
std::int32_t raOf(const Bytes& frame) { return readI32le(frame.data() + 5); }
std::int32_t decOf(const Bytes& frame) { return readI32le(frame.data() + 9); }

// The site is chosen so the local sidereal time is exactly 10 h; targets are
// given as hour offsets from it.
constexpr double lst = 10.0;
std::uint32_t raForOffset(double hours) { return static_cast<std::uint32_t>((lst + hours) * 54000.0 + 0.5); }

struct Positioning : ::testing::Test {
    Positioning() : h(longitudeForExactLst(fixedInstant(), lst)) {}
    void connect(std::uint32_t raSteps = 2400000, std::uint32_t decSteps = 2400000)
    {
        h.connect(raSteps, decSteps);
        h.controller.respond(37, reply({}));
    }
    // Lets a positioning under way arrive: both axes at rest at the next
    // poll, the second pass, and the poll after it.
    void finishPositioning()
    {
        h.controller.respond(30, reply({30, 0, 0, 0}));
        h.tick(16);
        ASSERT_EQ(h.link.currentLinkState(), LinkState::Idle);
        h.controller.clearFrames();
    }
    void setSide(std::int32_t side)
    {
        h.link.pierSideAction(side == PierState::pierEast ? 1 : 3);
        h.settle();
        h.controller.clearFrames();
    }
    LinkHarness h;
};

TEST_F(Positioning, ManualSpeedsFollowTheTableAndThePowerCurve)
{
    connect();   // base 1000, factor 50: max 50000
    struct Case {
        std::uint8_t index;
        std::int32_t speed;
    };
    for (Case c : {Case{0, 328}, Case{2, 1000}, Case{6, 4000}, Case{7, 4368}, Case{10, 6944}, Case{31, 50000}}) {
        h.link.manualMove(3 - 1, c.index);   // west, RA: positive
        h.settle();
        EXPECT_EQ(speedOf(h.controller.lastFrame()), c.speed) << "index " << int(c.index);
        EXPECT_EQ(h.controller.lastFrame()[4], axisRa);
    }
    EXPECT_EQ(h.listener.statuses().back(), Status::ManualMovement);
    h.link.manualMove(3, 2);   // east: negative
    h.settle();
    EXPECT_EQ(speedOf(h.controller.lastFrame()), -1000);
    h.link.manualMove(7, 0);   // unknown direction: fallback base 200, no axis
    h.settle();
    EXPECT_EQ(h.controller.lastFrame()[4], 0);
    EXPECT_EQ(speedOf(h.controller.lastFrame()), 65);
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
}

TEST_F(Positioning, NorthAndSouthSwapOnTheEastSide)
{
    connect();
    setSide(PierState::pierWest);
    h.link.manualMove(0, 2);
    h.settle();
    EXPECT_EQ(speedOf(h.controller.lastFrame()), 1000);
    EXPECT_EQ(h.controller.lastFrame()[4], axisDec);
    setSide(PierState::pierEast);
    h.link.manualMove(0, 2);
    h.settle();
    EXPECT_EQ(speedOf(h.controller.lastFrame()), -1000);
    h.link.manualMove(1, 2);
    h.settle();
    EXPECT_EQ(speedOf(h.controller.lastFrame()), 1000);
}

TEST_F(Positioning, StopSelectsAxesAndReportsReady)
{
    connect();
    for (auto [mode, selector] : {std::pair{4, 192}, {1, 64}, {0, 64}, {2, 128}, {3, 128}, {9, 0}}) {
        h.link.stopMotion(static_cast<std::uint8_t>(mode));
        h.settle();
        EXPECT_TRUE(sameBytes(h.controller.lastFrame(), Bytes{0xAA, 3, 33, 0, static_cast<std::uint8_t>(selector)}));
    }
    EXPECT_EQ(h.listener.statuses(), V(6, Status::Ready));
}

TEST_F(Positioning, PromptKindsAtTheMeridianLimits)
{
    connect();
    struct Case {
        std::int32_t side;
        double offset;
        std::int32_t prompt;   // 0: positions at once
    };
    const Case cases[] = {
        {PierState::pierEast, -0.5, 0}, {PierState::pierEast, 0.0, 0},  {PierState::pierEast, 1.5, 3},
        {PierState::pierEast, 2.0, 3},  {PierState::pierEast, 2.5, 5},  {PierState::pierWest, 0.0, 0},
        {PierState::pierWest, 0.5, 0},  {PierState::pierWest, -2.0, 2}, {PierState::pierWest, -2.01, 4},
        {PierState::pierWest, -1.0, 2},
    };
    for (const Case& c : cases) {
        setSide(c.side);
        h.listener.clear();
        h.link.gotoTarget(raForOffset(c.offset), 0);
        h.settle();
        if (c.prompt == 0) {
            EXPECT_EQ(h.controller.frameCount(), 1u) << c.offset;
            EXPECT_EQ(h.listener.statuses(), (V{Status::Positioning})) << c.offset;
            EXPECT_TRUE(h.listener.prompts().empty()) << c.offset;
        } else {
            EXPECT_EQ(h.controller.frameCount(), 0u) << c.offset;
            EXPECT_EQ(h.listener.prompts(), (std::vector<std::int32_t>{c.prompt})) << c.offset;
        }
        if (c.prompt == 0)
            finishPositioning();
        h.controller.clearFrames();
    }
}

TEST_F(Positioning, TargetOnTheMeridianMatchesTheReferencePositions)
{
    connect(2400000, 2400000);
    setSide(PierState::pierEast);
    h.link.gotoTarget(raForOffset(0.0), 0);
    h.settle();
    EXPECT_EQ(raOf(h.controller.lastFrame()), -600000);
    EXPECT_EQ(decOf(h.controller.lastFrame()), 600000);

    finishPositioning();
    setSide(PierState::pierWest);
    h.link.gotoTarget(raForOffset(0.0), 0);
    h.settle();
    EXPECT_EQ(raOf(h.controller.lastFrame()), 600000);
    EXPECT_EQ(decOf(h.controller.lastFrame()), -600000);
    EXPECT_TRUE(h.link.usesWestGeometry());
}

TEST_F(Positioning, TwoPassesThenReady)
{
    connect();
    setSide(PierState::pierEast);
    h.controller.respond(30, reply({0, 0, 0, 0}));
    h.link.gotoTarget(raForOffset(-3.0), 45 * 3600);
    h.settle();
    const Bytes first = h.controller.lastFrame();
    EXPECT_EQ(raOf(first), -300000);              // -(d + 6) * 100000
    EXPECT_EQ(decOf(first), 300000);              // (90 - 45) * 100000 / 15
    EXPECT_EQ(h.link.currentGotoPass(), 0);

    h.tick(8);   // poll: at rest, so the second pass goes out
    auto f = h.controller.frames();
    ASSERT_EQ(f.size(), 3u);
    EXPECT_TRUE(sameBytes(f[1], unhex("AA 02 1E 01")));
    EXPECT_EQ(f[2][2], 37);
    EXPECT_EQ(decOf(f[2]), 300000);
    EXPECT_EQ(h.link.currentGotoPass(), 1);
    EXPECT_EQ(h.listener.statuses(), (V{Status::Positioning}));

    h.tick(8);
    EXPECT_EQ(h.listener.statuses(), (V{Status::Positioning, Status::Ready}));
    EXPECT_EQ(h.link.currentPierState(), PierState::pierEast);
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
}

TEST_F(Positioning, SecondPassAimsAtWhereTheTargetHasMoved)
{
    connect();
    setSide(PierState::pierEast);
    h.controller.respond(30, reply({0, 0, 0, 0}));
    h.link.gotoTarget(raForOffset(-3.0), 0);
    h.settle();
    h.clock.set(UtcTime{2024, 3, 20, 22, 10, 0});   // ten minutes of slewing
    h.tick(8);
    const std::int32_t secondRa = raOf(h.controller.lastFrame());
    // Ten minutes of clock move the sky by ~10.03 sidereal minutes: the
    // target is that much further west, so the RA position grows.
    EXPECT_NEAR(secondRa - (-300000), 100000 * (10.0 / 60.0) * 1.0027379, 30);
}

TEST_F(Positioning, StopDuringTheFirstPassKeepsTheCycleGoing)
{
    connect();
    setSide(PierState::pierEast);
    h.controller.respond(30, reply({0, 0, 0, 0}));
    h.link.gotoTarget(raForOffset(-1.0), 0);
    h.settle();
    h.link.stopMotion(4);
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 03 21 00 C0")));
    EXPECT_EQ(h.listener.statuses(), (V{Status::Positioning, Status::Ready}));
    h.tick(8);
    EXPECT_EQ(h.controller.lastFrame()[2], 37);   // second pass after all
    EXPECT_EQ(h.link.currentGotoPass(), 1);
}

TEST_F(Positioning, AbortStopsBothAxesAndEndsTheGoto)
{
    connect();
    setSide(PierState::pierEast);
    h.controller.respond(30, reply({0, 0, 0, 0}));
    h.link.gotoTarget(raForOffset(-1.0), 0);
    h.settle();
    h.link.stopMotion(StopAxes::Abort);
    h.settle();
    EXPECT_TRUE(sameBytes(h.controller.lastFrame(), unhex("AA 03 21 00 C0")));
    EXPECT_EQ(h.listener.statuses(), (V{Status::Positioning, Status::Ready}));
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
    h.controller.clearFrames();
    h.tick(16);
    for (const Bytes& frame : h.controller.frames())
        EXPECT_NE(frame[2], 37) << "a GOTO went out after the abort";
    EXPECT_EQ(h.listener.statuses(), (V{Status::Positioning, Status::Ready}));
}

TEST_F(Positioning, AnswerWithFlipChangesSidesAnswerWithoutKeepsIt)
{
    connect();
    setSide(PierState::pierEast);
    h.controller.respond(30, reply({0, 0, 0, 0}));
    h.link.gotoTarget(raForOffset(1.0), 0);
    h.settle();
    ASSERT_EQ(h.listener.prompts(), (std::vector<std::int32_t>{3}));
    EXPECT_EQ(h.controller.frameCount(), 0u);

    h.link.answerMeridianFlip(2);
    h.settle();
    EXPECT_EQ(h.link.currentPierState(), PierState::flippingToWest);
    EXPECT_TRUE(h.link.usesWestGeometry());
    EXPECT_EQ(raOf(h.controller.lastFrame()), 500000);   // (6 - 1) * 100000
    EXPECT_EQ(decOf(h.controller.lastFrame()), -600000);
    h.tick(16);
    EXPECT_EQ(h.link.currentPierState(), PierState::pierWest);
    EXPECT_EQ(h.listener.statuses().back(), Status::Ready);

    // On the west side now, a target 1 h past the meridian: answer 1 stays west.
    h.listener.clear();
    h.controller.clearFrames();
    h.link.gotoTarget(raForOffset(-1.0), 0);
    h.settle();
    ASSERT_EQ(h.listener.prompts(), (std::vector<std::int32_t>{2}));
    h.link.answerMeridianFlip(1);
    h.settle();
    EXPECT_EQ(h.link.currentPierState(), PierState::pierWest);
    EXPECT_EQ(raOf(h.controller.lastFrame()), 700000);   // (6 - (-1)) * 100000
}

TEST_F(Positioning, AnswerZeroDoesNothingAndGotoDuringAFlipPromptsKindOne)
{
    connect();
    setSide(PierState::pierEast);
    h.link.answerMeridianFlip(0);
    h.settle();
    EXPECT_EQ(h.controller.frameCount(), 0u);
    EXPECT_TRUE(h.listener.statuses().empty());

    h.link.pierSideAction(4);   // flip west under way
    h.settle();
    h.controller.clearFrames();
    h.link.gotoTarget(raForOffset(-1.0), 0);
    h.settle();
    EXPECT_EQ(h.listener.prompts(), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(h.controller.frameCount(), 0u);
}

TEST_F(Positioning, NewGotoDuringPositioningRestartsWithTheNewTarget)
{
    connect();
    setSide(PierState::pierWest);
    h.link.gotoTarget(raForOffset(1.0), 0);
    h.settle();
    h.link.gotoTarget(raForOffset(2.0), 10 * 3600);
    h.settle();
    EXPECT_EQ(h.controller.frameCount(), 2u);
    EXPECT_EQ(raOf(h.controller.lastFrame()), 400000);
    EXPECT_EQ(h.link.currentGotoPass(), 0);
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Pause);   // the go-to reply came; the poll follows
}

// A read used to move the link out of the positioning cycle: no second pass,
// no poll, "Positioning" for good. Whenever it is asked for, the cycle now
// ends with its second pass and "Ready", and the reading is answered.
TEST(PositioningCycle, AReadingNeverAbandonsIt)
{
    enum Moment { InPause, AwaitingGoToReply, AwaitingMotionStatus };
    for (Moment when : {InPause, AwaitingGoToReply, AwaitingMotionStatus}) {
        LinkHarness h(longitudeForExactLst(fixedInstant(), lst));
        h.connect(2400000, 2400000);
        h.controller.respond(37, reply({}));
        h.link.pierSideAction(1);
        h.settle();
        h.controller.clearFrames();
        h.controller.respond(30, reply({30, 0, 0, 0}));
        h.controller.respond(122, reply({122, 1, 0, 0, 0, 2, 0, 0, 0}));
        if (when == AwaitingGoToReply)
            h.controller.silence(37);
        if (when == AwaitingMotionStatus)
            h.controller.silence(30);
        h.link.gotoTarget(raForOffset(-3.0), 45 * 3600);
        h.settle();
        if (when == AwaitingMotionStatus)
            h.tick(8);   // the poll is out and unanswered
        h.link.readEncoders(0);
        h.settle();
        if (when == AwaitingGoToReply) {
            h.controller.inject(reply({37}));
            h.controller.respond(37, reply({37}));
        }
        if (when == AwaitingMotionStatus) {
            h.controller.inject(reply({30, 0, 0, 0}));
            h.controller.respond(30, reply({30, 0, 0, 0}));
        }
        h.settle();
        h.tick(20);
        ASSERT_EQ(h.listener.mountStates().size(), 1u) << when;
        EXPECT_EQ(h.listener.mountStates()[0].raEncoderPosition, 1u) << when;
        std::size_t gotos = 0;
        for (const Bytes& frame : h.controller.frames())
            gotos += frame[2] == 37;
        EXPECT_EQ(gotos, 2u) << when;
        EXPECT_EQ(h.listener.statuses(), (V{Status::Positioning, Status::Ready})) << when;
        EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle) << when;
    }
}

TEST_F(Positioning, CommandsThatWouldCutTheCycleShortAreRefused)
{
    connect();
    setSide(PierState::pierWest);
    h.link.gotoTarget(raForOffset(1.0), 0);
    h.settle();
    h.controller.clearFrames();
    h.listener.clear();
    h.link.setMotorReversal(1, 0);
    h.link.setEncoderFormat(0, 12, 25, 0, 0, 12, 25, 0);
    h.link.setEncoderCalibration(0, 1, 2);
    for (std::uint8_t action : {1, 2, 3, 4})
        h.link.pierSideAction(action);
    h.settle();
    EXPECT_EQ(h.controller.frameCount(), 0u);
    EXPECT_EQ(h.listener.statuses(), V(7, Status::BusyPositioning));
    EXPECT_EQ(h.link.currentPierState(), PierState::pierWest);
    finishPositioning();
}

TEST_F(Positioning, ACycleRidesOutLostRepliesAndGivesUpOnSilence)
{
    connect();
    setSide(PierState::pierEast);
    h.controller.respond(30, reply({30, 4, 4, 0}));   // still moving
    h.link.gotoTarget(raForOffset(-3.0), 0);
    h.settle();
    h.controller.silence(30);
    h.listener.clear();
    // Poll after 8 ticks, no answer for 12, pause 8, poll ... three misses.
    h.tick(8 + 12 + 8 + 12 + 8 + 11);
    EXPECT_TRUE(h.listener.statuses().empty());
    EXPECT_NE(h.link.currentLinkState(), LinkState::Idle);
    h.tick();
    EXPECT_EQ(h.listener.statuses(), (V{Status::NoReply}));
    EXPECT_EQ(h.link.currentLinkState(), LinkState::Idle);
}

TEST(PositioningMath, PositionsBeyondThe32BitRangeTakeTheNearestEnd)
{
    constexpr auto top = std::numeric_limits<std::int32_t>::max();
    constexpr auto bottom = std::numeric_limits<std::int32_t>::min();
    // Ordinary values truncate toward zero on both sides.
    AxisPositions p = skyTargetPositions(true, 1.5, 45.25, 1000.3, 999.7);
    EXPECT_EQ(p.ra, 4501);                 // (6 - 1.5) * 1000.3 = 4501.35
    EXPECT_EQ(p.dec, -2982);               // -(44.75 * 999.7 / 15) = -2982.4...
    // A controller reporting billions of microsteps per turn.
    p = skyTargetPositions(true, -5.0, -80.0, 4.0e9, 4.0e9);
    EXPECT_EQ(p.ra, top);
    EXPECT_EQ(p.dec, bottom);
    p = skyTargetPositions(false, 5.0, -80.0, 4.0e9, 4.0e9);
    EXPECT_EQ(p.ra, bottom);
    EXPECT_EQ(p.dec, top);
    // Nothing numeric at all gives 0, not whatever the hardware makes of it.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    p = skyTargetPositions(false, nan, nan, 1000.0, 1000.0);
    EXPECT_EQ(p.ra, 0);
    EXPECT_EQ(p.dec, 0);
}

}  // namespace
}  // namespace kv7::test
