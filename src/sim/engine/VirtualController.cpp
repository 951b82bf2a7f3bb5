#include "sim/engine/VirtualController.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv7::sim {

namespace {

constexpr std::uint8_t raBit = 0x01;
constexpr std::uint8_t decBit = 0x02;
constexpr double arcsecondsPerTurn = 1296000.0;

std::uint8_t code(DeviceCommand c) { return static_cast<std::uint8_t>(c); }

EncoderFormatBytes takeFormat(const std::uint8_t* p) { return EncoderFormatBytes{p[0], p[1], p[2], p[3]}; }


}  // namespace

VirtualController::VirtualController(const SimConfig& cfg)
    : config(cfg), active(cfg.factory), random(cfg.faults.seed), encoderRandom(cfg.faults.seed ^ 0x9E3779B9u)
{
    if (config.stateStore) {
        std::string text;
        std::string error;
        switch (config.stateStore->load(text, error)) {
        case StateStore::Loaded::Text: parseSettings(text, active, problems); break;
        case StateStore::Loaded::Nothing: break;
        case StateStore::Loaded::Failed: loadError = error.empty() ? "the stored state cannot be read" : error; break;
        }
    }
    stored = active;
    gone = config.faults.vanishAfterFrames == 0;
}

// --- Bytes in ---

void VirtualController::receive(const std::uint8_t* data, std::size_t length)
{
    if (!data)
        return;
    for (std::size_t i = 0; i < length && !gone; ++i) {
        if (lost())
            continue;
        if (framer.push(data[i]))
            handleFrame(framer.frame());
    }
}

bool VirtualController::lost()
{
    const double p = config.faults.dropProbability;
    if (!(p > 0.0))
        return false;
    return static_cast<double>(random()) < p * 4294967296.0;
}

void VirtualController::handleFrame(const std::uint8_t* frame)
{
    const std::uint8_t length = frame[1];
    ++frameCount;
    if (frameObserver)
        frameObserver->onCommandFrame(frame, static_cast<std::size_t>(length) + 2);

    const DeviceCommandInfo* info = length > 0 ? findDeviceCommand(frame[2]) : nullptr;
    // A frame too short for its command is not carried out: the arguments
    // it lacks would be whatever the line left behind.
    if (info && length >= payloadLength(*info))
        execute(info->code, frame + 3);

    if (config.faults.vanishAfterFrames >= 0 &&
        frameCount >= static_cast<std::uint64_t>(config.faults.vanishAfterFrames))
        gone = true;
}

void VirtualController::execute(DeviceCommand command, const std::uint8_t* args)
{
    switch (command) {
    case DeviceCommand::Identify: replyIdentify(); break;
    case DeviceCommand::ReadDeviceWord: replyDeviceWord(); break;
    case DeviceCommand::ReadDeviceByte: replyDeviceByte(); break;
    case DeviceCommand::StoreParameters: storeParameters(); break;
    case DeviceCommand::ReadAxisParameters: replyAxisParameters(); break;
    case DeviceCommand::ReadMotorSettings: replyMotorSettings(); break;
    case DeviceCommand::ReadEncoderFormat: replyEncoderFormat(); break;
    case DeviceCommand::ReadMotionStatus: replyMotionStatus(); break;
    case DeviceCommand::ReadAxisPositions: replyAxisPositions(); break;
    case DeviceCommand::ReadEncoders:
    case DeviceCommand::ReadEncodersMode1:
    case DeviceCommand::ReadEncodersMode2: replyEncoders(command); break;
    case DeviceCommand::ReadEncoderCalibration: replyEncoderCalibration(); break;
    case DeviceCommand::SetAxisPositions:
    case DeviceCommand::StopAxes:
    case DeviceCommand::MoveAtSpeed:
    case DeviceCommand::GoToAxisPositions: executeMotion(command, args); break;
    case DeviceCommand::SetTrackingMode: tracking = args[1] != 0; break;
    case DeviceCommand::WriteEncoderFormat:
    case DeviceCommand::WriteMotorFlags:
    case DeviceCommand::WriteEncoderCalibration: executeWrite(command, args); break;
    }
}

