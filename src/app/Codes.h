// The codes that cross from the link to the windows and kv7ctl and back:
// statuses, the side of the pier, meridian-flip prompts and answers, and the
// arguments of the requests that are not plain numbers. The requests carry
// them as bytes on the internal channel; these names are the only spelling
// of their values.
#pragma once

#include <cstdint>

namespace kv7 {

// The side of the pier the mount is on, or the flip under way.
namespace PierState {
enum : std::int32_t {
    flippingToWest = 4,
    flippingToEast = 5,
    pierWest = 6,
    pierEast = 7,
};
}

// Status codes raised through onStatus; their texts are in StatusText.cpp.
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
    SyncedToTarget = 24,
    SyncedToEncoders = 25,
    NoFreshReading = 26,        // sync to encoders without a reading of the last 2 s
    // Raised by the window as it sends the request, so the line names a long
    // slew for as long as it runs (the link's next status ends it).
    FlippingToEast = 27,
    FlippingToWest = 28,
    ReferenceSetEast = 29,
    ReferenceSetWest = 30,
};
}

// Meridian-flip prompt kinds and answers.
namespace FlipPrompt {
enum : std::int32_t { PierUnsettled = 1, WestRecommended = 2, EastRecommended = 3, WestNeeded = 4, EastNeeded = 5 };
}
namespace FlipAnswer {
enum : std::uint8_t { Cancel = 0, WithoutFlip = 1, WithFlip = 2 };
}

// True when the prompt of this kind offers to go on without a flip (the
// target is past the meridian but still within reach of this side).
inline bool offersWithoutFlip(std::int32_t kind)
{
    return kind == FlipPrompt::WestRecommended || kind == FlipPrompt::EastRecommended;
}

// Hand-pad directions of manualMove.
namespace HandPad {
enum Direction : std::uint8_t { North = 0, South = 1, West = 2, East = 3 };
}

// Which axes stopMotion stops: a hand-pad direction's axis, or both.
// Both keeps a GOTO's cycle going (its next pass aims again, as the
// window's Stop always has); Abort stops both axes and ends the GOTO, for
// front ends whose stop must leave the mount at rest (the INDI driver).
namespace StopAxes {
enum Which : std::uint8_t { DecAxis = 0, RaAxis = 2, Both = 4, Abort = 5 };
}

// pierSideAction: fix a reference position on one side, or flip to it.
namespace PierAction {
enum Action : std::uint8_t { SetEast = 1, FlipEast = 2, SetWest = 3, FlipWest = 4 };
}

// readEncoders: the counts as the controller applies direction and offset,
// the decoded counts before them, the raw data bits, or the motor axes
// (positions and motion); the first and the last are shown.
namespace ReadMode {
enum Mode : std::uint8_t { Encoders = 0, Decoded = 1, RawBits = 2, Axes = 3 };
}

}  // namespace kv7
