#include "sim/engine/VirtualController.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv7::sim {

namespace {

constexpr std::uint8_t bothAxes = axisBoth;
constexpr std::uint8_t raBit = 0x01;
constexpr std::uint8_t decBit = 0x02;

std::uint8_t code(DeviceCommand c) { return static_cast<std::uint8_t>(c); }

// The 13-byte block of one axis in the axis-parameters reply.
void putAxisParameters(std::uint8_t* p, const AxisSettings& a)
{
    p[0] = a.axisByte;
    writeU32le(p + 1, a.gearRatio);
    writeU32le(p + 5, a.microsteps);
    writeU32le(p + 9, a.baseSpeed);
}

void putMotorBlock(std::uint8_t* p, const AxisSettings& a)
{
    writeU16le(p, a.speedFactor);
    std::copy(a.motorBytes.begin(), a.motorBytes.end(), p + 2);
}

void putFormat(std::uint8_t* p, const EncoderFormatBytes& f)
{
    p[0] = f.flags;
    p[1] = f.leadingBits;
    p[2] = f.bitsPerRevolution;
    p[3] = f.bitsForRevolutions;
}

EncoderFormatBytes takeFormat(const std::uint8_t* p) { return EncoderFormatBytes{p[0], p[1], p[2], p[3]}; }

// The bits the controller clocks in after the leading bits, before any
// inversion or Gray decoding: what a diagnostic read of the raw word shows.
std::uint32_t rawDataBits(const EncoderWord& word, const EncoderFormatBytes& configured)
{
    const unsigned count = static_cast<unsigned>(configured.bitsForRevolutions) + configured.bitsPerRevolution;
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i)
        value = (value << 1) | word.bit(configured.leadingBits + i);
    return value;
}

}  // namespace

VirtualController::VirtualController(const SimConfig& cfg)
    : config(cfg), active(cfg.factory), random(cfg.faults.seed)
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
    if (info && length >= payloadLength(info->shape))
        execute(info->code, frame + 3);

    if (config.faults.vanishAfterFrames >= 0 &&
        frameCount >= static_cast<std::uint64_t>(config.faults.vanishAfterFrames))
        gone = true;
}

void VirtualController::execute(DeviceCommand command, const std::uint8_t* args)
{
    switch (command) {
    case DeviceCommand::Identify: replyIdentify(); break;
    case DeviceCommand::ReadDeviceWord: {
        std::uint8_t p[4];
        writeU32le(p, active.deviceWord);
        reply(code(command), p, sizeof p);
        break;
    }
    case DeviceCommand::ReadDeviceByte: reply(code(command), &active.deviceByte, 1); break;
    case DeviceCommand::StoreParameters: storeParameters(); break;
    case DeviceCommand::ReadAxisParameters: replyAxisParameters(); break;
    case DeviceCommand::ReadMotorSettings: replyMotorSettings(); break;
    case DeviceCommand::ReadEncoderFormat: replyEncoderFormat(); break;
    case DeviceCommand::WriteEncoderFormat:
        active.ra.encoderFormat = takeFormat(args + 1);
        active.dec.encoderFormat = takeFormat(args + 5);
        break;
    case DeviceCommand::ReadMotionStatus: replyMotionStatus(); break;
    case DeviceCommand::ReadAxisPositions: replyAxisPositions(); break;
    case DeviceCommand::SetAxisPositions:
        if (args[1] & axisRa)
            raDrive.setPosition(readI32le(args + 2));
        if (args[1] & axisDec)
            decDrive.setPosition(readI32le(args + 6));
        break;
    case DeviceCommand::StopAxes:
        if (args[1] & axisRa)
            raDrive.stop();
        if (args[1] & axisDec)
            decDrive.stop();
        break;
    case DeviceCommand::MoveAtSpeed: {
        // byte 0, the axis selector, then the speed in microsteps per second.
        const double speed = readI32le(args + 2);
        if (args[1] & axisRa)
            raDrive.moveAtSpeed(speed);
        if (args[1] & axisDec)
            decDrive.moveAtSpeed(speed);
        break;
    }
    case DeviceCommand::SetTrackingMode: tracking = args[1] != 0; break;
    case DeviceCommand::GoToAxisPositions:
        if (args[1] & axisRa)
            raDrive.goTo(readI32le(args + 2));
        if (args[1] & axisDec)
            decDrive.goTo(readI32le(args + 6));
        replyAck(code(command));
        break;
    case DeviceCommand::WriteMotorFlags: {
        const std::uint8_t selector = args[1];
        std::uint8_t mask = 0;
        if (selector & axisRa)
            mask |= raBit;
        if (selector & axisDec)
            mask |= decBit;
        active.reverseMotorBits = static_cast<std::uint8_t>((active.reverseMotorBits & ~mask) | (args[2] & mask));
        if (mask)
            active.motorExtraByte = args[3];
        break;
    }
    case DeviceCommand::ReadEncoders:
    case DeviceCommand::ReadEncodersMode1:
    case DeviceCommand::ReadEncodersMode2: replyEncoders(command); break;
    case DeviceCommand::ReadEncoderCalibration: replyEncoderCalibration(); break;
    case DeviceCommand::WriteEncoderCalibration:
        active.reverseEncoderBits = args[1];
        active.ra.encoderOffset = readU32le(args + 2);
        active.dec.encoderOffset = readU32le(args + 6);
        replyAck(code(command));
        break;
    }
}

