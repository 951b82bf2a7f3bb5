// One motor axis of the virtual mount, in microsteps.
//
// The controller's step counter (position) is what the motion commands
// speak about; the mechanical angle is where the motor has turned the
// gear to. They move together, in opposite senses when the motor is
// reversed, and SetAxisPositions moves only the counter. The axis itself,
// which the absolute encoder sees, follows the gear through its backlash:
// it stays put while the gear turns within the play, and is dragged along
// at either end of it.
#pragma once

#include <cstdint>

namespace kv7::sim {

// Motion status values reported per axis; 0..2 at rest, above 2 moving.
namespace MotionStatus {
enum : std::uint8_t {
    Stopped = 0,
    Arrived = 1,      // at rest at the end of a go-to
    Tracking = 2,     // following the sky at the sidereal rate only
    Moving = 3,       // at a commanded speed
    Slewing = 4,      // go-to under way
    Stopping = 5,     // braking after a stop
};
}

struct AxisLimits {
    double maxSpeed = 1.0;        // go-to speed, microsteps per second (> 0)
    double acceleration = 0.0;    // microsteps per second squared; 0 or less: instant
    double restSpeed = 0.0;       // what the axis runs at when nothing is commanded (tracking)
    bool motorReversed = false;
    double backlashSteps = 0.0;   // play between gear and axis, in mechanical steps
};

class AxisDrive {
public:
    void moveAtSpeed(double speed);
    void goTo(double target);
    void stop();
    void setPosition(double position);

    // Advances by dt seconds; steady() axes may take any dt in one go,
    // the others need short steps (see maxStep).
    void step(double dt, const AxisLimits& limits);
    bool steady(const AxisLimits& limits) const;
    static constexpr double maxStep = 0.01;

    std::uint8_t motionStatus(const AxisLimits& limits) const;
    // Reported counter: rounded and wrapped to 32 bits as the controller's counter is.
    std::int32_t reportedPosition() const;
    double position() const { return counter; }
    double mechanicalSteps() const { return mechanical; }
    // Where the axis stands, in mechanical steps: at the start the play is
    // taken up forwards, so it moves with a forward move at once and lies
    // backlashSteps ahead of the gear once a reverse move has taken the
    // play up the other way.
    double axisSteps(const AxisLimits& limits) const;
    double velocity() const { return speed; }

private:
    enum class Mode { Idle, Speed, GoTo, Stopping };

    double moveToward(double from, double to, double limit) const;

    Mode mode = Mode::Idle;
    double counter = 0.0;
    double mechanical = 0.0;
    double axis = 0.0;
    double speed = 0.0;
    double commandedSpeed = 0.0;
    double target = 0.0;
    bool arrived = false;
};

}  // namespace kv7::sim
