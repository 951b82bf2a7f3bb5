#include "protocol/ReplyLayout.h"

#include <algorithm>

namespace kv7 {

namespace {

using F = ReplyField;

// clang-format off
constexpr ReplyRow identifyRows[] = {{F::DeviceId, 3, 4, false}};
constexpr ReplyRow deviceByteRows[] = {{F::DeviceByte, 3, 1, false}};
constexpr ReplyRow deviceWordRows[] = {{F::DeviceWord, 3, 4, false}};
constexpr ReplyRow axisParameterRows[] = {
    {F::AxisSelector, 3, 1, false},
    {F::RaAxisByte, 4, 1, false},  {F::RaGearRatio, 5, 4, false},  {F::RaMicrosteps, 9, 4, false},
    {F::RaBaseSpeed, 13, 4, false},
    {F::DecAxisByte, 17, 1, false}, {F::DecGearRatio, 18, 4, false}, {F::DecMicrosteps, 22, 4, false},
    {F::DecBaseSpeed, 26, 4, false},
};
constexpr ReplyRow motorSettingRows[] = {
    {F::AxisSelector, 3, 1, false}, {F::ReverseMotorBits, 4, 1, false}, {F::MotorExtraByte, 5, 1, false},
    {F::RaMotorBlock, 6, motorBlockSize, false}, {F::DecMotorBlock, 33, motorBlockSize, false},
};
// The device and the channel carry the format RA first (flags and three
// sizes), then Dec.
constexpr ReplyRow encoderFormatRows[] = {
    {F::RaFlags, 3, 1, false},  {F::RaLeadingBits, 4, 1, false},  {F::RaBitsPerRevolution, 5, 1, false},
    {F::RaBitsForRevolutions, 6, 1, false},
    {F::DecFlags, 7, 1, false}, {F::DecLeadingBits, 8, 1, false}, {F::DecBitsPerRevolution, 9, 1, false},
    {F::DecBitsForRevolutions, 10, 1, false},
};
constexpr ReplyRow calibrationRows[] = {
    {F::ReverseEncoderBits, 3, 1, false}, {F::RaEncoderOffset, 4, 4, false}, {F::DecEncoderOffset, 8, 4, false},
};
constexpr ReplyRow encoderRows[] = {{F::RaEncoderPosition, 3, 4, false}, {F::DecEncoderPosition, 7, 4, false}};
constexpr ReplyRow motionStatusRows[] = {{F::AxisSelector, 3, 1, false}, {F::RaMotionStatus, 4, 1, false}, {F::DecMotionStatus, 5, 1, false}};
constexpr ReplyRow axisPositionRows[] = {
    {F::AxisSelector, 3, 1, false}, {F::RaMotionStatus, 4, 1, false}, {F::DecMotionStatus, 5, 1, false},
    {F::RaAxisPosition, 6, 4, true}, {F::DecAxisPosition, 10, 4, true},
};

template <std::size_t N>
constexpr ReplyLayout layout(DeviceCommand c, const ReplyRow (&rows)[N]) { return {c, rows, N}; }

const ReplyLayout layouts[] = {
    layout(DeviceCommand::Identify, identifyRows),
    layout(DeviceCommand::ReadDeviceByte, deviceByteRows),
    layout(DeviceCommand::ReadDeviceWord, deviceWordRows),
    layout(DeviceCommand::ReadAxisParameters, axisParameterRows),
    layout(DeviceCommand::ReadMotorSettings, motorSettingRows),
    layout(DeviceCommand::ReadEncoderFormat, encoderFormatRows),
    layout(DeviceCommand::ReadEncoderCalibration, calibrationRows),
    layout(DeviceCommand::ReadEncoders, encoderRows),
    layout(DeviceCommand::ReadMotionStatus, motionStatusRows),
    layout(DeviceCommand::ReadAxisPositions, axisPositionRows),
};
// clang-format on

std::uint32_t readField(const std::uint8_t* at, std::uint8_t width)
{
    std::uint32_t v = 0;
    for (std::uint8_t i = 0; i < width && i < 4; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return v;
}

void writeField(std::uint8_t* at, std::uint8_t width, std::uint32_t v)
{
    for (std::uint8_t i = 0; i < width && i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::size_t layoutEnd(const ReplyLayout& l)
{
    std::size_t end = 3;   // start, length, echoed code
    for (std::size_t i = 0; i < l.rowCount; ++i)
        end = std::max<std::size_t>(end, l.rows[i].offset + std::size_t{l.rows[i].width});
    return end;
}

int motorBlockIndex(ReplyField f) { return f == F::RaMotorBlock ? 0 : f == F::DecMotorBlock ? 1 : -1; }

}  // namespace

// clang-format off
const MotorRow motorBlockRows[motorFieldCount] = {
    {MotorField::SpeedFactor, 0, 2, false}, {MotorField::SettingG, 2, 1, false}, {MotorField::SettingA, 3, 2, false},
    {MotorField::SettingB0, 5, 2, false},   {MotorField::SettingB1, 7, 2, false}, {MotorField::SettingB2, 9, 2, false},
    {MotorField::SettingC0, 11, 1, false},  {MotorField::SettingC1, 12, 1, false}, {MotorField::SettingC2, 13, 1, false},
    {MotorField::SettingE0, 14, 1, false},  {MotorField::SettingE1, 15, 1, false},
    {MotorField::SettingD0, 16, 1, false},  {MotorField::SettingD1, 17, 1, false},
    {MotorField::SettingF0, 18, 2, false},  {MotorField::SettingF1, 20, 2, false},
    {MotorField::SettingH, 22, 1, false},   {MotorField::SettingI, 23, 4, false},
};
// clang-format on

const ReplyLayout* replyLayout(DeviceCommand command)
{
    for (const ReplyLayout& l : layouts) {
        if (l.command == command)
            return &l;
    }
    return nullptr;
}

std::uint8_t leastReplyLength(DeviceCommand command)
{
    const ReplyLayout* l = replyLayout(command);
    return l ? static_cast<std::uint8_t>(layoutEnd(*l) - 2) : 0;
}

bool decodeReply(const ReplyLayout& layout, const std::uint8_t* frame, std::size_t frameLength, ReplyValues& out)
{
    const std::size_t end = layoutEnd(layout);
    if (frameLength < 2 || frameLength < end || static_cast<std::size_t>(frame[1]) + 2 < end)
        return false;
    for (std::size_t i = 0; i < layout.rowCount; ++i) {
        const ReplyRow& row = layout.rows[i];
        const int block = motorBlockIndex(row.field);
        if (block >= 0)
            out.motorBlock[block] = frame + row.offset;
        else
            out[row.field] = readField(frame + row.offset, row.width);
    }
    return true;
}

std::size_t encodeReply(const ReplyLayout& layout, const ReplyValues& values, std::uint8_t* out, std::size_t capacity)
{
    const std::size_t end = layoutEnd(layout);
    if (capacity < end)
        return 0;
    std::fill(out, out + end, std::uint8_t{0});
    out[0] = replyStartByte;
    out[1] = static_cast<std::uint8_t>(end - 2);
    out[2] = static_cast<std::uint8_t>(layout.command);
    for (std::size_t i = 0; i < layout.rowCount; ++i) {
        const ReplyRow& row = layout.rows[i];
        const int block = motorBlockIndex(row.field);
        if (block >= 0) {
            if (values.motorBlock[block])
                std::copy(values.motorBlock[block], values.motorBlock[block] + row.width, out + row.offset);
        } else {
            writeField(out + row.offset, row.width, values[row.field]);
        }
    }
    return end;
}

const char* replyFieldName(ReplyField field)
{
    static constexpr const char* names[replyFieldCount] = {
        "AxisSelector",
        "DeviceId",
        "DeviceByte",
        "DeviceWord",
        "RaAxisByte",
        "RaGearRatio",
        "RaMicrosteps",
        "RaBaseSpeed",
        "DecAxisByte",
        "DecGearRatio",
        "DecMicrosteps",
        "DecBaseSpeed",
        "ReverseMotorBits",
        "MotorExtraByte",
        "RaMotorBlock",
        "DecMotorBlock",
        "RaFlags",
        "RaLeadingBits",
        "RaBitsPerRevolution",
        "RaBitsForRevolutions",
        "DecFlags",
        "DecLeadingBits",
        "DecBitsPerRevolution",
        "DecBitsForRevolutions",
        "ReverseEncoderBits",
        "RaEncoderOffset",
        "DecEncoderOffset",
        "RaEncoderPosition",
        "DecEncoderPosition",
        "RaMotionStatus",
        "DecMotionStatus",
        "RaAxisPosition",
        "DecAxisPosition",
    };
    const auto i = static_cast<std::size_t>(field);
    return i < replyFieldCount ? names[i] : "?";
}

std::uint32_t readMotorField(const std::uint8_t* block, MotorField field)
{
    const MotorRow& row = motorBlockRows[static_cast<std::size_t>(field)];
    return readField(block + row.offset, row.width);
}

void writeMotorField(std::uint8_t* block, MotorField field, std::uint32_t value)
{
    const MotorRow& row = motorBlockRows[static_cast<std::size_t>(field)];
    writeField(block + row.offset, row.width, value);
}

}  // namespace kv7