// --- Replies ---

void VirtualController::reply(std::uint8_t answered, const std::uint8_t* payload, std::size_t length)
{
    if (config.faults.silent)
        return;
    if (config.faults.quietAfterFrames >= 0 && frameCount > static_cast<std::uint64_t>(config.faults.quietAfterFrames))
        return;
    if (config.faults.shortReplyCode == answered)
        length = 0;
    // Every reply echoes the command code as its first payload byte; the
    // identify check of the link relies on that (Identify is code 1).
    std::uint8_t frame[2 + 1 + 255];
    const std::size_t l = std::min<std::size_t>(length + 1, 255);
    frame[0] = replyStartByte;
    frame[1] = static_cast<std::uint8_t>(l);
    frame[2] = answered;
    std::copy(payload, payload + (l - 1), frame + 3);
    if (frameObserver)
        frameObserver->onReplyFrame(answered, frame, l + 2);

    const double at = clock + config.faults.replyDelay;
    if (config.faults.noise) {
        // Noise never contains the reply start byte: a stray 0x55 would
        // open a frame the link cannot tell from a real one.
        const unsigned count = 1 + random() % 4;
        for (unsigned i = 0; i < count; ++i) {
            auto b = static_cast<std::uint8_t>(random());
            output.push_back({at, b == replyStartByte ? std::uint8_t{0} : b});
        }
    }
    for (std::size_t i = 0; i < l + 2; ++i) {
        if (!lost())
            output.push_back({at, frame[i]});
    }
}

void VirtualController::replyAck(std::uint8_t answered) { reply(answered, nullptr, 0); }

void VirtualController::replyIdentify()
{
    std::uint8_t p[4];
    writeU32le(p, active.deviceId);
    // A different device family answers with another type byte.
    reply(config.faults.wrongIdentify ? 2 : code(DeviceCommand::Identify), p, sizeof p);
}

void VirtualController::replyAxisParameters()
{
    std::uint8_t p[27] = {};
    p[0] = bothAxes;
    putAxisParameters(p + 1, active.ra);
    putAxisParameters(p + 14, active.dec);
    reply(code(DeviceCommand::ReadAxisParameters), p, sizeof p);
}

void VirtualController::replyMotorSettings()
{
    std::uint8_t p[3 + 2 * motorBlockSize] = {};
    p[0] = bothAxes;
    p[1] = active.reverseMotorBits;
    p[2] = active.motorExtraByte;
    putMotorBlock(p + 3, active.ra);
    putMotorBlock(p + 3 + motorBlockSize, active.dec);
    reply(code(DeviceCommand::ReadMotorSettings), p, sizeof p);
}

