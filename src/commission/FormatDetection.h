// Finding an absolute encoder's data format from its raw bits.
//
// The controller's raw reading returns 32 bits of the encoder's data word
// from where its configured format tells it to start. The assistant reads
// the word twice over while the axis turns slowly: its first 32 bits (the
// head) and its bits 12 to 43 (the tail), each beside the motor's position.
// Every plausible format is then decoded from those bits and judged by how
// well its angle follows the motor: at the rate the motor's microsteps per
// revolution predict, in the motor's direction, without jumps, and ending
// where the word's bits stop changing.
//
// What the bits cannot tell apart is left to the tie-break: leading bits
// and revolution-counter bits that never change look alike (the count of
// revolution bits in use before the run wins), and a binary encoder that is
// mounted to count backwards looks like an inverted one (the motor's
// direction decides; the encoder check says when the encoder's sense is
// the wrong way round).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv7::commission {

constexpr unsigned rawWindowBits = 32;   // bits in one raw reading
constexpr unsigned tailStart = 12;       // the tail reading's first bit of the word
constexpr unsigned wordBitsSeen = tailStart + rawWindowBits;

// Flag bits of a format, as the controller's messages carry them.
constexpr std::uint8_t formatInvert = 0x01;
constexpr std::uint8_t formatGray = 0x02;

struct FormatCandidate {
    std::uint8_t flags = 0;
    std::uint8_t leadingBits = 12;
    std::uint8_t bitsPerRevolution = 25;
    std::uint8_t bitsForRevolutions = 0;

    unsigned dataStart() const { return static_cast<unsigned>(leadingBits) + bitsForRevolutions; }
    unsigned dataEnd() const { return dataStart() + bitsPerRevolution; }
    friend bool operator==(const FormatCandidate&, const FormatCandidate&) = default;
};

// One raw reading: word bits [first, first + 32), bit `first` in bit 31.
struct RawReading {
    double motorSteps = 0;   // the motor's counter when the bits were read
    std::uint32_t bits = 0;
};

struct DetectionInput {
    std::vector<RawReading> head;   // first = 0
    std::vector<RawReading> tail;   // first = tailStart
    std::uint32_t microstepsPerRevolution = 0;
    int expectedSign = 1;           // -1 when the motor is reversed
    FormatCandidate before;         // the controller's format before the run
};

struct CandidateEvidence {
    FormatCandidate format;
    double rate = 0;         // decoded turns per motor turn, in the expected sense; 1 follows the motor
    double agreement = 0;    // share of moves in which the angle went the motor's way
    int jumps = 0;           // moves the angle disagreed with by more than it can
    int moves = 0;
    bool endMatches = false; // the data ends where the word's bits stop changing
    double badness = 0;      // 0 for a format that follows the motor exactly
};

struct DetectionResult {
    std::vector<CandidateEvidence> ranking;   // best first
    int lastChangingBit = -1;                 // of the word; -1: no bit changed
    bool proposed = false;                    // ranking[0] follows the motor well enough to propose
    std::string verdict;                      // one line for the operator
};

// The word's bit `index` in a raw reading that starts at `first`.
unsigned rawBit(const RawReading& reading, unsigned first, unsigned index);

// The position within one revolution, in turns, that a format decodes from
// the word bits [candidate.leadingBits, end) of a reading starting at
// `first` (end <= first + 32; bits of the position past `end` are dropped).
double decodeTurns(const RawReading& reading, unsigned first, const FormatCandidate& candidate, unsigned end);

// Judges one format against the readings.
CandidateEvidence judgeFormat(const DetectionInput& input, const FormatCandidate& candidate, int lastChangingBit);

// Judges every plausible format: Gray or binary, inverted or not, 0 to 16
// leading bits, 0 to 16 revolution bits and 8 to 32 bits per revolution
// that fit in the bits read and end within two bits of the last bit that
// changed.
DetectionResult detectFormat(const DetectionInput& input);

// The first `count` formats of the ranking that differ in more than how
// their unchanging bits are split between leading and revolution bits.
std::vector<CandidateEvidence> distinctLeaders(const DetectionResult& result, std::size_t count);

// "gray,inverted,leading=12,revolutions=0,bits=25", the words kv7sim takes.
std::string formatText(const FormatCandidate& format);

}  // namespace kv7::commission
