// Enumerations and result codes private to the controller link; the codes
// it shares with the windows and kv7ctl are in app/Codes.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/Codes.h"

namespace kv7 {

// The link state: which reply, if any, the link is waiting for.
namespace LinkState {
enum : std::int32_t {
    Initial = 0,
    Idle = 2,
    Pause = 3,
    AwaitIdentity = 4,
    AwaitDeviceByte = 5,
    AwaitDeviceWord = 6,
    AwaitAxisParameters = 7,
    AwaitMotorSettings = 8,
    AwaitEncoderFormat = 9,
    AwaitEncoderCalibration = 10,
    AwaitEncoderReading = 11,
    AwaitGoToReply = 14,
    PollMotion = 15,
    AwaitMotionStatus = 16,
    AwaitFlipPositions = 18,
    AwaitCalibrationReply = 19,
    AwaitStoreReply = 20,
};
}

// Time on the link, in heartbeat ticks of 250 ms.
namespace LinkTiming {
constexpr std::int32_t connectTimeoutTicks = 40;   // 10 s for the whole connect sequence
constexpr std::int32_t identifyPauseTicks = 2;
constexpr std::int32_t motionPollTicks = 8;        // about 2 s between motion polls
// A controller answers within milliseconds; 3 s without the awaited reply
// means it was lost (or never sent).
constexpr std::int32_t replyTimeoutTicks = 12;
// A positioning cycle rides out a few lost replies before it gives up.
constexpr std::int32_t maxMissedReplies = 3;
}

// What a handler asks the worker's dispatcher to do next.
namespace LinkResult {
enum : int {
    Nothing = 0,
    ConnectComplete = 1,
    ClosePort = 2,
};
}

// Channel message header kinds (bits 6..5) and command codes.
inline std::uint8_t commandHeader(std::size_t payloadLength)
{
    return static_cast<std::uint8_t>(0x80 | payloadLength);
}

namespace ChannelKind {
enum : std::uint8_t { Command = 0, Heartbeat = 1, Unused = 2, SerialData = 3 };
}

namespace ChannelCommand {
enum : std::uint8_t {
    Connect = 2,
    Disconnect = 3,
    StoreParameters = 4,
    ManualMove = 5,
    StopMotion = 6,
    SetTracking = 7,
    SetMotorReversal = 8,
    PierSideAction = 9,
    SetEncoderFormat = 10,
    ReadEncoders = 11,
    SyncToTarget = 13,
    SetEncoderCalibration = 14,
    GotoTarget = 15,
    AnswerMeridianFlip = 16,
    // Posted by the serial reader, never by a caller: the device has gone.
    PortFailed = 17,
    SyncToEncoders = 18,
};
}

}  // namespace kv7
