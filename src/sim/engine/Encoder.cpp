#include "sim/engine/Encoder.h"

#include <cmath>

namespace kv7::sim {

namespace {

std::uint64_t lowMask(unsigned bits) { return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1; }

}  // namespace

bool isValidPhysicalFormat(const EncoderFormatBytes& format)
{
    return format.bitsPerRevolution >= 1 && format.bitsPerRevolution <= maxPhysicalFieldBits &&
           format.bitsForRevolutions <= maxPhysicalFieldBits && format.leadingBits <= maxPhysicalFieldBits &&
           (format.flags & ~(encoderFlagInvert | encoderFlagGray)) == 0;
}

double encoderTurns(const EncoderPhysics& physics, double axisTurns)
{
    const double geared = axisTurns * (1.0 + physics.fit.scalePpm * 1e-6);
    return (physics.fit.reversed ? -geared : geared) + physics.zeroTurns;
}

double encoderCountTurns(const EncoderFormatBytes& physical)
{
    return std::ldexp(1.0, -static_cast<int>(physical.bitsPerRevolution));
}

EncoderWord::EncoderWord(const EncoderFormatBytes& physical, double turns)
    : leading(physical.leadingBits),
      dataBits(static_cast<unsigned>(physical.bitsForRevolutions) + physical.bitsPerRevolution),
      totalBits(leading + dataBits),
      plain(0),
      onWire(0)
{
    if (!std::isfinite(turns))
        turns = 0.0;
    const double whole = std::floor(turns);
    const unsigned perRev = physical.bitsPerRevolution;
    const double scale = std::ldexp(1.0, static_cast<int>(perRev));
    auto position = static_cast<std::uint64_t>((turns - whole) * scale);
    position &= lowMask(perRev);   // a fraction that rounds up to a whole turn
    // The revolution counter wraps like the hardware counter does, also for
    // negative turns (two's complement of the turn number).
    const auto revolutions = static_cast<std::uint64_t>(static_cast<std::int64_t>(std::fmod(whole, 4294967296.0)));
    plain = ((revolutions & lowMask(physical.bitsForRevolutions)) << perRev) | position;
    plain &= lowMask(dataBits);

    std::uint64_t wire = plain;
    if (physical.flags & encoderFlagGray)
        wire ^= wire >> 1;
    if (physical.flags & encoderFlagInvert)
        wire = ~wire & lowMask(dataBits);
    onWire = wire;
}

void EncoderWord::flipDataBit(unsigned index)
{
    if (index < dataBits)
        onWire ^= std::uint64_t{1} << (dataBits - 1 - index);
}

unsigned EncoderWord::bit(unsigned index) const
{
    // Leading bits are sent as zeros.
    if (index < leading || index >= totalBits)
        return 0;
    const unsigned fromEnd = totalBits - 1 - index;
    return static_cast<unsigned>((onWire >> fromEnd) & 1u);
}

std::uint32_t decodeEncoderWord(const EncoderWord& word, const EncoderFormatBytes& configured)
{
    const unsigned first = configured.leadingBits;
    const unsigned count = static_cast<unsigned>(configured.bitsForRevolutions) + configured.bitsPerRevolution;
    const bool invert = configured.flags & encoderFlagInvert;
    const bool gray = configured.flags & encoderFlagGray;
    std::uint64_t value = 0;
    unsigned previous = 0;
    for (unsigned i = 0; i < count; ++i) {
        unsigned b = word.bit(first + i);
        if (invert)
            b ^= 1u;
        if (gray) {
            b ^= previous;
            previous = b;
        }
        value = (value << 1) | b;   // bits beyond 64 push the oldest out
    }
    return static_cast<std::uint32_t>(value & lowMask(configured.bitsPerRevolution));
}

std::uint32_t calibratedEncoderCount(std::uint32_t decoded, const EncoderFormatBytes& configured, bool reverse,
                                     std::uint32_t offset)
{
    const std::uint32_t mask = static_cast<std::uint32_t>(lowMask(configured.bitsPerRevolution));
    const std::uint32_t directed = reverse ? 0u - decoded : decoded;
    return (directed + offset) & mask;
}

}  // namespace kv7::sim
