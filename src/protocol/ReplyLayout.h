// Where each field of a reply sits, written once: the link decodes replies
// by walking these rows and the simulator encodes its replies with the same
// rows. Offsets count frame bytes (0x55 is byte 0, L byte 1, the echoed
// command code byte 2), so a row reads as the frame looks on the wire.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/DeviceProtocol.h"

namespace kv7 {

enum class ReplyField : std::uint8_t {
    AxisSelector,    // 192: both axes, in the replies that carry both
    DeviceId,
    DeviceByte,
    DeviceWord,
    RaAxisByte,
    RaGearRatio,
    RaMicrosteps,
    RaBaseSpeed,
    DecAxisByte,
    DecGearRatio,
    DecMicrosteps,
    DecBaseSpeed,
    ReverseMotorBits,
    MotorExtraByte,
    RaMotorBlock,    // a motor settings block of motorBlockSize bytes (motorBlockRows)
    DecMotorBlock,
    RaFlags,
    RaLeadingBits,
    RaBitsPerRevolution,
    RaBitsForRevolutions,
    DecFlags,
    DecLeadingBits,
    DecBitsPerRevolution,
    DecBitsForRevolutions,
    ReverseEncoderBits,
    RaEncoderOffset,
    DecEncoderOffset,
    RaEncoderPosition,
    DecEncoderPosition,
    RaMotionStatus,
    DecMotionStatus,
    RaAxisPosition,
    DecAxisPosition,
    Count
};
constexpr std::size_t replyFieldCount = static_cast<std::size_t>(ReplyField::Count);

// The fields inside a motor settings block, offsets from the block's start.
enum class MotorField : std::uint8_t {
    SpeedFactor,
    SettingG,
    SettingA,
    SettingB0, SettingB1, SettingB2,
    SettingC0, SettingC1, SettingC2,
    SettingE0, SettingE1,
    SettingD0, SettingD1,
    SettingF0, SettingF1,
    SettingH,
    SettingI,
    Count
};
constexpr std::size_t motorFieldCount = static_cast<std::size_t>(MotorField::Count);
constexpr std::uint8_t motorBlockSize = 27;

template <typename Field>
struct FieldRow {
    Field field;
    std::uint8_t offset;
    std::uint8_t width;   // 1, 2 or 4 bytes; a motor block row spans motorBlockSize
    bool isSigned;
};
using ReplyRow = FieldRow<ReplyField>;
using MotorRow = FieldRow<MotorField>;

struct ReplyLayout {
    DeviceCommand command;
    const ReplyRow* rows;
    std::size_t rowCount;
};

// The layout of the reply to a command; null for replies whose content
// nobody reads (go-to, store, calibration written, the other reading modes).
const ReplyLayout* replyLayout(DeviceCommand command);

// The least L of a reply that holds every field of its layout (0 without one).
std::uint8_t leastReplyLength(DeviceCommand command);

extern const MotorRow motorBlockRows[motorFieldCount];

// A reply's fields as numbers: unsigned fields as read, signed 32-bit ones
// as their two's complement. Motor blocks are pointed at, not copied.
struct ReplyValues {
    std::uint32_t value[replyFieldCount] = {};
    const std::uint8_t* motorBlock[2] = {};   // RA, Dec

    std::uint32_t operator[](ReplyField f) const { return value[static_cast<std::size_t>(f)]; }
    std::uint32_t& operator[](ReplyField f) { return value[static_cast<std::size_t>(f)]; }
};

// Reads every field of the layout from a frame of frameLength bytes (start
// and length byte included). False, with nothing read, when the frame is
// shorter than the layout or its L says so.
bool decodeReply(const ReplyLayout& layout, const std::uint8_t* frame, std::size_t frameLength, ReplyValues& out);

// Writes 55 L, the echoed code and the fields in out (capacity bytes) and
// returns the frame length; 0 when it does not fit.
std::size_t encodeReply(const ReplyLayout& layout, const ReplyValues& values, std::uint8_t* out, std::size_t capacity);

// A field's name as the enumerator spells it ("RaGearRatio"), for people
// reading frames.
const char* replyFieldName(ReplyField field);

// One motor block field from a block of motorBlockSize bytes, and into one.
std::uint32_t readMotorField(const std::uint8_t* block, MotorField field);
void writeMotorField(std::uint8_t* block, MotorField field, std::uint32_t value);

}  // namespace kv7
