// The KV7 serial protocol as data: the device command table with each
// command's argument fields, one frame encoder that walks it, and the two
// framers (replies for the link, commands for anything that stands in for
// the controller). Reply layouts are in protocol/ReplyLayout.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/ByteOrder.h"

namespace kv7 {

constexpr std::uint8_t commandStartByte = 0xAA;
constexpr std::uint8_t replyStartByte = 0x55;

enum class DeviceCommand : std::uint8_t {
    Identify = 1,
    ReadDeviceWord = 2,
    ReadDeviceByte = 3,
    StoreParameters = 13,
    ReadAxisParameters = 20,
    ReadMotorSettings = 21,
    ReadEncoderFormat = 23,
    WriteEncoderFormat = 24,
    ReadMotionStatus = 30,
    ReadAxisPositions = 31,
    SetAxisPositions = 32,
    StopAxes = 33,
    MoveAtSpeed = 35,
    SetTrackingMode = 36,
    GoToAxisPositions = 37,
    WriteMotorFlags = 50,
    ReadEncoders = 122,
    ReadEncoderCalibration = 123,
    WriteEncoderCalibration = 124,
    ReadEncodersMode1 = 125,
    ReadEncodersMode2 = 126,
};

// Axis selector bytes.
constexpr std::uint8_t axisRa = 128;
constexpr std::uint8_t axisDec = 64;
constexpr std::uint8_t axisBoth = 192;

// A command's argument fields after its code, by width in bytes; the
// payload length L is 1 plus their sum. Arguments are unsigned on the wire;
// signed values travel as their two's complement.
constexpr std::size_t maxCommandArguments = 9;

struct DeviceCommandInfo {
    DeviceCommand code;
    const char* name;
    std::uint8_t argumentCount;
    std::uint8_t argumentWidths[maxCommandArguments];
};

extern const DeviceCommandInfo deviceCommands[];
extern const std::size_t deviceCommandCount;

// Null for a code that is not in the table.
const DeviceCommandInfo* findDeviceCommand(std::uint8_t code);
std::uint8_t payloadLength(const DeviceCommandInfo& info);

// Lays out AA, L, code and the arguments, each cut to its field width, in
// out (at least maxCommandFrame bytes) and returns the frame length; 0 when
// the count of arguments is not the command's.
constexpr std::size_t maxCommandFrame = 13;
std::size_t encodeCommand(std::uint8_t* out, DeviceCommand command, const std::uint32_t* arguments,
                          std::size_t count);
template <std::size_t N>
std::size_t encodeCommand(std::uint8_t* out, DeviceCommand command, const std::uint32_t (&arguments)[N])
{
    return encodeCommand(out, command, arguments, N);
}
inline std::size_t encodeCommand(std::uint8_t* out, DeviceCommand command)
{
    return encodeCommand(out, command, nullptr, 0);
}

// Cuts a byte stream into frames of the form start, L, payload. There is
// no checksum and no time-out between bytes: a partial frame waits for the
// rest across any number of calls. Reply frames start with 0x55, command
// frames with 0xAA.
class FrameAssembler {
public:
    static constexpr std::size_t bufferSize = 8000;
    enum State : std::int32_t { WaitStart = 0, WaitLength = 1, InPayload = 2 };

    explicit FrameAssembler(std::uint8_t startByte) : start(startByte) {}

    // Takes one byte; true when it completed a frame, which frame() then
    // holds until the next push.
    bool push(std::uint8_t b);
    void reset() { state = WaitStart; }

    const std::uint8_t* frame() const { return buffer; }
    std::uint8_t length() const { return buffer[1]; }
    State currentState() const { return static_cast<State>(state); }

private:
    bool complete();

    std::uint8_t start;
    std::int32_t state = WaitStart;
    std::int32_t expectedLength = 0;
    std::int32_t payloadCount = 0;
    std::int32_t writePosition = 0;
    std::uint8_t buffer[bufferSize] = {};
};

}  // namespace kv7
