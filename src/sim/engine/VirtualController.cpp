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
    // Every reply echoes the command code as its first payload byte; the
    // identify check of the link relies on that (Identify is code 1).
    std::uint8_t frame[2 + 1 + 255];
    const std::size_t l = std::min<std::size_t>(length + 1, 255);
    frame[0] = replyStartByte;
    frame[1] = static_cast<std::uint8_t>(l);
    frame[2] = answered;
    std::copy(payload, payload + (l - 1), frame + 3);
    emit(frame, l + 2);
}

void VirtualController::replyWith(DeviceCommand command, const ReplyValues& values)
{
    std::uint8_t frame[2 + 255];
    const std::size_t n = encodeReply(*replyLayout(command), values, frame, sizeof frame);
    if (command == DeviceCommand::Identify && config.faults.wrongIdentify)
        frame[2] = 2;   // a different device family answers with another type byte
    emit(frame, n);
}

void VirtualController::emit(std::uint8_t* frame, std::size_t length)
{
    if (config.faults.silent || length < 3)
        return;
    if (config.faults.quietAfterFrames >= 0 && frameCount > static_cast<std::uint64_t>(config.faults.quietAfterFrames))
        return;
    const std::uint8_t answered = frame[2];
    if (config.faults.shortReplyCode == answered) {
        frame[1] = 1;
        length = 3;
    }
    if (frameObserver)
        frameObserver->onReplyFrame(answered, frame, length);

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
    for (std::size_t i = 0; i < length; ++i) {
        if (!lost())
            output.push_back({at, frame[i]});
    }
}

void VirtualController::replyAck(std::uint8_t answered) { reply(answered, nullptr, 0); }

void VirtualController::replyIdentify()
{
    ReplyValues v;
    v[ReplyField::DeviceId] = active.deviceId;
    replyWith(DeviceCommand::Identify, v);
}

void VirtualController::replyAxisParameters()
{
    ReplyValues v;
    v[ReplyField::AxisSelector] = bothAxes;
    v[ReplyField::RaAxisByte] = active.ra.axisByte;
    v[ReplyField::RaGearRatio] = active.ra.gearRatio;
    v[ReplyField::RaMicrosteps] = active.ra.microsteps;
    v[ReplyField::RaBaseSpeed] = active.ra.baseSpeed;
    v[ReplyField::DecAxisByte] = active.dec.axisByte;
    v[ReplyField::DecGearRatio] = active.dec.gearRatio;
    v[ReplyField::DecMicrosteps] = active.dec.microsteps;
    v[ReplyField::DecBaseSpeed] = active.dec.baseSpeed;
    replyWith(DeviceCommand::ReadAxisParameters, v);
}

void VirtualController::replyMotorSettings()
{
    // The controller keeps everything after the speed factor as it came.
    std::uint8_t blocks[2][motorBlockSize] = {};
    const AxisSettings* axes[2] = {&active.ra, &active.dec};
    ReplyValues v;
    for (int i = 0; i < 2; ++i) {
        writeMotorField(blocks[i], MotorField::SpeedFactor, axes[i]->speedFactor);
        std::copy(axes[i]->motorBytes.begin(), axes[i]->motorBytes.end(),
                  blocks[i] + motorBlockRows[static_cast<std::size_t>(MotorField::SettingG)].offset);
        v.motorBlock[i] = blocks[i];
    }
    v[ReplyField::AxisSelector] = bothAxes;
    v[ReplyField::ReverseMotorBits] = active.reverseMotorBits;
    v[ReplyField::MotorExtraByte] = active.motorExtraByte;
    replyWith(DeviceCommand::ReadMotorSettings, v);
}

void VirtualController::replyEncoderFormat()
{
    ReplyValues v;
    const EncoderFormatBytes& ra = active.ra.encoderFormat;
    const EncoderFormatBytes& dec = active.dec.encoderFormat;
    v[ReplyField::RaFlags] = ra.flags;
    v[ReplyField::RaLeadingBits] = ra.leadingBits;
    v[ReplyField::RaBitsPerRevolution] = ra.bitsPerRevolution;
    v[ReplyField::RaBitsForRevolutions] = ra.bitsForRevolutions;
    v[ReplyField::DecFlags] = dec.flags;
    v[ReplyField::DecLeadingBits] = dec.leadingBits;
    v[ReplyField::DecBitsPerRevolution] = dec.bitsPerRevolution;
    v[ReplyField::DecBitsForRevolutions] = dec.bitsForRevolutions;
    replyWith(DeviceCommand::ReadEncoderFormat, v);
}

void VirtualController::replyEncoderCalibration()
{
    ReplyValues v;
    v[ReplyField::ReverseEncoderBits] = active.reverseEncoderBits;
    v[ReplyField::RaEncoderOffset] = active.ra.encoderOffset;
    v[ReplyField::DecEncoderOffset] = active.dec.encoderOffset;
    replyWith(DeviceCommand::ReadEncoderCalibration, v);
}

std::uint32_t VirtualController::encoderValue(DeviceCommand command, Axis axis)
{
    if (command == DeviceCommand::ReadEncoders)
        return encoderReading(axis);
    if (command == DeviceCommand::ReadEncodersMode1)
        return decodedEncoder(axis);   // before direction and offset
    const EncoderPhysics& physics = axis == Axis::Ra ? config.raEncoder : config.decEncoder;
    return rawDataBits(EncoderWord(physics.format, axisTurns(axis) + physics.zeroTurns),
                       axisSettings(axis).encoderFormat);
}

void VirtualController::replyEncoders(DeviceCommand command)
{
    // The diagnostic modes answer in the layout of the plain reading.
    ReplyValues v;
    v[ReplyField::RaEncoderPosition] = encoderValue(command, Axis::Ra);
    v[ReplyField::DecEncoderPosition] = encoderValue(command, Axis::Dec);
    std::uint8_t frame[2 + 255];
    const std::size_t n = encodeReply(*replyLayout(DeviceCommand::ReadEncoders), v, frame, sizeof frame);
    frame[2] = code(command);
    emit(frame, n);
}

void VirtualController::replyMotionStatus()
{
    ReplyValues v;
    v[ReplyField::AxisSelector] = bothAxes;
    v[ReplyField::RaMotionStatus] = motionStatus(Axis::Ra);
    v[ReplyField::DecMotionStatus] = motionStatus(Axis::Dec);
    replyWith(DeviceCommand::ReadMotionStatus, v);
}

void VirtualController::replyAxisPositions()
{
    ReplyValues v;
    v[ReplyField::AxisSelector] = bothAxes;
    v[ReplyField::RaMotionStatus] = motionStatus(Axis::Ra);
    v[ReplyField::DecMotionStatus] = motionStatus(Axis::Dec);
    v[ReplyField::RaAxisPosition] = static_cast<std::uint32_t>(axisPosition(Axis::Ra));
    v[ReplyField::DecAxisPosition] = static_cast<std::uint32_t>(axisPosition(Axis::Dec));
    replyWith(DeviceCommand::ReadAxisPositions, v);
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
