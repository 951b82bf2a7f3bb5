// The virtual controller's parameter block: what the link reads at connect,
// what it may write, and what StoreParameters keeps, plus the text form of
// the state file that carries stored parameters across restarts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/engine/Encoder.h"

namespace kv7::sim {

// The bytes of a motor settings block after its 16-bit speed factor; the
// controller reports them and nothing here interprets them.
constexpr std::size_t motorBlockSize = 27;
constexpr std::size_t opaqueMotorBytes = motorBlockSize - 2;

struct AxisSettings {
    std::uint8_t axisByte = 0;
    std::uint32_t gearRatio = 0;
    std::uint32_t microsteps = 0;        // microsteps per axis revolution
    std::uint32_t baseSpeed = 0;         // microsteps per second
    std::uint16_t speedFactor = 0;       // go-to speed = baseSpeed * speedFactor
    std::uint32_t acceleration = 0;      // microsteps per second squared; 0 = instant
    std::array<std::uint8_t, opaqueMotorBytes> motorBytes{};
    EncoderFormatBytes encoderFormat;    // the format the controller decodes with
    std::uint32_t encoderOffset = 0;

    friend bool operator==(const AxisSettings&, const AxisSettings&) = default;
};

struct ControllerSettings {
    std::uint32_t deviceId = 0;
    std::uint32_t deviceWord = 0;
    std::uint8_t deviceByte = 0;
    std::uint8_t reverseMotorBits = 0;    // bit 0 RA, bit 1 Dec
    std::uint8_t motorExtraByte = 0;
    std::uint8_t reverseEncoderBits = 0;  // bit 0 RA, bit 1 Dec
    AxisSettings ra;
    AxisSettings dec;

    friend bool operator==(const ControllerSettings&, const ControllerSettings&) = default;
};

// A controller as delivered: a 144:1 RA worm and a 120:1 Dec worm, 200-step
// motors at 64 microsteps, so about 1.8 and 1.5 million microsteps per
// axis revolution; a quarter turn at full speed takes under half a minute.
ControllerSettings factorySettings();

// The state file: one key=value per line, '#' starts a comment. Keys that
// are missing keep the value they had; unknown keys and bad values are
// reported and skipped. Reading and writing the file is a StateStore's job.
std::string formatSettings(const ControllerSettings& settings);
void parseSettings(const std::string& text, ControllerSettings& settings, std::vector<std::string>& problems);

}  // namespace kv7::sim
