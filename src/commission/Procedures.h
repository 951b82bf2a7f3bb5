// The commissioning procedures as they run against the controller: each
// sends requests through iKV7Control and is fed what comes back (the
// reading it asked for, the statuses, the passing of time) by whoever runs
// it, the window or kv7ctl, on that one thread. Nothing here waits.
//
// A procedure asks for one reading at a time and takes the next mount state
// as its answer, so nothing else may ask for readings while it runs. It
// stops the axis whenever it ends, and a format detection writes back the
// controller's format from before the run on every way out, unless the
// operator accepts the proposal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/Interfaces.h"
#include "app/Records.h"
#include "commission/EncoderCheck.h"
#include "commission/FormatDetection.h"

namespace kv7::commission {

enum class AxisName : std::uint8_t { Ra, Dec };

const char* axisText(AxisName axis);

class Procedure {
public:
    enum class Stage { Running, Done, Failed, Cancelled };

    Procedure(iKV7Control& control, AxisName axis) : control(control), axis(axis) {}
    virtual ~Procedure() = default;
    Procedure(const Procedure&) = delete;
    Procedure& operator=(const Procedure&) = delete;

    // Times are seconds on any steady clock of the caller's.
    void start(double now);
    // The answer to the reading last asked for.
    void onReading(const MountState& state, double now);
    void onStatus(std::uint16_t status);
    // At least a few times a second: time-outs.
    void onTick(double now);
    // Stops the axis and puts back what the procedure changed.
    void cancel();

    Stage stage() const { return current; }
    bool running() const { return current == Stage::Running; }
    double progress() const { return done; }                  // 0 to 1
    const std::string& activity() const { return doing; }     // what it does now
    const std::string& failure() const { return why; }
    // True when the run ended because the line failed (lost, silent or
    // garbled): what the procedure wrote back may not have arrived.
    bool lineFailed() const { return lostLine; }

    static constexpr double readingTimeout = 5.0;

protected:
    virtual void begin() = 0;
    virtual void take(const MountState& state) = 0;
    // Puts back what the procedure changed on the controller.
    virtual void undo() {}

    void ask(std::uint8_t mode);
    void moveForward(bool forward, std::uint8_t speed);
    void stopAxis();
    void finish();
    void fail(const std::string& reason);
    void say(const char* text, double fraction)
    {
        doing = text;
        done = fraction;
    }
    double clock() const { return lastNow; }

    iKV7Control& control;
    const AxisName axis;

private:
    Stage current = Stage::Running;
    double done = 0;
    std::string doing;
    std::string why;
    bool lostLine = false;
    bool awaiting = false;
    double askedAt = 0;
    double lastNow = 0;
};

// What a procedure needs to know of the controller, from the connection.
struct AxisFacts {
    std::uint32_t microstepsPerRevolution = 0;
    bool motorReversed = false;
    std::uint64_t encoderResolution = 0;
    EncoderFormat format;   // both axes, as connected
};

AxisFacts axisFacts(AxisName axis, const ControllerParameters& parameters, const AxisConfiguration& configuration);

// Moves the axis slowly one way while reading its raw bits with two capture
// formats, then ranks every plausible format.
class FormatDetection final : public Procedure {
public:
    struct Settings {
        std::uint8_t speed = 6;          // hand-pad speed index
        double turnsPerWindow = 2.0 / 360.0;
        int readingsPerWindow = 40;      // at least, besides the turns
    };
    static constexpr double stallTimeout = 10.0;   // seconds without a step of the motor
    FormatDetection(iKV7Control& control, AxisName axis, const AxisFacts& facts, const Settings& settings);

    const DetectionResult& result() const { return outcome; }
    // Writes the proposed format for this axis; the other axis keeps its own.
    bool accept();
    // Both axes' formats as they were before the run: what to write once
    // connected again when the line failed during the run.
    EncoderFormat formatBefore() const;
    // Both axes' formats as last written by the run.
    const EncoderFormat& formatNow() const { return facts.format; }

protected:
    void begin() override;
    void take(const MountState& state) override;
    void undo() override;

private:
    void writeFormat(const FormatCandidate& f);
    void analyse();

    AxisFacts facts;
    Settings settings;
    int window = 0;                    // 0 head, 1 tail
    bool rawNext = false;              // the next reading: raw bits, else the axes
    double lastMotor = 0;
    double windowStartMotor = 0;
    double lastMotionAt = -1;
    std::uint32_t pendingBits = 0;
    bool havePending = false;
    DetectionInput input;
    DetectionResult outcome;
    bool restored = false;
};

// Moves the axis to and fro by about `steps` (five degrees unless told) and reads the encoder at rest
// after each move; reads it repeatedly at rest first.
class EncoderCheckRun final : public Procedure {
public:
    struct Settings {
        std::uint8_t speed = 6;
        std::int64_t steps = 0;          // 0: five degrees of the axis
        int readingsAtRest = 12;
    };
    EncoderCheckRun(iKV7Control& control, AxisName axis, const AxisFacts& facts, const Settings& settings);

    const AxisCheck& result() const { return outcome; }
    const CheckInput& readings() const { return input; }

    static constexpr int moveCount = 6;   // +, +, -, -, +, +
    static constexpr double moveTimeout = 120.0;   // seconds for one move and its stop

protected:
    void begin() override;
    void take(const MountState& state) override;

private:
    enum class Phase { Noise, StartPosition, Moving, Settling, Reading };
    void startMove();
    void onAxes(std::int32_t position, std::uint8_t motion);

    AxisFacts facts;
    Settings settings;
    Phase phase = Phase::Noise;
    int move = 0;
    std::int64_t moveFrom = 0;
    double moveStartedAt = 0;
    std::int64_t restPosition = 0;
    CheckInput input;
    AxisCheck outcome;
};

}  // namespace kv7::commission
