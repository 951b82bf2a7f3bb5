#include "protocol/DeviceProtocol.h"

#include <cstring>

namespace kv7 {

std::uint8_t payloadLength(PayloadShape shape)
{
    switch (shape) {
    case PayloadShape::Code: return 1;
    case PayloadShape::CodeByte: return 2;
    case PayloadShape::CodeByteByte: return 3;
    case PayloadShape::CodeThreeBytes: return 4;
    case PayloadShape::CodeByteWord16: return 4;
    case PayloadShape::CodeFourBytes: return 5;
    case PayloadShape::CodeByteWord32: return 6;
    case PayloadShape::CodeTwoBytesWord32: return 7;
    case PayloadShape::CodeNineBytes: return 10;
    case PayloadShape::CodeTwoBytesTwoWord32: return 11;
    }
    return 0;
}

// clang-format off
const DeviceCommandInfo deviceCommands[] = {
    {DeviceCommand::Identify,                "Identify",                PayloadShape::Code,                  4,  5},
    {DeviceCommand::ReadDeviceWord,          "ReadDeviceWord",          PayloadShape::Code,                  6,  5},
    {DeviceCommand::ReadDeviceByte,          "ReadDeviceByte",          PayloadShape::Code,                  5,  2},
    {DeviceCommand::StoreParameters,         "StoreParameters",         PayloadShape::CodeByte,              20, 0},
    {DeviceCommand::ReadAxisParameters,      "ReadAxisParameters",      PayloadShape::Code,                  7,  28},
    {DeviceCommand::ReadMotorSettings,       "ReadMotorSettings",       PayloadShape::Code,                  8,  58},
    {DeviceCommand::ReadEncoderFormat,       "ReadEncoderFormat",       PayloadShape::Code,                  9,  9},
    {DeviceCommand::WriteEncoderFormat,      "WriteEncoderFormat",      PayloadShape::CodeNineBytes,         0,  0},
    {DeviceCommand::ReadMotionStatus,        "ReadMotionStatus",        PayloadShape::CodeByte,              16, 4},
    {DeviceCommand::ReadAxisPositions,       "ReadAxisPositions",       PayloadShape::CodeByteByte,          18, 12},
    {DeviceCommand::SetAxisPositions,        "SetAxisPositions",        PayloadShape::CodeTwoBytesTwoWord32, 0,  0},
    {DeviceCommand::StopAxes,                "StopAxes",                PayloadShape::CodeByteByte,          0,  0},
    {DeviceCommand::MoveAtSpeed,             "MoveAtSpeed",             PayloadShape::CodeTwoBytesWord32,  0,  0},
    {DeviceCommand::SetTrackingMode,         "SetTrackingMode",         PayloadShape::CodeByteByte,          0,  0},
    {DeviceCommand::GoToAxisPositions,       "GoToAxisPositions",       PayloadShape::CodeTwoBytesTwoWord32, 14, 0},
    {DeviceCommand::WriteMotorFlags,         "WriteMotorFlags",         PayloadShape::CodeFourBytes,         0,  0},
    {DeviceCommand::ReadEncoders,            "ReadEncoders",            PayloadShape::CodeByte,              11, 9},
    {DeviceCommand::ReadEncoderCalibration,  "ReadEncoderCalibration",  PayloadShape::Code,                  10, 10},
    {DeviceCommand::WriteEncoderCalibration, "WriteEncoderCalibration", PayloadShape::CodeTwoBytesTwoWord32, 19, 0},
    {DeviceCommand::ReadEncodersMode1,       "ReadEncodersMode1",       PayloadShape::CodeByte,              11, 0},
    {DeviceCommand::ReadEncodersMode2,       "ReadEncodersMode2",       PayloadShape::CodeByte,              11, 0},
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

namespace {

std::size_t head(std::uint8_t* out, std::uint8_t length, std::uint8_t code)
{
    out[0] = commandStartByte;
    out[1] = length;
    out[2] = code;
    return 3;
}

std::uint8_t low(std::uint32_t v) { return static_cast<std::uint8_t>(v); }

}  // namespace

std::size_t encodeCode(std::uint8_t* out, std::uint8_t code) { return head(out, 1, code); }

std::size_t encodeCodeByte(std::uint8_t* out, std::uint8_t code, std::uint32_t b1)
{
    head(out, 2, code);
    out[3] = low(b1);
    return 4;
}

std::size_t encodeCodeByteByte(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2)
{
    head(out, 3, code);
    out[3] = low(b1);
    out[4] = low(b2);
    return 5;
}

std::size_t encodeCodeThreeBytes(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2,
                                 std::uint32_t b3)
{
    head(out, 4, code);
    out[3] = low(b1);
    out[4] = low(b2);
    out[5] = low(b3);
    return 6;
}

std::size_t encodeCodeByteWord16(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t w)
{
    head(out, 4, code);
    out[3] = low(b1);
    writeU16le(out + 4, w);
    return 6;
}

std::size_t encodeCodeFourBytes(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2,
                                std::uint32_t b3, std::uint32_t b4)
{
    head(out, 5, code);
    out[3] = low(b1);
    out[4] = low(b2);
    out[5] = low(b3);
    out[6] = low(b4);
    return 7;
}

std::size_t encodeCodeByteWord32(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t v)
{
    head(out, 6, code);
    out[3] = low(b1);
    writeU32le(out + 4, v);
    return 8;
}

std::size_t encodeCodeTwoBytesWord32(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2,
                                     std::uint32_t v)
{
    head(out, 7, code);
    out[3] = low(b1);
    out[4] = low(b2);
    writeU32le(out + 5, v);
    return 9;
}

std::size_t encodeCodeNineBytes(std::uint8_t* out, std::uint8_t code, const std::uint8_t bytes[9])
{
    head(out, 10, code);
    std::memcpy(out + 3, bytes, 9);
    return 12;
}

std::size_t encodeCodeTwoBytesTwoWord32(std::uint8_t* out, std::uint8_t code, std::uint32_t b1,
                                        std::uint32_t b2, std::uint32_t v1, std::uint32_t v2)
{
    head(out, 11, code);
    out[3] = low(b1);
    out[4] = low(b2);
    writeU32le(out + 5, v1);
    writeU32le(out + 9, v2);
    return 13;
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
    // A reply shorter than its layout must not show what an earlier frame
    // left behind: the bytes just past the payload read as zero. 64 bytes
    // cover the longest layout any reader looks at.
    std::size_t from = static_cast<std::size_t>(writePosition);
    std::size_t to = from + 64 < bufferSize ? from + 64 : bufferSize;
    std::memset(buffer + from, 0, to - from);
    state = WaitStart;
    return true;
}

}  // namespace kv7
