// Enumerations and result codes of the controller link.
#pragma once

#include <cstdint>

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

// The side of the pier the mount is on, or the flip under way.
namespace PierState {
enum : std::int32_t {
    flippingToWest = 4,
    flippingToEast = 5,
    pierWest = 6,
    pierEast = 7,
};
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
};
}

// Status codes raised through onStatus; their texts live with the windows.
namespace Status {
enum : std::uint32_t {
    NotConnected = 0,
    OpeningPort = 1,
    Connecting = 2,
    ConnectionEstablished = 3,
    ConnectionClosed = 4,
    TestingWithoutPort = 5,
    CannotOpenPort = 6,
    CannotConnect = 7,
    UnknownDevice = 8,
    NotSupportedDevice = 9,
    CommunicationError = 10,
    AlreadyConnected = 11,
    NotConnectedYet = 12,
    Ready = 13,
    ManualMovement = 14,
    Positioning = 15,
    CalibrationUpdated = 16,
    ParametersStored = 17,
    // Raised by this link beyond the original table.
    ConnectionLost = 18,        // the device went away, or a frame could not be written
    PortInUse = 19,             // another program holds the port
    OutputDiscarded = 20,       // the port closed with frames still unsent
    NoReply = 21,               // an awaited reply did not come
    StoreFailed = 22,           // the controller said the parameters were not stored
    BusyPositioning = 23,       // refused: it would cut a positioning cycle short
};
}

// Meridian-flip prompt kinds and answers.
namespace FlipPrompt {
enum : std::int32_t { PierUnsettled = 1, WestRecommended = 2, EastRecommended = 3, WestNeeded = 4, EastNeeded = 5 };
}
namespace FlipAnswer {
enum : std::uint8_t { Cancel = 0, WithoutFlip = 1, WithFlip = 2 };
}

}  // namespace kv7