void VirtualController::executeMotion(DeviceCommand command, const std::uint8_t* args)
{
    // Byte 0, the axis selector, then positions (RA, Dec) or one speed.
    const std::uint8_t selector = args[1];
    AxisDrive* drives[2] = {(selector & axisRa) ? &raDrive : nullptr, (selector & axisDec) ? &decDrive : nullptr};
    for (int axis = 0; axis < 2; ++axis) {
        AxisDrive* drive = drives[axis];
        if (!drive)
            continue;
        const std::int32_t position = readI32le(args + 2 + 4 * axis);
        if (command == DeviceCommand::SetAxisPositions)
            drive->setPosition(position);
        else if (command == DeviceCommand::StopAxes)
            drive->stop();
        else if (command == DeviceCommand::MoveAtSpeed)
            drive->moveAtSpeed(readI32le(args + 2));
        else
            drive->goTo(position);
    }
    if (command == DeviceCommand::GoToAxisPositions)
        replyAck(code(command));
}

void VirtualController::executeWrite(DeviceCommand command, const std::uint8_t* args)
{
    if (command == DeviceCommand::WriteEncoderFormat) {
        active.ra.encoderFormat = takeFormat(args + 1);
        active.dec.encoderFormat = takeFormat(args + 5);
    } else if (command == DeviceCommand::WriteMotorFlags) {
        std::uint8_t mask = 0;
        if (args[1] & axisRa)
            mask |= raBit;
        if (args[1] & axisDec)
            mask |= decBit;
        active.reverseMotorBits = static_cast<std::uint8_t>((active.reverseMotorBits & ~mask) | (args[2] & mask));
        if (mask)
            active.motorExtraByte = args[3];
    } else {
        active.reverseEncoderBits = args[1];
        active.ra.encoderOffset = readU32le(args + 2);
        active.dec.encoderOffset = readU32le(args + 6);
        replyAck(code(command));
    }
}

void VirtualController::storeParameters()
{
    std::string error;
    if (!config.stateStore) {
        storeOk = true;
    } else if (!loadError.empty()) {
        // Whatever is there was never read, so it may be somebody's data.
        storeOk = false;
        error = "not stored over state that could not be read: " + loadError;
    } else {
        storeOk = config.stateStore->save(formatSettings(active), error);
    }

    if (storeOk) {
        stored = active;
        replyAck(code(DeviceCommand::StoreParameters));
        return;
    }
    ++storeFailures;
    storeError = error.empty() ? "the parameters could not be stored" : error;
    // The acknowledgement with one more byte, non-zero: the link tells the
    // user the parameters were not stored instead of that they were.
    const std::uint8_t notStored = 1;
    reply(code(DeviceCommand::StoreParameters), &notStored, 1);
}

// --- Bytes out and time ---

std::size_t VirtualController::read(std::uint8_t* out, std::size_t capacity)
{
    std::size_t n = 0;
    while (n < capacity && !output.empty() && output.front().releaseAt <= clock) {
        out[n++] = output.front().value;
        output.pop_front();
    }
    return n;
}

std::vector<std::uint8_t> VirtualController::readAll()
{
    std::vector<std::uint8_t> bytes;
    while (!output.empty() && output.front().releaseAt <= clock) {
        bytes.push_back(output.front().value);
        output.pop_front();
    }
    return bytes;
}

double VirtualController::nextReleaseTime() const
{
    return output.empty() ? std::numeric_limits<double>::infinity() : output.front().releaseAt;
}

void VirtualController::advance(double seconds)
{
    if (!(seconds > 0.0) || !std::isfinite(seconds))
        return;
    double remaining = seconds;
    while (remaining > 0.0) {
        const AxisLimits ra = limits(Axis::Ra);
        const AxisLimits dec = limits(Axis::Dec);
        const bool steady = raDrive.steady(ra) && decDrive.steady(dec);
        const double h = steady ? remaining : std::min(remaining, AxisDrive::maxStep);
        raDrive.step(h, ra);
        decDrive.step(h, dec);
        clock += h;
        remaining -= h;
    }
}

