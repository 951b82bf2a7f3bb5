#include "commission/Procedures.h"

#include <cstdlib>

#include "app/Codes.h"
#include "app/StatusText.h"

namespace kv7::commission {

namespace {

constexpr std::uint8_t atRestMotion = 2;   // motion statuses up to this one are at rest

std::int32_t axisPosition(const MountState& s, AxisName axis)
{
    return axis == AxisName::Ra ? s.raAxisPosition : s.decAxisPosition;
}

std::uint8_t axisMotion(const MountState& s, AxisName axis)
{
    return axis == AxisName::Ra ? s.raMotionStatus : s.decMotionStatus;
}

std::uint32_t encoderValue(const MountState& s, AxisName axis)
{
    return axis == AxisName::Ra ? s.raEncoderPosition : s.decEncoderPosition;
}

FormatCandidate candidateOf(const EncoderFormat& f, AxisName axis)
{
    if (axis == AxisName::Ra)
        return {f.raFlags, f.raLeadingBits, f.raBitsPerRevolution, f.raBitsForRevolutions};
    return {f.decFlags, f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions};
}

void setCandidate(EncoderFormat& f, AxisName axis, const FormatCandidate& c)
{
    if (axis == AxisName::Ra) {
        f.raFlags = c.flags;
        f.raLeadingBits = c.leadingBits;
        f.raBitsPerRevolution = c.bitsPerRevolution;
        f.raBitsForRevolutions = c.bitsForRevolutions;
    } else {
        f.decFlags = c.flags;
        f.decLeadingBits = c.leadingBits;
        f.decBitsPerRevolution = c.bitsPerRevolution;
        f.decBitsForRevolutions = c.bitsForRevolutions;
    }
}

// Raw readings through these formats return the word's bits 0 to 31 and
// 12 to 43.
constexpr FormatCandidate headCapture{0, 0, rawWindowBits, 0};
constexpr FormatCandidate tailCapture{0, tailStart, rawWindowBits, 0};

}  // namespace

const char* axisText(AxisName axis) { return axis == AxisName::Ra ? "RA" : "Dec"; }

AxisFacts axisFacts(AxisName axis, const ControllerParameters& p, const AxisConfiguration& c)
{
    AxisFacts f;
    const bool ra = axis == AxisName::Ra;
    f.microstepsPerRevolution = ra ? p.raMicrosteps : p.decMicrosteps;
    f.motorReversed = p.reverseMotorBits & (ra ? 1u : 2u);
    f.encoderResolution = ra ? c.raEncoderResolution : c.decEncoderResolution;
    f.format = c.encoderFormat;
    return f;
}

// --- Procedure --------------------------------------------------------------

void Procedure::start(double now)
{
    lastNow = now;
    begin();
}

void Procedure::onReading(const MountState& state, double now)
{
    lastNow = now;
    if (!running() || !awaiting)
        return;
    awaiting = false;
    take(state);
}

void Procedure::onStatus(std::uint16_t status)
{
    if (!running() || !isErrorStatus(status))
        return;
    lostLine = status == Status::ConnectionLost || status == Status::CommunicationError || status == Status::NoReply;
    fail(statusText(status));
}

void Procedure::onTick(double now)
{
    lastNow = now;
    if (running() && awaiting && now - askedAt > readingTimeout) {
        lostLine = true;
        fail("No reading came from the controller.");
    }
}

void Procedure::cancel()
{
    if (!running())
        return;
    stopAxis();
    undo();
    current = Stage::Cancelled;
    doing = "Cancelled: the axis was stopped.";
}

void Procedure::ask(std::uint8_t mode)
{
    awaiting = true;
    askedAt = lastNow;
    control.readEncoders(mode);
}

void Procedure::moveForward(bool forward, std::uint8_t speed)
{
    const std::uint8_t direction = axis == AxisName::Ra ? (forward ? HandPad::West : HandPad::East)
                                                        : (forward ? HandPad::North : HandPad::South);
    control.manualMove(direction, speed);
}

void Procedure::stopAxis() { control.stopMotion(axis == AxisName::Ra ? StopAxes::RaAxis : StopAxes::DecAxis); }

void Procedure::finish()
{
    current = Stage::Done;
    done = 1.0;
}

void Procedure::fail(const std::string& reason)
{
    stopAxis();
    undo();
    current = Stage::Failed;
    why = reason;
    awaiting = false;
}

// --- FormatDetection ----------------------------------------------------------

FormatDetection::FormatDetection(iKV7Control& control, AxisName axis, const AxisFacts& facts, const Settings& settings)
    : Procedure(control, axis), facts(facts), settings(settings)
{
    input.microstepsPerRevolution = facts.microstepsPerRevolution;
    input.expectedSign = facts.motorReversed ? -1 : 1;
    input.before = candidateOf(facts.format, axis);
}

void FormatDetection::begin()
{
    if (facts.microstepsPerRevolution == 0) {
        fail("The controller reports no microsteps per revolution for this axis.");
        return;
    }
    writeFormat(headCapture);
    moveForward(true, settings.speed);
    say("Reading the encoder's first 32 bits while the axis turns", 0);
    ask(ReadMode::Axes);
}

void FormatDetection::take(const MountState& state)
{
    if (rawNext) {
        pendingBits = encoderValue(state, axis);
        havePending = true;
        rawNext = false;
        ask(ReadMode::Axes);
        return;
    }
    const double motor = axisPosition(state, axis);
    std::vector<RawReading>& readings = window == 0 ? input.head : input.tail;
    // Readings are kept a fixed turn apart, however fast the line is.
    const double spacing = settings.turnsPerWindow * facts.microstepsPerRevolution / settings.readingsPerWindow;
    const double between = (lastMotor + motor) / 2;
    if (havePending && (readings.empty() || std::abs(between - readings.back().motorSteps) >= spacing))
        readings.push_back({between, pendingBits});
    if (readings.empty())
        windowStartMotor = motor;
    if (motor != lastMotor || lastMotionAt < 0)
        lastMotionAt = clock();
    havePending = false;
    lastMotor = motor;

    const double turned = std::abs(motor - windowStartMotor) / facts.microstepsPerRevolution;
    const bool enough = static_cast<int>(readings.size()) >= settings.readingsPerWindow && turned >= settings.turnsPerWindow;
    say(window == 0 ? "Reading the encoder's first 32 bits while the axis turns"
                    : "Reading the encoder's bits 12 to 43 while the axis turns",
        0.5 * window + 0.5 * std::min(1.0, turned / settings.turnsPerWindow));
    if (clock() - lastMotionAt > stallTimeout) {
        fail("The axis did not turn: is it free to move, and is the clutch engaged?");
        return;
    }
    if (!enough) {
        rawNext = true;
        ask(ReadMode::RawBits);
        return;
    }
    if (window == 0) {
        window = 1;
        windowStartMotor = motor;
        writeFormat(tailCapture);
        rawNext = true;
        ask(ReadMode::RawBits);
        return;
    }
    stopAxis();
    undo();
    analyse();
    finish();
}

void FormatDetection::writeFormat(const FormatCandidate& f)
{
    setCandidate(facts.format, axis, f);
    const EncoderFormat& e = facts.format;
    control.setEncoderFormat(e.raFlags, e.raLeadingBits, e.raBitsPerRevolution, e.raBitsForRevolutions, e.decFlags,
                             e.decLeadingBits, e.decBitsPerRevolution, e.decBitsForRevolutions);
}

void FormatDetection::undo()
{
    if (restored)
        return;
    restored = true;
    writeFormat(input.before);
}

void FormatDetection::analyse()
{
    outcome = detectFormat(input);
    say(outcome.verdict.c_str(), 1.0);
}

EncoderFormat FormatDetection::formatBefore() const
{
    EncoderFormat f = facts.format;
    setCandidate(f, axis, input.before);
    return f;
}

bool FormatDetection::accept()
{
    if (stage() != Stage::Done || !outcome.proposed)
        return false;
    writeFormat(outcome.ranking.front().format);
    return true;
}

// --- EncoderCheckRun ----------------------------------------------------------

namespace {
constexpr bool movePattern[EncoderCheckRun::moveCount] = {true, true, false, false, true, true};
}

EncoderCheckRun::EncoderCheckRun(iKV7Control& control, AxisName axis, const AxisFacts& facts, const Settings& settings)
    : Procedure(control, axis), facts(facts), settings(settings)
{
    input.encoderResolution = facts.encoderResolution;
    input.microstepsPerRevolution = facts.microstepsPerRevolution;
    if (this->settings.steps <= 0)
        this->settings.steps = facts.microstepsPerRevolution / 72;   // five degrees
}

void EncoderCheckRun::begin()
{
    if (facts.microstepsPerRevolution == 0 || facts.encoderResolution == 0 || settings.steps <= 0) {
        fail("The controller reports no microsteps or no encoder resolution for this axis.");
        return;
    }
    // Tracking would move the RA axis between the readings.
    control.setTracking(0);
    say("Reading the encoder at rest", 0);
    ask(ReadMode::Encoders);
}

void EncoderCheckRun::take(const MountState& state)
{
    switch (phase) {
    case Phase::Noise:
        input.atRest.push_back(encoderValue(state, axis));
        if (static_cast<int>(input.atRest.size()) < settings.readingsAtRest) {
            ask(ReadMode::Encoders);
        } else {
            phase = Phase::StartPosition;
            ask(ReadMode::Axes);
        }
        return;
    case Phase::StartPosition:
        input.stops.push_back({axisPosition(state, axis), input.atRest.back()});
        startMove();
        return;
    case Phase::Moving:
    case Phase::Settling: onAxes(axisPosition(state, axis), axisMotion(state, axis)); return;
    case Phase::Reading:
        input.stops.push_back({restPosition, encoderValue(state, axis)});
        if (++move == moveCount) {
            outcome = checkAxis(input);
            say("Done", 1.0);
            finish();
        } else {
            startMove();
        }
        return;
    }
}

void EncoderCheckRun::startMove()
{
    moveFrom = input.stops.back().motorSteps;
    moveStartedAt = clock();
    moveForward(movePattern[move], settings.speed);
    phase = Phase::Moving;
    say(movePattern[move] ? "Moving the axis forward" : "Moving the axis back",
        (move + 0.5) / (moveCount + 1.0));
    ask(ReadMode::Axes);
}

void EncoderCheckRun::onAxes(std::int32_t position, std::uint8_t motion)
{
    if (clock() - moveStartedAt > moveTimeout) {
        fail("The axis did not finish its move: is it free to move, and is the clutch engaged?");
        return;
    }
    if (phase == Phase::Moving && std::llabs(position - moveFrom) >= settings.steps) {
        stopAxis();
        phase = Phase::Settling;
    } else if (phase == Phase::Settling && motion <= atRestMotion) {
        restPosition = position;
        phase = Phase::Reading;
        ask(ReadMode::Encoders);
        return;
    }
    ask(ReadMode::Axes);
}

}  // namespace kv7::commission
