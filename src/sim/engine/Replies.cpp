// The controller's replies: each laid out by the shared reply layouts, then
// put on the line with whatever faults the configuration asks for.
#include <algorithm>

#include "sim/engine/VirtualController.h"

namespace kv7::sim {

namespace {

constexpr std::uint8_t bothAxes = axisBoth;

std::uint8_t code(DeviceCommand c) { return static_cast<std::uint8_t>(c); }

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

void VirtualController::replyOneField(DeviceCommand command, ReplyField field, std::uint32_t value)
{
    ReplyValues v;
    v[field] = value;
    replyWith(command, v);
}

void VirtualController::replyDeviceWord()
{
    replyOneField(DeviceCommand::ReadDeviceWord, ReplyField::DeviceWord, active.deviceWord);
}

void VirtualController::replyDeviceByte()
{
    replyOneField(DeviceCommand::ReadDeviceByte, ReplyField::DeviceByte, active.deviceByte);
}

void VirtualController::replyIdentify() { replyOneField(DeviceCommand::Identify, ReplyField::DeviceId, active.deviceId); }

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

std::uint32_t VirtualController::encoderValue(DeviceCommand command, Axis axis, ReadingDraw draw) const
{
    if (command == DeviceCommand::ReadEncoders)
        return calibratedReading(axis, draw);
    if (command == DeviceCommand::ReadEncodersMode1)
        return decodedEncoder(axis, draw);   // before direction and offset
    return rawDataBits(encoderWord(axis, draw), axisSettings(axis).encoderFormat);
}

void VirtualController::replyEncoders(DeviceCommand command)
{
    // The diagnostic modes answer in the layout of the plain reading; each
    // reply, whatever its mode, reads the encoders afresh, noise, bit errors and all.
    ReplyValues v;
    v[ReplyField::RaEncoderPosition] = encoderValue(command, Axis::Ra, drawReading(Axis::Ra));
    v[ReplyField::DecEncoderPosition] = encoderValue(command, Axis::Dec, drawReading(Axis::Dec));
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

}  // namespace kv7::sim
