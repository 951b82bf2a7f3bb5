// The mount moves like a mount: speeds with a finite acceleration, go-tos
// at the maximum speed that arrive exactly, sidereal tracking, stops, and
// motion status above 2 exactly while an axis moves.
#include <gtest/gtest.h>

#include <cmath>

#include "SimTestUtil.h"

namespace kv7::sim::test {
namespace {

void send(VirtualController& c, const Bytes& frame) { c.receive(frame.data(), frame.size()); }

TEST(Motion, MoveAtSpeedRampsUpHoldsAndStops)
{
    VirtualController c;
    const double accel = c.settings().dec.acceleration;
    send(c, frameSpeed(axisDec, -4000));

    double previous = c.axisVelocity(Axis::Dec);
    for (int i = 0; i < 100; ++i) {   // one second in 10 ms steps
        c.advance(0.01);
        const double v = c.axisVelocity(Axis::Dec);
        EXPECT_LE(std::fabs(v - previous), accel * 0.01 + 1e-6) << "speed jumped at step " << i;
        previous = v;
    }
    EXPECT_DOUBLE_EQ(c.axisVelocity(Axis::Dec), -4000.0);
    EXPECT_EQ(c.motionStatus(Axis::Dec), MotionStatus::Moving);
    EXPECT_EQ(c.motionStatus(Axis::Ra), MotionStatus::Stopped);

    // Cruising: exactly the commanded microsteps per second.
    const std::int32_t before = c.axisPosition(Axis::Dec);
    c.advance(10.0);
    EXPECT_EQ(c.axisPosition(Axis::Dec) - before, -40000);

    send(c, frameByteByte(DeviceCommand::StopAxes, 0, axisDec));
    EXPECT_GT(c.motionStatus(Axis::Dec), 2);   // braking is still moving
    c.advance(4000.0 / accel + 0.02);
    EXPECT_EQ(c.motionStatus(Axis::Dec), MotionStatus::Stopped);
    EXPECT_EQ(c.axisVelocity(Axis::Dec), 0.0);
}

TEST(Motion, StopSelectsAxes)
{
    VirtualController c;
    send(c, frameSpeed(axisRa, 1000));
    send(c, frameSpeed(axisDec, 1000));
    c.advance(1.0);
    send(c, frameByteByte(DeviceCommand::StopAxes, 0, axisRa));
    c.advance(1.0);
    EXPECT_EQ(c.motionStatus(Axis::Ra), MotionStatus::Stopped);
    EXPECT_EQ(c.motionStatus(Axis::Dec), MotionStatus::Moving);
    send(c, frameByteByte(DeviceCommand::StopAxes, 0, 0));   // no axis: nothing stops
    c.advance(1.0);
    EXPECT_EQ(c.motionStatus(Axis::Dec), MotionStatus::Moving);
    send(c, frameByteByte(DeviceCommand::StopAxes, 0, axisBoth));
    c.advance(1.0);
    EXPECT_EQ(c.motionStatus(Axis::Dec), MotionStatus::Stopped);
}

TEST(Motion, GoToSlewsAtMaximumSpeedAndArrivesExactly)
{
    VirtualController c;
    const AxisSettings& ra = c.settings().ra;
    const double vmax = double(ra.baseSpeed) * ra.speedFactor;
    const double accel = ra.acceleration;
    const std::int32_t raTarget = -static_cast<std::int32_t>(ra.microsteps / 4);   // a quarter turn
    const std::int32_t decTarget = 12345;
    EXPECT_EQ(transact(c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisBoth, raTarget, decTarget)).size(),
              1u);

    double fastest = 0.0;
    double elapsed = 0.0;
    while (c.motionStatus(Axis::Ra) > 2 && elapsed < 600.0) {
        EXPECT_GT(c.motionStatus(Axis::Ra), 2);
        c.advance(0.1);
        elapsed += 0.1;
        fastest = std::max(fastest, std::fabs(c.axisVelocity(Axis::Ra)));
    }
    EXPECT_EQ(c.axisPosition(Axis::Ra), raTarget);
    EXPECT_EQ(c.axisPosition(Axis::Dec), decTarget);
    EXPECT_EQ(c.motionStatus(Axis::Ra), MotionStatus::Arrived);
    EXPECT_EQ(c.motionStatus(Axis::Dec), MotionStatus::Arrived);
    EXPECT_LE(fastest, vmax + 1e-6);
    EXPECT_GE(fastest, vmax * 0.999);
    // A trapezoid: the cruise time plus one ramp's worth, within a step.
    const double ideal = std::fabs(raTarget) / vmax + vmax / accel;
    EXPECT_NEAR(elapsed, ideal, 0.25);
    EXPECT_GT(elapsed, 20.0);   // tens of seconds for a quarter turn
    EXPECT_LT(elapsed, 60.0);
}

TEST(Motion, GoToRetargetedWhileMovingTurnsBack)
{
    VirtualController c;
    transact(c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisBoth, 500000, 0));
    c.advance(5.0);
    ASSERT_GT(c.axisVelocity(Axis::Ra), 0.0);
    transact(c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisRa, -20000, 0));
    c.advance(60.0);
    EXPECT_EQ(c.axisPosition(Axis::Ra), -20000);
    EXPECT_LE(c.motionStatus(Axis::Ra), 2);
}

