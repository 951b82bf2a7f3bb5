// Checking an encoder against its motor.
//
// The axis is moved by about the same number of steps several times: twice
// one way, twice back, twice the first way again, and the encoder and the
// motor are read at rest after each move. A move that continues in the
// direction of the one before it shows the scale (encoder angle per motor
// angle, against the microsteps per revolution) and the sense; a move just
// after a reversal falls short on the encoder by the play in the drive,
// the backlash. Readings repeated at rest show the encoder's noise.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv7::commission {

struct RestReading {
    std::int64_t motorSteps = 0;
    std::uint32_t encoderCounts = 0;   // the calibrated reading
};

struct CheckInput {
    std::uint64_t encoderResolution = 0;      // counts per revolution
    std::uint32_t microstepsPerRevolution = 0;
    std::vector<std::uint32_t> atRest;        // repeated readings with the axis still
    std::vector<RestReading> stops;           // at the start and after each move
};

// Where a figure stops being good.
constexpr double goodScalePpm = 100.0;
constexpr double goodBacklashArcsec = 30.0;
constexpr double goodNoiseArcsec = 1.0;

struct AxisCheck {
    bool complete = false;        // enough moves of both kinds to judge
    double scalePpm = 0;          // encoder angle per motor angle, less one, in parts per million
    bool senseAgrees = true;      // the encoder counts up as the motor's counter does
    double backlashArcsec = 0;    // the shortfall of a move after a reversal
    double noiseArcsec = 0;       // standard deviation of the readings at rest
    double noisePeakArcsec = 0;   // largest minus smallest of them
    int cleanMoves = 0;
    int reversals = 0;

    bool scaleGood() const { return scalePpm > -goodScalePpm && scalePpm < goodScalePpm; }
    bool backlashGood() const { return backlashArcsec < goodBacklashArcsec; }
    bool noiseGood() const { return noiseArcsec < goodNoiseArcsec; }
    bool good() const { return complete && senseAgrees && scaleGood() && backlashGood() && noiseGood(); }
};

AxisCheck checkAxis(const CheckInput& input);

// The verdict and the numbers behind it, a line each.
std::vector<std::string> describeCheck(const AxisCheck& check, const char* axisName);

}  // namespace kv7::commission
