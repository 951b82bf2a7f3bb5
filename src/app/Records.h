// The records that travel from the controller link through the model to the
// windows. They are plain values and are copied whole at every hand-over.
#pragma once

#include <cstdint>

namespace kv7 {

// The absolute encoders' data format for both axes. The field order here is
// the model's; the device and the channel carry the RA bytes first, then the
// Dec bytes, so producers and consumers map field by field.
struct EncoderFormat {
    std::uint8_t raFlags = 0;                // bit 0 invert, bit 1 Gray, bit 2 extra flag
    std::uint8_t decFlags = 0;
    std::uint8_t raLeadingBits = 12;
    std::uint8_t raBitsPerRevolution = 25;
    std::uint8_t raBitsForRevolutions = 0;
    std::uint8_t decLeadingBits = 12;
    std::uint8_t decBitsPerRevolution = 25;
    std::uint8_t decBitsForRevolutions = 0;

    friend bool operator==(const EncoderFormat&, const EncoderFormat&) = default;
};

struct AxisConfiguration {
    EncoderFormat encoderFormat;
    std::uint64_t raEncoderResolution = 0;   // counts per RA encoder revolution
    std::uint64_t decEncoderResolution = 0;
    std::uint8_t reverseEncoderBits = 0;     // bit 0 RA, bit 1 Dec
    std::uint32_t raEncoderOffset = 0;
    std::uint32_t decEncoderOffset = 0;

    friend bool operator==(const AxisConfiguration&, const AxisConfiguration&) = default;
};

// The controller's parameter block as read by the connect sequence. The motor
// settings are kept and copied but shown nowhere.
struct ControllerParameters {
    std::uint8_t startCode = 0;
    std::uint32_t deviceId = 0;
    std::uint32_t deviceWord = 0;
    std::uint8_t deviceByte = 0;
    std::uint8_t raAxisByte = 0;
    std::uint8_t decAxisByte = 0;
    std::uint32_t raGearRatio = 0;
    std::uint32_t raMicrosteps = 0;
    std::uint32_t raBaseSpeed = 0;
    std::uint32_t decGearRatio = 0;
    std::uint32_t decMicrosteps = 0;
    std::uint32_t decBaseSpeed = 0;
    std::uint32_t raSpeedFactor = 0;
    std::uint32_t decSpeedFactor = 0;
    std::uint8_t reverseMotorBits = 0;       // bit 0 RA, bit 1 Dec
    std::uint8_t motorExtraByte = 0;
    std::uint16_t motorSettingA[2] = {};     // [0] RA, [1] Dec
    std::uint16_t motorSettingsB[2][3] = {};
    std::uint8_t motorSettingsC[2][3] = {};
    std::uint8_t motorSettingsD[2][2] = {};
    std::uint8_t motorSettingsE[2][2] = {};
    std::uint16_t motorSettingsF[2][2] = {};
    std::uint16_t motorSettingG[2] = {};
    std::uint8_t motorSettingH[2] = {};
    std::uint32_t motorSettingI[2] = {};
    std::uint32_t raMaxSpeed = 0;
    std::uint32_t decMaxSpeed = 0;

    friend bool operator==(const ControllerParameters&, const ControllerParameters&) = default;
};

// The last encoder reading, and the last reading of the motor axes with
// where they point in the sky.
struct MountState {
    std::uint8_t valid = 0;                  // 1 when the record holds a fresh reading
    std::uint32_t raEncoderPosition = 0;     // encoder counts
    std::uint32_t decEncoderPosition = 0;
    std::uint32_t raEncoderArcsec = 0;
    std::uint32_t decEncoderArcsec = 0;

    std::uint8_t axesValid = 0;              // 1 once the motor axes have been read
    std::int32_t raAxisPosition = 0;         // microsteps
    std::int32_t decAxisPosition = 0;
    std::uint8_t raMotionStatus = 0;         // 0..2 at rest, above 2 moving
    std::uint8_t decMotionStatus = 0;
    std::int32_t pierState = 0;              // the side of the pier as the link knows it
    std::uint8_t skyValid = 0;               // 1 when the side is known, so the sky position is
    std::uint32_t raArcsec = 0;              // 0 .. 1295999 (24 h)
    std::int32_t decArcsec = 0;              // negative south

    friend bool operator==(const MountState&, const MountState&) = default;
};

// A calendar instant in UTC with whole seconds, as the clock hands it out.
struct UtcTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Codes of the user message that the model posts to the main window.
enum NotificationCode : std::uint32_t {
    NotifyStatus = 10,
    NotifyConfiguration = 11,
    NotifyMeridianFlipPrompt = 12,
    NotifyMountState = 13,
};

}  // namespace kv7
