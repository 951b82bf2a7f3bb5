// The KV7 serial protocol as data: the device command table, the frame
// encoders and the two framers (replies for the link, commands for anything
// that stands in for the controller).
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

// Payload shapes of command frames; the payload length L follows from it.
enum class PayloadShape : std::uint8_t {
    Code,                       // L 1
    CodeByte,                   // L 2
    CodeByteByte,               // L 3
    CodeThreeBytes,             // L 4
    CodeByteWord16,             // L 4
    CodeFourBytes,              // L 5
    CodeByteWord32,             // L 6
    CodeTwoBytesWord32,         // L 7
    CodeNineBytes,              // L 10
    CodeTwoBytesTwoWord32,      // L 11
};

std::uint8_t payloadLength(PayloadShape shape);

struct DeviceCommandInfo {
    DeviceCommand code;
    const char* name;
    PayloadShape shape;
    std::uint8_t awaitedInState;    // link state that awaits the reply; 0 when not awaited
    std::uint8_t leastReplyLength;  // least L that covers the fields the link reads
};

extern const DeviceCommandInfo deviceCommands[];
extern const std::size_t deviceCommandCount;

// Null for a code that is not in the table.
const DeviceCommandInfo* findDeviceCommand(std::uint8_t code);

// Frame encoders. Each lays out AA, L, code, arguments in out (at least
// maxCommandFrame bytes) and returns the frame length. Arguments are cut to
// their field width.
constexpr std::size_t maxCommandFrame = 13;
std::size_t encodeCode(std::uint8_t* out, std::uint8_t code);
std::size_t encodeCodeByte(std::uint8_t* out, std::uint8_t code, std::uint32_t b1);
std::size_t encodeCodeByteByte(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2);
std::size_t encodeCodeThreeBytes(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2,
                                 std::uint32_t b3);
std::size_t encodeCodeByteWord16(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t w);
std::size_t encodeCodeFourBytes(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2,
                                std::uint32_t b3, std::uint32_t b4);
std::size_t encodeCodeByteWord32(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t v);
std::size_t encodeCodeTwoBytesWord32(std::uint8_t* out, std::uint8_t code, std::uint32_t b1, std::uint32_t b2,
                                     std::uint32_t v);
std::size_t encodeCodeNineBytes(std::uint8_t* out, std::uint8_t code, const std::uint8_t bytes[9]);
std::size_t encodeCodeTwoBytesTwoWord32(std::uint8_t* out, std::uint8_t code, std::uint32_t b1,
                                        std::uint32_t b2, std::uint32_t v1, std::uint32_t v2);

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
