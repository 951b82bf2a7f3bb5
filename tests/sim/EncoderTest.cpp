// The encoders: the word on the wire for each physical format, the
// controller decoding it with the format it was told (right format, sane
// count; wrong format, wrong count), and calibration.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

#include "SimTestUtil.h"

namespace kv7::sim::test {
namespace {

std::string wireBits(const EncoderWord& w)
{
    std::string s;
    for (unsigned i = 0; i < w.length(); ++i)
        s += static_cast<char>('0' + w.bit(i));
    return s;
}

TEST(EncoderWire, BitsForEachFormat)
{
    // 3 leading bits, 2 revolution bits, 4 position bits; 2.6875 turns:
    // revolution 2 (10), position 11/16 (1011).
    const double turns = 2.6875;
    EXPECT_EQ(wireBits(EncoderWord({0, 3, 4, 2}, turns)), "000" "10" "1011");
    // Gray code of 101011 is 111110.
    EXPECT_EQ(wireBits(EncoderWord({encoderFlagGray, 3, 4, 2}, turns)), "000" "11" "1110");
    EXPECT_EQ(wireBits(EncoderWord({encoderFlagInvert, 3, 4, 2}, turns)), "000" "01" "0100");
    EXPECT_EQ(wireBits(EncoderWord({encoderFlagGray | encoderFlagInvert, 3, 4, 2}, turns)), "000" "00" "0001");
    // Negative angles count the revolutions down through zero: -0.25 turns
    // is revolution -1 (11 in two bits) at position 12/16.
    EXPECT_EQ(wireBits(EncoderWord({0, 0, 4, 2}, -0.25)), "11" "1100");
    // Past the end of the word the line stays low.
    EXPECT_EQ(EncoderWord({0, 3, 4, 2}, turns).bit(40), 0u);
}

struct FormatCase {
    const char* name;
    EncoderFormatBytes format;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class EncoderFormats : public ::testing::TestWithParam<FormatCase> {};

// Right format: the count is the angle in 2^bits per turn.
TEST_P(EncoderFormats, MatchingFormatReadsTheAngle)
{
    const EncoderFormatBytes f = GetParam().format;
    SimConfig config;
    config.raEncoder.format = f;
    config.decEncoder.format = f;
    config.factory.ra.encoderFormat = f;
    config.factory.dec.encoderFormat = f;
    VirtualController c(config);
    const std::uint32_t perTurn = 1u << f.bitsPerRevolution;
    for (double turns : {0.0, 0.125, 0.3, 0.625, 0.999, 1.75, -0.4}) {
        c.setEncoderPhysics(Axis::Ra, {f, turns});
        const double fraction = turns - std::floor(turns);
        const auto expected = static_cast<std::uint32_t>(fraction * perTurn);
        EXPECT_EQ(c.encoderReading(Axis::Ra), expected) << turns << " turns";
    }
}

// Wrong format: the controller reads something else.
TEST_P(EncoderFormats, MismatchedFormatReadsWrong)
{
    const EncoderFormatBytes physical = GetParam().format;
    const double turns = 0.3;
    const auto right = static_cast<std::uint32_t>(turns * (1u << physical.bitsPerRevolution));
    const EncoderWord word(physical, turns);
    ASSERT_EQ(decodeEncoderWord(word, physical), right);

    EncoderFormatBytes wrongGray = physical;
    wrongGray.flags ^= encoderFlagGray;
    EncoderFormatBytes wrongInvert = physical;
    wrongInvert.flags ^= encoderFlagInvert;
    EncoderFormatBytes moreLeading = physical;
    ++moreLeading.leadingBits;
    EncoderFormatBytes moreRevolutions = physical;
    ++moreRevolutions.bitsForRevolutions;
    for (const EncoderFormatBytes& wrong : {wrongGray, wrongInvert, moreLeading, moreRevolutions})
        EXPECT_NE(decodeEncoderWord(word, wrong), right);

    // Inversion mismatched on plain binary data flips every position bit.
    if (!(physical.flags & encoderFlagGray)) {
        const std::uint32_t mask = (1u << physical.bitsPerRevolution) - 1;
        EXPECT_EQ(decodeEncoderWord(word, wrongInvert), ~right & mask);
    }
    // One leading bit too few shifts the word right by one place.
    if (physical.leadingBits > 0 && physical.flags == 0 && physical.bitsForRevolutions == 0) {
        EncoderFormatBytes fewerLeading = physical;
        --fewerLeading.leadingBits;
        EXPECT_EQ(decodeEncoderWord(word, fewerLeading), right >> 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllFormats, EncoderFormats,
    ::testing::Values(FormatCase{"Binary", {0, 12, 25, 0}}, FormatCase{"Gray", {encoderFlagGray, 12, 25, 0}},
                      FormatCase{"Inverted", {encoderFlagInvert, 12, 25, 0}},
                      FormatCase{"GrayInverted", {encoderFlagGray | encoderFlagInvert, 12, 25, 0}},
                      FormatCase{"NoLeadingBits", {0, 0, 20, 0}}, FormatCase{"FiveLeadingBits", {0, 5, 16, 0}},
                      FormatCase{"MultiTurnGray", {encoderFlagGray, 2, 13, 12}},
                      FormatCase{"ThirtyOneBits", {0, 1, 31, 0}}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST(EncoderReading, WrongFormatOverTheWireAndThenTheRightOne)
{
    SimConfig config;
    config.raEncoder = {{encoderFlagGray, 10, 24, 0}, 0.3};
    config.decEncoder = {{encoderFlagGray, 10, 24, 0}, 0.6};
    VirtualController c(config);   // the controller still expects binary, 12 leading bits, 25 bits
    const Bytes read = frameByte(DeviceCommand::ReadEncoders, 1);
    const std::uint32_t raRight = static_cast<std::uint32_t>(0.3 * (1 << 24));
    const std::uint32_t decRight = static_cast<std::uint32_t>(0.6 * (1 << 24));

    Bytes r = ask(c, read);
    EXPECT_NE(u32At(r, 3), raRight);
    EXPECT_NE(u32At(r, 7), decRight);

    c.receive(frameFormat({encoderFlagGray, 10, 24, 0}, {encoderFlagGray, 10, 24, 0}).data(), 12);
    r = ask(c, read);
    EXPECT_EQ(u32At(r, 3), raRight);
    EXPECT_EQ(u32At(r, 7), decRight);
}

TEST(EncoderReading, FollowsTheAxisAndItsCalibration)
{
    VirtualController c;
    const std::uint32_t perTurn = 1u << 25;
    // A quarter turn of RA, at the axis.
    transact(c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisRa,
                               static_cast<std::int32_t>(c.settings().ra.microsteps / 4), 0));
    c.advance(120.0);
    EXPECT_EQ(c.encoderReading(Axis::Ra), perTurn / 4);

    // Offset added, modulo one turn.
    transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0, perTurn - 100, 7));
    EXPECT_EQ(c.encoderReading(Axis::Ra), perTurn / 4 - 100);
    EXPECT_EQ(c.encoderReading(Axis::Dec), 7u);
    // Reversed: counts backwards from the same zero, then the offset.
    transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0x01, 1000, 0));
    EXPECT_EQ(c.encoderReading(Axis::Ra), perTurn - perTurn / 4 + 1000);
    EXPECT_EQ(c.encoderReading(Axis::Dec), 0u);
}

TEST(EncoderReading, AnyConfiguredFormatIsDecodedSafely)
{
    const EncoderWord word({encoderFlagGray, 12, 25, 4}, 1.3);
    for (unsigned flags : {0u, 3u, 255u}) {
        for (unsigned leading : {0u, 31u, 64u, 255u}) {
            for (unsigned bits : {0u, 1u, 32u, 33u, 64u, 200u, 255u}) {
                for (unsigned revolutions : {0u, 40u, 255u}) {
                    const EncoderFormatBytes f{static_cast<std::uint8_t>(flags), static_cast<std::uint8_t>(leading),
                                               static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(revolutions)};
                    const std::uint32_t v = decodeEncoderWord(word, f);
                    if (bits == 0) {
                        EXPECT_EQ(v, 0u);
                    }
                    (void)calibratedEncoderCount(v, f, true, 0xFFFFFFFF);
                }
            }
        }
    }
}

}  // namespace
}  // namespace kv7::sim::test
