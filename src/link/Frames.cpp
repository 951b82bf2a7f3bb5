// Frames on the line: requests sent by what they mean, each laid out by the
// device command table, and received bytes cut into replies.
#include "link/CommControl.h"

namespace kv7 {

namespace {

constexpr int frameWriteTimeoutMs = 1000;

std::uint32_t word(std::int32_t v) { return static_cast<std::uint32_t>(v); }

}  // namespace

bool CommControl::writeFrame(const std::uint8_t* frame, std::size_t length)
{
    if (!port || frameFailed || length == 0)
        return false;
    if (!port->write(frame, length, frameWriteTimeoutMs))
        frameFailed = true;
    return !frameFailed;
}

int CommControl::feedReplyBytes(const std::uint8_t* bytes, std::size_t count)
{
    // A frame that completes the connect sequence or fails it decides the
    // result, whatever frames follow in the same chunk. Taking the last
    // frame's result instead would leave the port open after a wrong
    // identify reply with more bytes behind it, or the link never ready
    // after a stray frame behind the last connect reply. The rest of a
    // chunk after a failure goes with the port.
    int result = LinkResult::Nothing;
    for (std::size_t i = 0; i < count; ++i) {
        if (!framer.push(bytes[i]))
            continue;
        const std::size_t length = std::min<std::size_t>(framer.length() + std::size_t{2}, FrameAssembler::bufferSize);
        const int r = handleReply(framer.frame(), length);
        if (r != LinkResult::Nothing)
            result = r;
        if (r == LinkResult::ClosePort)
            break;
    }
    return result;
}

void CommControl::send(DeviceCommand command, const std::uint32_t* arguments, std::size_t count)
{
    std::uint8_t frame[maxCommandFrame];
    writeFrame(frame, encodeCommand(frame, command, arguments, count));
}

void CommControl::sendRequest(DeviceCommand command) { send(command, nullptr, 0); }

void CommControl::sendGoTo(std::int32_t ra, std::int32_t dec)
{
    const std::uint32_t args[] = {1, axisBoth, word(ra), word(dec)};
    send(DeviceCommand::GoToAxisPositions, args, 4);
}

void CommControl::sendSetAxisPositions(std::int32_t ra, std::int32_t dec)
{
    const std::uint32_t args[] = {1, axisBoth, word(ra), word(dec)};
    send(DeviceCommand::SetAxisPositions, args, 4);
}

void CommControl::sendMoveAtSpeed(std::uint8_t axes, std::int32_t speed)
{
    const std::uint32_t args[] = {0, axes, word(speed)};
    send(DeviceCommand::MoveAtSpeed, args, 3);
}

void CommControl::sendStopAxes(std::uint8_t axes)
{
    const std::uint32_t args[] = {0, axes};
    send(DeviceCommand::StopAxes, args, 2);
}

void CommControl::sendTracking(std::uint8_t on)
{
    const std::uint32_t args[] = {0, on};
    send(DeviceCommand::SetTrackingMode, args, 2);
}

void CommControl::sendMotorFlags(std::uint8_t reverseBits, std::uint8_t extra)
{
    const std::uint32_t args[] = {0, axisBoth, reverseBits, extra};
    send(DeviceCommand::WriteMotorFlags, args, 4);
}

void CommControl::sendEncoderFormat(const std::uint8_t wireFormat[8])
{
    std::uint32_t args[9] = {1};
    for (int i = 0; i < 8; ++i)
        args[i + 1] = wireFormat[i];
    send(DeviceCommand::WriteEncoderFormat, args, 9);
}

void CommControl::sendEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset, std::uint32_t decOffset)
{
    const std::uint32_t args[] = {1, reverseBits, raOffset, decOffset};
    send(DeviceCommand::WriteEncoderCalibration, args, 4);
}

void CommControl::sendStore()
{
    const std::uint32_t args[] = {1};
    send(DeviceCommand::StoreParameters, args, 1);
}

void CommControl::sendMotionPoll()
{
    const std::uint32_t args[] = {1};
    send(DeviceCommand::ReadMotionStatus, args, 1);
}

void CommControl::sendReadAxisPositions()
{
    const std::uint32_t args[] = {1, axisBoth};
    send(DeviceCommand::ReadAxisPositions, args, 2);
}

void CommControl::sendReadEncoders(std::uint8_t mode)
{
    if (mode == ReadMode::Axes) {
        sendReadAxisPositions();
        return;
    }
    const std::uint32_t args[] = {1};
    const DeviceCommand command = mode == ReadMode::Encoders  ? DeviceCommand::ReadEncoders
                                  : mode == ReadMode::Decoded ? DeviceCommand::ReadEncodersMode1
                                                              : DeviceCommand::ReadEncodersMode2;
    send(command, args, 1);
}

}  // namespace kv7
