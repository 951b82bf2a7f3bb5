// The absolute encoders of the virtual mount, down to the bits on the wire.
//
// An encoder sends its position as a serial data word: some leading bits,
// then the revolution counter, then the position within one revolution,
// most significant bit first. The word may be Gray-coded and/or inverted.
// The controller clocks in as many bits as the format it was last told
// asks for and decodes them with that format, so a controller configured
// for the wrong format reads garbage, exactly as a real one would.
#pragma once

#include <cstdint>

namespace kv7::sim {

// Bits of the flags byte, as the controller's encoder-format messages carry it.
constexpr std::uint8_t encoderFlagInvert = 0x01;
constexpr std::uint8_t encoderFlagGray = 0x02;

// One axis's encoder data format, in the order of the device's messages.
struct EncoderFormatBytes {
    std::uint8_t flags = 0;
    std::uint8_t leadingBits = 12;
    std::uint8_t bitsPerRevolution = 25;
    std::uint8_t bitsForRevolutions = 0;

    friend bool operator==(const EncoderFormatBytes&, const EncoderFormatBytes&) = default;
};

// How well an encoder is fitted to its axis. The defaults are a perfect
// fit: one encoder turn per axis turn, the same way round, no play, a
// steady reading.
struct EncoderFit {
    double scalePpm = 0.0;         // encoder turns (1 + scalePpm * 1e-6) times per axis turn
    bool reversed = false;         // counts the other way round
    double backlashArcsec = 0.0;   // play between the motor and the axis the encoder sits on
    unsigned noiseCounts = 0;      // each reading wanders by up to this many counts either way
    double bitErrors = 0.0;        // chance, 0..1, that a reading comes with one data bit flipped

    friend bool operator==(const EncoderFit&, const EncoderFit&) = default;
};

// The most noise an encoder is given; more would not be a reading any more.
constexpr unsigned maxEncoderNoiseCounts = 1000;

// The physical encoder fitted to an axis. It turns with the axis (the load
// side of any backlash); zeroTurns is where its zero sits:
// encoder turns = (reversed ? -1 : 1) * (1 + scalePpm * 1e-6) * axis turns + zeroTurns.
struct EncoderPhysics {
    EncoderFormatBytes format;
    double zeroTurns = 0.0;
    EncoderFit fit{};   // a perfect fit unless told otherwise
};

// Where the encoder stands, in its own turns, with its axis at axisTurns.
double encoderTurns(const EncoderPhysics& physics, double axisTurns);

// One count of the encoder's own resolution, in turns.
double encoderCountTurns(const EncoderFormatBytes& physical);

// Largest sizes a physical encoder may have; the controller side accepts
// any byte values.
constexpr unsigned maxPhysicalFieldBits = 32;

bool isValidPhysicalFormat(const EncoderFormatBytes& format);

// The data word the encoder puts on the wire at the given angle (in turns,
// any real number; whole turns feed the revolution counter).
class EncoderWord {
public:
    EncoderWord(const EncoderFormatBytes& physical, double turns);

    // Bit i of the transmission, i = 0 being the first bit clocked out.
    // Past the end of the word the data line stays low.
    unsigned bit(unsigned index) const;
    unsigned length() const { return totalBits; }

    // The revolution and position bits before Gray coding and inversion.
    std::uint64_t plainValue() const { return plain; }

    // Flips one of the revolution and position bits on its way to the
    // controller (index 0: the first one clocked out); a noisy data line.
    void flipDataBit(unsigned index);
    unsigned dataLength() const { return dataBits; }

private:
    unsigned leading;
    unsigned dataBits;
    unsigned totalBits;
    std::uint64_t plain;
    std::uint64_t onWire;   // the data bits as transmitted
};

// What the controller makes of the word with the format it has been told:
// the position within one revolution, in counts of 2^bitsPerRevolution per
// turn (its low 32 bits).
std::uint32_t decodeEncoderWord(const EncoderWord& word, const EncoderFormatBytes& configured);

// The reading the controller reports: the decoded count, counted backwards
// when the encoder's reverse bit is set, plus the offset, all modulo one
// revolution of the configured format.
std::uint32_t calibratedEncoderCount(std::uint32_t decoded, const EncoderFormatBytes& configured, bool reverse,
                                     std::uint32_t offset);

}  // namespace kv7::sim
