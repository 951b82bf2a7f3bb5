#include "commission/EncoderCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kv7::commission {

namespace {

constexpr double arcsecPerTurn = 1296000.0;

// Counts moved between two readings, folded into half a revolution either way.
double countsMoved(std::uint32_t from, std::uint32_t to, std::uint64_t resolution)
{
    const double r = static_cast<double>(resolution);
    double d = std::fmod(static_cast<double>(to) - static_cast<double>(from), r);
    if (d > r / 2)
        d -= r;
    else if (d <= -r / 2)
        d += r;
    return d;
}

struct Move {
    double motorTurns = 0;
    double encoderTurns = 0;
    bool afterReversal = false;
};

std::vector<Move> movesOf(const CheckInput& in)
{
    std::vector<Move> moves;
    int lastDirection = 0;
    for (std::size_t k = 1; k < in.stops.size(); ++k) {
        const auto motor = static_cast<double>(in.stops[k].motorSteps - in.stops[k - 1].motorSteps);
        if (motor == 0)
            continue;
        const int direction = motor > 0 ? 1 : -1;
        Move m;
        m.motorTurns = motor / in.microstepsPerRevolution;
        m.encoderTurns = countsMoved(in.stops[k - 1].encoderCounts, in.stops[k].encoderCounts, in.encoderResolution) /
                         static_cast<double>(in.encoderResolution);
        m.afterReversal = lastDirection != 0 && direction != lastDirection;
        // The first move's direction after an unknown past says nothing.
        if (lastDirection != 0)
            moves.push_back(m);
        lastDirection = direction;
    }
    return moves;
}

void measureNoise(const CheckInput& in, AxisCheck& c)
{
    if (in.atRest.size() < 2)
        return;
    const double perCount = arcsecPerTurn / static_cast<double>(in.encoderResolution);
    std::vector<double> d;
    for (std::uint32_t reading : in.atRest)
        d.push_back(countsMoved(in.atRest.front(), reading, in.encoderResolution) * perCount);
    double mean = 0;
    for (double v : d)
        mean += v;
    mean /= static_cast<double>(d.size());
    double square = 0;
    for (double v : d)
        square += (v - mean) * (v - mean);
    c.noiseArcsec = std::sqrt(square / static_cast<double>(d.size() - 1));
    const auto [low, high] = std::minmax_element(d.begin(), d.end());
    c.noisePeakArcsec = *high - *low;
}

}  // namespace

AxisCheck checkAxis(const CheckInput& in)
{
    AxisCheck c;
    if (in.encoderResolution == 0 || in.microstepsPerRevolution == 0)
        return c;
    measureNoise(in, c);
    const std::vector<Move> moves = movesOf(in);
    double motor = 0;
    double encoder = 0;
    for (const Move& m : moves) {
        if (m.afterReversal)
            continue;
        ++c.cleanMoves;
        // Signed so that both directions add up in the motor's sense.
        motor += std::fabs(m.motorTurns);
        encoder += m.motorTurns > 0 ? m.encoderTurns : -m.encoderTurns;
    }
    if (c.cleanMoves == 0 || motor == 0)
        return c;
    const double scale = encoder / motor;
    c.senseAgrees = scale > 0;
    c.scalePpm = (std::fabs(scale) - 1.0) * 1e6;
    double shortfall = 0;
    for (const Move& m : moves) {
        if (!m.afterReversal)
            continue;
        ++c.reversals;
        shortfall += std::fabs(m.motorTurns) * std::fabs(scale) - std::fabs(m.encoderTurns);
    }
    if (c.reversals > 0)
        c.backlashArcsec = std::max(0.0, shortfall / c.reversals * arcsecPerTurn);
    c.complete = c.reversals > 0 && in.atRest.size() >= 2;
    return c;
}

std::vector<std::string> describeCheck(const AxisCheck& c, const char* axis)
{
    std::vector<std::string> lines;
    char text[200];
    if (!c.complete) {
        std::snprintf(text, sizeof text, "%s: not enough readings to judge: did the axis move both ways?", axis);
        lines.emplace_back(text);
        return lines;
    }
    std::snprintf(text, sizeof text, "%s: %s", axis, c.good() ? "good" : "check this setting");
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "  sense: %s", c.senseAgrees ? "the encoder counts with the motor"
                                                               : "the encoder counts against the motor: set \"Reverse encoder\"");
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "  scale error: %+.0f ppm%s", c.scalePpm,
                  c.scaleGood() ? "" : " (check the gear ratio and microsteps, or the encoder's bits per revolution)");
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "  backlash: %.1f arcsec%s", c.backlashArcsec,
                  c.backlashGood() ? "" : " (check the gear mesh and the clutch)");
    lines.emplace_back(text);
    std::snprintf(text, sizeof text, "  noise at rest: %.2f arcsec (peak to peak %.2f)%s", c.noiseArcsec,
                  c.noisePeakArcsec, c.noiseGood() ? "" : " (check the encoder's cable and its shield)");
    lines.emplace_back(text);
    return lines;
}

}  // namespace kv7::commission
