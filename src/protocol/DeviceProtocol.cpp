#include "protocol/DeviceProtocol.h"


namespace kv7 {

// clang-format off
const DeviceCommandInfo deviceCommands[] = {
    {DeviceCommand::Identify,                "Identify",                0, {}},
    {DeviceCommand::ReadDeviceWord,          "ReadDeviceWord",          0, {}},
    {DeviceCommand::ReadDeviceByte,          "ReadDeviceByte",          0, {}},
    {DeviceCommand::StoreParameters,         "StoreParameters",         1, {1}},
    {DeviceCommand::ReadAxisParameters,      "ReadAxisParameters",      0, {}},
    {DeviceCommand::ReadMotorSettings,       "ReadMotorSettings",       0, {}},
    {DeviceCommand::ReadEncoderFormat,       "ReadEncoderFormat",       0, {}},
    // 1, then RA flags, leading bits, bits per revolution, bits for revolutions, then Dec's
    {DeviceCommand::WriteEncoderFormat,      "WriteEncoderFormat",      9, {1, 1, 1, 1, 1, 1, 1, 1, 1}},
    {DeviceCommand::ReadMotionStatus,        "ReadMotionStatus",        1, {1}},
    {DeviceCommand::ReadAxisPositions,       "ReadAxisPositions",       2, {1, 1}},
    // 1, axis selector, RA position, Dec position
    {DeviceCommand::SetAxisPositions,        "SetAxisPositions",        4, {1, 1, 4, 4}},
    {DeviceCommand::StopAxes,                "StopAxes",                2, {1, 1}},
    // 0, axis selector, speed in microsteps per second
    {DeviceCommand::MoveAtSpeed,             "MoveAtSpeed",             3, {1, 1, 4}},
    {DeviceCommand::SetTrackingMode,         "SetTrackingMode",         2, {1, 1}},
    {DeviceCommand::GoToAxisPositions,       "GoToAxisPositions",       4, {1, 1, 4, 4}},
    // 0, axis selector, reverse bits, extra byte
    {DeviceCommand::WriteMotorFlags,         "WriteMotorFlags",         4, {1, 1, 1, 1}},
    {DeviceCommand::ReadEncoders,            "ReadEncoders",            1, {1}},
    {DeviceCommand::ReadEncoderCalibration,  "ReadEncoderCalibration",  0, {}},
    // 1, reverse bits, RA offset, Dec offset
    {DeviceCommand::WriteEncoderCalibration, "WriteEncoderCalibration", 4, {1, 1, 4, 4}},
    {DeviceCommand::ReadEncodersMode1,       "ReadEncodersMode1",       1, {1}},
    {DeviceCommand::ReadEncodersMode2,       "ReadEncodersMode2",       1, {1}},
};
// clang-format on
const std::size_t deviceCommandCount = sizeof(deviceCommands) / sizeof(deviceCommands[0]);

const DeviceCommandInfo* findDeviceCommand(std::uint8_t code)
{
    for (const DeviceCommandInfo& info : deviceCommands) {
        if (static_cast<std::uint8_t>(info.code) == code)
            return &info;
    }
    return nullptr;
}

std::uint8_t payloadLength(const DeviceCommandInfo& info)
{
    std::uint8_t length = 1;
    for (std::uint8_t i = 0; i < info.argumentCount; ++i)
        length = static_cast<std::uint8_t>(length + info.argumentWidths[i]);
    return length;
}

std::size_t encodeCommand(std::uint8_t* out, DeviceCommand command, const std::uint32_t* arguments,
                          std::size_t count)
{
    const DeviceCommandInfo* info = findDeviceCommand(static_cast<std::uint8_t>(command));
    if (!info || count != info->argumentCount)
        return 0;
    out[0] = commandStartByte;
    out[1] = payloadLength(*info);
    out[2] = static_cast<std::uint8_t>(command);
    std::size_t at = 3;
    for (std::size_t i = 0; i < count; ++i) {
        for (std::uint8_t b = 0; b < info->argumentWidths[i]; ++b)
            out[at++] = static_cast<std::uint8_t>(arguments[i] >> (8 * b));
    }
    return at;
}

bool FrameAssembler::push(std::uint8_t b)
{
    switch (state) {
    case WaitStart:
        if (b == start) {
            buffer[0] = b;
            state = WaitLength;
        }
        return false;
    case WaitLength:
        buffer[1] = b;
        expectedLength = b;
        payloadCount = 0;
        writePosition = 2;
        if (b == 0)
            return complete();
        state = InPayload;
        return false;
    case InPayload:
        ++payloadCount;
        if (writePosition <= static_cast<std::int32_t>(bufferSize) - 1)
            buffer[writePosition++] = b;
        if (payloadCount >= expectedLength)
            return complete();
        return false;
    default:
        state = WaitStart;
        return false;
    }
}

bool FrameAssembler::complete()
{
    // Nothing is cleared past the payload: every reader checks a frame's
    // length against its layout before it reads a field.
    state = WaitStart;
    return true;
}

}  // namespace kv7