void VirtualController::replyEncoderFormat()
{
    std::uint8_t p[8];
    putFormat(p, active.ra.encoderFormat);
    putFormat(p + 4, active.dec.encoderFormat);
    reply(code(DeviceCommand::ReadEncoderFormat), p, sizeof p);
}

void VirtualController::replyEncoderCalibration()
{
    std::uint8_t p[9];
    p[0] = active.reverseEncoderBits;
    writeU32le(p + 1, active.ra.encoderOffset);
    writeU32le(p + 5, active.dec.encoderOffset);
    reply(code(DeviceCommand::ReadEncoderCalibration), p, sizeof p);
}

void VirtualController::replyEncoders(DeviceCommand command)
{
    std::uint8_t p[8];
    for (Axis axis : {Axis::Ra, Axis::Dec}) {
        std::uint8_t* at = p + (axis == Axis::Ra ? 0 : 4);
        std::uint32_t value;
        if (command == DeviceCommand::ReadEncoders) {
            value = encoderReading(axis);
        } else if (command == DeviceCommand::ReadEncodersMode1) {
            value = decodedEncoder(axis);   // before direction and offset
        } else {
            const EncoderPhysics& physics = axis == Axis::Ra ? config.raEncoder : config.decEncoder;
            value = rawDataBits(EncoderWord(physics.format, axisTurns(axis) + physics.zeroTurns),
                                axisSettings(axis).encoderFormat);
        }
        writeU32le(at, value);
    }
    reply(code(command), p, sizeof p);
}

void VirtualController::replyMotionStatus()
{
    const std::uint8_t p[3] = {bothAxes, motionStatus(Axis::Ra), motionStatus(Axis::Dec)};
    reply(code(DeviceCommand::ReadMotionStatus), p, sizeof p);
}

void VirtualController::replyAxisPositions()
{
    std::uint8_t p[11];
    p[0] = bothAxes;
    p[1] = motionStatus(Axis::Ra);
    p[2] = motionStatus(Axis::Dec);
    writeU32le(p + 3, static_cast<std::uint32_t>(axisPosition(Axis::Ra)));
    writeU32le(p + 7, static_cast<std::uint32_t>(axisPosition(Axis::Dec)));
    reply(code(DeviceCommand::ReadAxisPositions), p, sizeof p);
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
    return l;
}

// --- State ---

std::int32_t VirtualController::axisPosition(Axis axis) const { return drive(axis).reportedPosition(); }

double VirtualController::axisVelocity(Axis axis) const { return drive(axis).velocity(); }

std::uint8_t VirtualController::motionStatus(Axis axis) const { return drive(axis).motionStatus(limits(axis)); }

double VirtualController::axisTurns(Axis axis) const
{
    const std::uint32_t steps = axisSettings(axis).microsteps;
    return steps > 0 ? drive(axis).mechanicalSteps() / static_cast<double>(steps) : 0.0;
}

std::uint32_t VirtualController::decodedEncoder(Axis axis) const
{
    const EncoderPhysics& physics = axis == Axis::Ra ? config.raEncoder : config.decEncoder;
    const EncoderWord word(physics.format, axisTurns(axis) + physics.zeroTurns);
    return decodeEncoderWord(word, axisSettings(axis).encoderFormat);
}

std::uint32_t VirtualController::encoderReading(Axis axis) const
{
    const AxisSettings& a = axisSettings(axis);
    const bool reverse = active.reverseEncoderBits & (axis == Axis::Ra ? raBit : decBit);
    return calibratedEncoderCount(decodedEncoder(axis), a.encoderFormat, reverse, a.encoderOffset);
}

void VirtualController::setEncoderPhysics(Axis axis, const EncoderPhysics& physics)
{
    (axis == Axis::Ra ? config.raEncoder : config.decEncoder) = physics;
}

}  // namespace kv7::sim
