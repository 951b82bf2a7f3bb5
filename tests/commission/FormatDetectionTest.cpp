#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "commission/FormatDetection.h"
#include "sim/engine/Encoder.h"

namespace kv7::commission {
namespace {

constexpr std::uint32_t microsteps = 144 * 200 * 64;

// The bits a controller's raw reading returns through a capture format
// that starts at `first`: the word's bits [first, first + 32).
std::uint32_t capture(const sim::EncoderWord& word, unsigned first)
{
    std::uint32_t v = 0;
    for (unsigned i = first; i < first + rawWindowBits; ++i)
        v = (v << 1) | word.bit(i);
    return v;
}

// The axis turning steadily past `fromTurns`, read as the assistant reads
// it: 40 readings of the head, then 40 of the tail, each over two degrees.
DetectionInput readingsOf(const sim::EncoderFormatBytes& physical, double fromTurns, int sense = 1)
{
    DetectionInput in;
    in.microstepsPerRevolution = microsteps;
    in.expectedSign = sense;
    const double stepsPerReading = 2.0 / 360.0 * microsteps / 40;
    double steps = 0;
    for (int window = 0; window < 2; ++window) {
        std::vector<RawReading>& out = window == 0 ? in.head : in.tail;
        for (int k = 0; k < 40; ++k, steps += stepsPerReading) {
            const sim::EncoderWord word(physical, fromTurns + sense * steps / microsteps);
            out.push_back({steps, capture(word, window == 0 ? 0 : tailStart)});
        }
    }
    return in;
}

sim::EncoderFormatBytes physical(std::uint8_t flags, std::uint8_t leading, std::uint8_t bits, std::uint8_t revs = 0)
{
    sim::EncoderFormatBytes f;
    f.flags = flags;
    f.leadingBits = leading;
    f.bitsPerRevolution = bits;
    f.bitsForRevolutions = revs;
    return f;
}

TEST(FormatDetection, ProposesTheFittedFormatForEveryCodingLeadAndResolution)
{
    const std::uint8_t flagsTried[] = {0, formatInvert, formatGray, formatGray | formatInvert};
    const std::uint8_t leadTried[] = {0, 5, 12};
    const std::uint8_t bitsTried[] = {12, 17, 25, 31};
    for (std::uint8_t flags : flagsTried)
        for (std::uint8_t lead : leadTried)
            for (std::uint8_t bits : bitsTried) {
                const sim::EncoderFormatBytes fitted = physical(flags, lead, bits);
                const FormatCandidate expected{flags, lead, bits, 0};
                SCOPED_TRACE(formatText(expected));
                const DetectionResult r = detectFormat(readingsOf(fitted, 0.37));
                ASSERT_TRUE(r.proposed) << r.verdict;
                EXPECT_EQ(formatText(r.ranking.front().format), formatText(expected));
                EXPECT_NEAR(r.ranking.front().rate, 1.0, 0.01);
                EXPECT_EQ(r.ranking.front().jumps, 0);
            }
}

TEST(FormatDetection, WhatTheBitsCannotTellApartFollowsTheFormatInUseBefore)
{
    // Revolution bits that never change look like leading bits: the count
    // in use before the run decides.
    const sim::EncoderFormatBytes fitted = physical(formatGray, 4, 20, 6);
    DetectionInput in = readingsOf(fitted, 0.25);
    in.before = {0, 12, 25, 6};
    DetectionResult r = detectFormat(in);
    ASSERT_TRUE(r.proposed);
    EXPECT_EQ(formatText(r.ranking.front().format), "gray,plain,leading=4,revolutions=6,bits=20");
    in.before = {0, 12, 25, 0};
    r = detectFormat(in);
    EXPECT_EQ(formatText(r.ranking.front().format), "gray,plain,leading=10,revolutions=0,bits=20");
}

TEST(FormatDetection, AReversedMotorTurnsTheExpectedSense)
{
    // The encoder runs against the motor's counter: plain when that is
    // expected, inverted when it is not.
    const sim::EncoderFormatBytes fitted = physical(0, 12, 25);
    const DetectionResult expectedAgainst = detectFormat(readingsOf(fitted, 0.6, -1));
    EXPECT_EQ(formatText(expectedAgainst.ranking.front().format), "binary,plain,leading=12,revolutions=0,bits=25");
    DetectionInput surprised = readingsOf(fitted, 0.6, -1);
    surprised.expectedSign = 1;
    EXPECT_EQ(formatText(detectFormat(surprised).ranking.front().format),
              "binary,inverted,leading=12,revolutions=0,bits=25");
}

TEST(FormatDetection, ReadingsThatFollowNothingProposeNothing)
{
    struct Case {
        const char* what;
        DetectionInput input;
        const char* verdictStart;
    };
    DetectionInput still = readingsOf(physical(0, 12, 25), 0.1);
    for (RawReading& r : still.head)
        r.bits = 0x12345678;
    for (RawReading& r : still.tail)
        r.bits = 0x45678ABC;   // bits 12 to 43 of the same word
    DetectionInput scrambled = readingsOf(physical(0, 12, 25), 0.1);
    std::uint32_t x = 12345;
    for (auto* list : {&scrambled.head, &scrambled.tail})
        for (RawReading& r : *list) {
            x = x * 1103515245u + 12345u;
            r.bits = x;
        }
    const Case cases[] = {
        {"no bit changes", still, "No bit of the encoder changed"},
        {"bits at random", scrambled, "No format follows the motor"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DetectionResult r = detectFormat(c.input);
        EXPECT_FALSE(r.proposed);
        EXPECT_EQ(r.verdict.rfind(c.verdictStart, 0), 0u) << r.verdict;
    }
}

TEST(FormatDetection, NeighbouringFormatsRankBelowWithTheirEvidence)
{
    const DetectionResult r = detectFormat(readingsOf(physical(formatGray, 12, 25), 0.8));
    ASSERT_TRUE(r.proposed);
    EXPECT_EQ(r.lastChangingBit, 36);
    auto find = [&](const FormatCandidate& f) {
        for (const CandidateEvidence& e : r.ranking)
            if (e.format == f)
                return e;
        ADD_FAILURE() << "not ranked: " << formatText(f);
        return CandidateEvidence{};
    };
    const CandidateEvidence binary = find({0, 12, 25, 0});
    EXPECT_GT(binary.jumps, 0);
    const CandidateEvidence oneLeadingBitLess = find({formatGray, 11, 26, 0});
    EXPECT_NEAR(oneLeadingBitLess.rate, 0.5, 0.01);
    const CandidateEvidence tooManyBits = find({formatGray, 12, 26, 0});
    EXPECT_FALSE(tooManyBits.endMatches);
    for (const CandidateEvidence& e : {binary, oneLeadingBitLess, tooManyBits})
        EXPECT_GT(e.badness, 0.5) << formatText(e.format);
}

}  // namespace
}  // namespace kv7::commission