TEST(Motion, TrackingTurnsRaOnceASiderealDay)
{
    VirtualController c;
    const double microsteps = c.settings().ra.microsteps;
    send(c, frameByteByte(DeviceCommand::SetTrackingMode, 0, 1));
    EXPECT_LE(c.motionStatus(Axis::Ra), 2);   // tracking counts as at rest for a go-to
    EXPECT_EQ(c.motionStatus(Axis::Ra), MotionStatus::Tracking);

    c.advance(3600.0);
    EXPECT_NEAR(c.axisPosition(Axis::Ra), microsteps * 3600.0 / siderealDaySeconds, 1.0);
    EXPECT_EQ(c.axisPosition(Axis::Dec), 0);
    c.advance(siderealDaySeconds - 3600.0);
    EXPECT_NEAR(c.axisTurns(Axis::Ra), 1.0, 1e-6);

    send(c, frameByteByte(DeviceCommand::SetTrackingMode, 0, 0));
    const std::int32_t stopped = c.axisPosition(Axis::Ra);
    c.advance(600.0);
    EXPECT_EQ(c.axisPosition(Axis::Ra), stopped);
}

TEST(Motion, TrackingResumesAfterGoToAndManualMove)
{
    VirtualController c;
    const double rate = c.settings().ra.microsteps / siderealDaySeconds;
    send(c, frameByteByte(DeviceCommand::SetTrackingMode, 0, 1));
    transact(c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisBoth, 100000, -100000));
    c.advance(0.5);
    EXPECT_GT(c.motionStatus(Axis::Ra), 2);
    c.advance(60.0);
    EXPECT_EQ(c.motionStatus(Axis::Ra), MotionStatus::Tracking);
    EXPECT_EQ(c.motionStatus(Axis::Dec), MotionStatus::Arrived);
    EXPECT_DOUBLE_EQ(c.axisVelocity(Axis::Ra), rate);

    send(c, frameSpeed(axisRa, -2000));
    c.advance(2.0);
    EXPECT_DOUBLE_EQ(c.axisVelocity(Axis::Ra), -2000.0);
    send(c, frameByteByte(DeviceCommand::StopAxes, 0, axisRa));
    c.advance(2.0);
    EXPECT_DOUBLE_EQ(c.axisVelocity(Axis::Ra), rate);
}

TEST(Motion, SetPositionsMovesTheCounterNotTheMount)
{
    VirtualController c;
    send(c, frameSpeed(axisRa, 3000));
    c.advance(5.0);
    send(c, frameByteByte(DeviceCommand::StopAxes, 0, axisBoth));
    c.advance(5.0);
    const double turns = c.axisTurns(Axis::Ra);
    const std::uint32_t encoder = c.encoderReading(Axis::Ra);

    send(c, framePositions(DeviceCommand::SetAxisPositions, 1, axisBoth, -460800, 384000));
    EXPECT_EQ(c.axisPosition(Axis::Ra), -460800);
    EXPECT_EQ(c.axisPosition(Axis::Dec), 384000);
    EXPECT_EQ(c.axisTurns(Axis::Ra), turns);
    EXPECT_EQ(c.encoderReading(Axis::Ra), encoder);
}

TEST(Motion, ReversedMotorTurnsTheAxisTheOtherWay)
{
    VirtualController plain;
    VirtualController reversed;
    send(reversed, frameMotorFlags(0x01, 0));
    for (VirtualController* c : {&plain, &reversed}) {
        transact(*c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisBoth, 460800, 460800));
        c->advance(120.0);
        EXPECT_EQ(c->axisPosition(Axis::Ra), 460800);   // the counter follows the command either way
    }
    EXPECT_NEAR(plain.axisTurns(Axis::Ra), 0.25, 1e-9);
    EXPECT_NEAR(reversed.axisTurns(Axis::Ra), -0.25, 1e-9);
    EXPECT_NEAR(reversed.axisTurns(Axis::Dec), plain.axisTurns(Axis::Dec), 1e-9);   // bit 1 clear
    EXPECT_NE(plain.encoderReading(Axis::Ra), reversed.encoderReading(Axis::Ra));
}

}  // namespace
}  // namespace kv7::sim::test
