#include "sim/engine/AxisDrive.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv7::sim {

namespace {

constexpr double counterSpan = 4294967296.0;
constexpr double counterHalf = 2147483648.0;

double effectiveAcceleration(const AxisLimits& limits)
{
    return limits.acceleration > 0.0 ? limits.acceleration : std::numeric_limits<double>::infinity();
}

}  // namespace

void AxisDrive::moveAtSpeed(double s)
{
    arrived = false;
    if (s == 0.0) {
        stop();
        return;
    }
    mode = Mode::Speed;
    commandedSpeed = s;
}

void AxisDrive::goTo(double t)
{
    arrived = false;
    mode = Mode::GoTo;
    target = t;
}

void AxisDrive::stop()
{
    arrived = false;
    if (mode != Mode::Idle)
        mode = Mode::Stopping;
}

void AxisDrive::setPosition(double p)
{
    // A go-to under way keeps its target in the new counting.
    counter = p;
    arrived = false;
}

double AxisDrive::moveToward(double from, double to, double limit) const
{
    if (to > from)
        return std::min(to, from + limit);
    return std::max(to, from - limit);
}

bool AxisDrive::steady(const AxisLimits& limits) const
{
    switch (mode) {
    case Mode::Idle: return true;
    case Mode::Speed: return speed == commandedSpeed;
    case Mode::Stopping: return speed == limits.restSpeed;
    case Mode::GoTo: return false;
    }
    return false;
}

void AxisDrive::step(double dt, const AxisLimits& limits)
{
    if (!(dt > 0.0))
        return;
    const double accel = effectiveAcceleration(limits);
    const double before = counter;
    switch (mode) {
    case Mode::Idle:
        speed = limits.restSpeed;
        counter += speed * dt;
        break;
    case Mode::Speed:
        speed = moveToward(speed, commandedSpeed, accel * dt);
        counter += speed * dt;
        break;
    case Mode::Stopping:
        speed = moveToward(speed, limits.restSpeed, accel * dt);
        counter += speed * dt;
        if (speed == limits.restSpeed)
            mode = Mode::Idle;
        break;
    case Mode::GoTo: {
        const double error = target - counter;
        // The fastest speed from which the axis can still brake to a halt on
        // the target, braking a*dt per step: v^2/2a + v*dt/2 = |error|. A
        // trapezoidal profile capped at the go-to speed.
        const double half = std::isinf(accel) ? 0.0 : accel * dt / 2.0;
        const double brake = std::sqrt(half * half + 2.0 * accel * std::fabs(error)) - half;
        const double reachable = std::min(limits.maxSpeed, brake);
        const double wanted = error >= 0.0 ? reachable : -reachable;
        speed = moveToward(speed, wanted, accel * dt);
        const double next = counter + speed * dt;
        const bool reaches = (target - next) * error <= 0.0;
        // Only an axis slow enough to stop within this step settles on the
        // target; a fast one overshoots and turns back like a real drive.
        const bool canStop = std::fabs(speed) <= std::max(2.0 * accel * dt, 1.0) || std::isinf(accel);
        if (reaches && canStop) {
            counter = target;
            speed = limits.restSpeed;
            mode = Mode::Idle;
            arrived = true;
        } else {
            counter = next;
        }
        break;
    }
    }
    const double moved = counter - before;
    mechanical += limits.motorReversed ? -moved : moved;
    // A step moves the gear one way only, so following its end point is
    // exact whatever the step's length.
    axis = axisSteps(limits);

    // The step counter is a 32-bit register.
    if (counter >= counterHalf || counter < -counterHalf) {
        const double shift = counter >= counterHalf ? -counterSpan : counterSpan;
        counter += shift;
        if (mode == Mode::GoTo)
            target += shift;
    }
}

double AxisDrive::axisSteps(const AxisLimits& limits) const
{
    const double play = limits.backlashSteps > 0.0 ? limits.backlashSteps : 0.0;
    return std::clamp(axis, mechanical, mechanical + play);
}

std::uint8_t AxisDrive::motionStatus(const AxisLimits& limits) const
{
    switch (mode) {
    case Mode::Speed: return MotionStatus::Moving;
    case Mode::GoTo: return MotionStatus::Slewing;
    case Mode::Stopping: return MotionStatus::Stopping;
    case Mode::Idle: break;
    }
    if (limits.restSpeed != 0.0)
        return MotionStatus::Tracking;
    return arrived ? MotionStatus::Arrived : MotionStatus::Stopped;
}

std::int32_t AxisDrive::reportedPosition() const
{
    if (!std::isfinite(counter))
        return 0;
    const auto whole = static_cast<std::int64_t>(std::llround(counter));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole)));
}

}  // namespace kv7::sim