bool VirtualController::steady() const
{
    return raDrive.steady(limits(Axis::Ra)) && decDrive.steady(limits(Axis::Dec));
}

AxisLimits VirtualController::limits(Axis axis) const
{
    const AxisSettings& a = axisSettings(axis);
    AxisLimits l;
    // The go-to speed is the 32-bit product, read as signed, as the link
    // computes its maximum speed; a product that is not positive would
    // never arrive, so the drive then crawls at one microstep per second.
    const auto product = static_cast<std::int32_t>(a.baseSpeed * static_cast<std::uint32_t>(a.speedFactor));
    l.maxSpeed = product > 0 ? static_cast<double>(product) : 1.0;
    l.acceleration = static_cast<double>(a.acceleration);
    if (axis == Axis::Ra && tracking && a.microsteps > 0)
        l.restSpeed = static_cast<double>(a.microsteps) / siderealDaySeconds;
    l.motorReversed = active.reverseMotorBits & (axis == Axis::Ra ? raBit : decBit);
    l.backlashSteps = encoderPhysics(axis).fit.backlashArcsec / arcsecondsPerTurn * static_cast<double>(a.microsteps);
    return l;
}

// --- State ---

std::int32_t VirtualController::axisPosition(Axis axis) const { return drive(axis).reportedPosition(); }

double VirtualController::axisVelocity(Axis axis) const { return drive(axis).velocity(); }

std::uint8_t VirtualController::motionStatus(Axis axis) const { return drive(axis).motionStatus(limits(axis)); }

double VirtualController::axisTurns(Axis axis) const
{
    const std::uint32_t steps = axisSettings(axis).microsteps;
    return steps > 0 ? drive(axis).axisSteps(limits(axis)) / static_cast<double>(steps) : 0.0;
}

EncoderWord VirtualController::encoderWord(Axis axis, ReadingDraw draw) const
{
    const EncoderPhysics& p = encoderPhysics(axis);
    const double noise = draw.noiseCounts == 0 ? 0.0 : draw.noiseCounts * encoderCountTurns(p.format);
    EncoderWord word(p.format, encoderTurns(p, axisTurns(axis)) + noise);
    if (draw.flippedBit >= 0)
        word.flipDataBit(static_cast<unsigned>(draw.flippedBit));
    return word;
}

std::uint32_t VirtualController::decodedEncoder(Axis axis, ReadingDraw draw) const
{
    return decodeEncoderWord(encoderWord(axis, draw), axisSettings(axis).encoderFormat);
}

std::uint32_t VirtualController::encoderReading(Axis axis) const { return calibratedReading(axis, {}); }

std::uint32_t VirtualController::calibratedReading(Axis axis, ReadingDraw draw) const
{
    const AxisSettings& a = axisSettings(axis);
    const bool reverse = active.reverseEncoderBits & (axis == Axis::Ra ? raBit : decBit);
    return calibratedEncoderCount(decodedEncoder(axis, draw), a.encoderFormat, reverse, a.encoderOffset);
}

VirtualController::ReadingDraw VirtualController::drawReading(Axis axis)
{
    // Only what is switched on draws from the generator, so a run with
    // noise alone repeats as it did before bit errors could be asked for.
    const EncoderFit& fit = encoderPhysics(axis).fit;
    ReadingDraw draw;
    const unsigned spread = std::min(fit.noiseCounts, maxEncoderNoiseCounts);
    if (spread != 0)
        draw.noiseCounts = static_cast<int>(encoderRandom() % (2 * spread + 1)) - static_cast<int>(spread);
    if (fit.bitErrors > 0.0) {
        const double chance = std::uniform_real_distribution<double>(0.0, 1.0)(encoderRandom);
        const unsigned bits = EncoderWord(encoderPhysics(axis).format, 0.0).dataLength();
        if (chance < fit.bitErrors && bits > 0)
            draw.flippedBit = static_cast<int>(encoderRandom() % bits);
    }
    return draw;
}

void VirtualController::setEncoderPhysics(Axis axis, const EncoderPhysics& physics)
{
    (axis == Axis::Ra ? config.raEncoder : config.decEncoder) = physics;
}

}  // namespace kv7::sim
