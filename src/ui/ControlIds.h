// Control ids of the five dialogs, shared by the handlers, the layout tables
// and both renderers.
#pragma once

#include <array>

namespace kv7 {

namespace MainId {
enum : int {
    About = 100,
    Commissioning = 101,   // the encoder monitor and the assistant
    Snapshot = 102,        // configuration snapshots and the preview option
    PortList = 110,
    Baud115200 = 111,
    Connect = 112,
    Disconnect = 113,
    StatusLine = 114,
    MessageLine = 115,
    Stop = 140,
    North = 141,
    South = 142,
    East = 143,
    West = 144,
    Speed = 145,
    SpeedValue = 146,   // the slider's number
    HoldToMove = 147,   // the hand pad moves only while a button is held
    EncoderSetup = 200,
    ReadEncoders = 201,
    SyncToEncoders = 205,
    SyncToTarget = 206,
    EncoderCalibration = 207,
    RaGearRatio = 300,
    RaMicrosteps = 301,
    RaReverseMotor = 302,
    RaBitsPerRevolution = 303,
    RaEncoderResolution = 304,
    RaReverseEncoder = 305,
    RaEncoderOffset = 306,
    RaAdjust = 307,
    DecGearRatio = 400,
    DecMicrosteps = 401,
    DecReverseMotor = 402,
    DecBitsPerRevolution = 403,
    DecEncoderResolution = 404,
    DecReverseEncoder = 405,
    DecEncoderOffset = 406,
    DecAdjust = 407,
    GetState = 450,
    LiveView = 451,     // refresh the mount state while connected
    RaMotorSystem = 500,
    RaMotorArcsec = 501,
    RaMotorDms = 502,
    RaEncoderSystem = 503,
    RaEncoderArcsec = 504,
    RaEncoderDms = 505,
    TargetGet = 512,
    Goto = 513,
    TargetRa = 514,
    TargetDec = 515,
    DecMotorSystem = 600,
    DecMotorArcsec = 601,
    DecMotorDms = 602,
    DecEncoderSystem = 603,
    DecEncoderArcsec = 604,
    DecEncoderDms = 605,
    PlaceGet = 700,
    PlaceSet = 701,
    SiteNote = 702,     // says when the built-in site is in use
    Latitude = 710,
    Longitude = 720,
    TimeGet = 730,
    TimeSet = 731,
    TimeNote = 732,     // says when UT is corrected
    UniversalTime = 801,
    SiderealTime = 802,
    PierSide = 803,
    TrackOn = 810,
    TrackOff = 811,
    SetEast = 820,
    SetWest = 821,
    FlipEast = 822,
    FlipWest = 823,
    SaveIntoKv7 = 824,
};

// Disabled until the first configuration arrives, then enabled for good.
inline constexpr std::array<int, 21> operatingControls = {
    Stop, North, South, East, West, Speed, RaReverseMotor, DecReverseMotor, EncoderSetup, ReadEncoders,
    SyncToEncoders, SyncToTarget, EncoderCalibration, TrackOn, TrackOff, Goto, FlipEast, FlipWest,
    SetEast, SetWest, Commissioning,
};
}  // namespace MainId

namespace EncoderSetupId {
enum : int {
    Ok = 1,
    Cancel = 2,
    RaInvert = 100,
    RaGray = 101,
    RaBitsPerRevolution = 103,
    RaBitsForRevolutions = 104,
    RaLeadingBits = 105,
    DecInvert = 110,
    DecGray = 111,
    DecBitsPerRevolution = 113,
    DecBitsForRevolutions = 114,
    DecLeadingBits = 115,
    Hint = 120,   // why Ok did not close the dialog
    Group = 900,
    RaBitsPerRevolutionLabel = 1000,
    RaBitsForRevolutionsLabel = 1001,
    RaLeadingBitsLabel = 1002,
    DecBitsPerRevolutionLabel = 1050,
    DecBitsForRevolutionsLabel = 1051,
    DecLeadingBitsLabel = 1052,
};
}

namespace OffsetAdjustId {
enum : int {
    Ok = 1,
    Cancel = 2,
    OriginalSystem = 100,
    OriginalArcsec = 101,
    OriginalDms = 102,
    NewSystem = 110,
    NewArcsec = 111,
    NewDms = 112,
    StepUpFirst = 120,   // 120..126: + 0.1 sec ... + 10 degs
    StepDownFirst = 130, // 130..136: - 0.1 sec ... - 10 degs
    ChannelLabel = 1000,
    Channel = 1001,
    SystemHeader = 1010,
    ArcsecHeader = 1011,
    DmsHeader = 1012,
    OriginalLabel = 1013,
    NewLabel = 1014,
};
inline constexpr int stepCount = 7;
}

namespace PromptId {
enum : int {
    Ok = 1,
    Cancel = 2,
    Heading = 100,
    PresentLabel = 101,
    TargetLabel = 102,
    OptionalLabel = 103,
    Present = 200,
    Target = 201,
    Optional = 202,
    CancelPositioning = 210,
    WithFlip = 211,
    WithoutFlip = 212,
};
}

namespace AboutId {
enum : int {
    Ok = 1,
    Exit = 2,
    Title = 100,
    Purpose = 101,
    Credit = 102,
    WebLink = 103,
    Version = 104,
};
}

}  // namespace kv7
