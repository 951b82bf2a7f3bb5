#include "astro/TextConvert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

namespace kv7 {
namespace {

constexpr char kGuard = '#';

// Larger than any capacity handed to a writer, so a write at or past the
// capacity shows as a changed guard byte; the final zero keeps a missing
// terminator from running the test off the end.
struct GuardedBuffer {
    std::array<char, 65> bytes;
    GuardedBuffer()
    {
        bytes.fill(kGuard);
        bytes.back() = '\0';
    }
    char* data() { return bytes.data(); }
    bool untouchedFrom(std::uint32_t index) const
    {
        for (std::size_t i = index; i + 1 < bytes.size(); ++i) {
            if (bytes[i] != kGuard)
                return false;
        }
        return true;
    }
};

std::array<int, 7> fields(const RaDecBytes& r)
{
    return {r.raHours, r.raMinutes, r.raSeconds, r.decNegative, r.decDegrees, r.decMinutes, r.decSeconds};
}

TEST(ParseRaText, ReadsToleratedForms)
{
    const struct {
        const char* text;
        int h, m, s;
    } cases[] = {
        {"05:30:00", 5, 30, 0},  {"5:3:7", 5, 3, 7},     {"12", 12, 0, 0},       {"123:45", 12, 45, 0},
        {"-02:00:00", 2, 0, 0},  {" 12h 30m", 12, 0, 0}, {"12:30:456", 12, 30, 45}, {":30", 0, 30, 0},
        {"", 0, 0, 0},           {"1::2:3", 1, 2, 3},    {"+-1:2", 1, 2, 0},     {"1:2-:3", 1, 2, 3},
        {"ab", 0, 0, 0},         {"99:99:99", 99, 99, 99},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RaDecBytes rec{77, 77, 77, 7, 7, 7, 7};
        EXPECT_EQ(parseRaText(c.text, &rec), 0);
        // The Dec half of the record belongs to the other parser.
        EXPECT_EQ(fields(rec), (std::array<int, 7>{c.h, c.m, c.s, 7, 7, 7, 7}));
    }
    EXPECT_EQ(parseRaText("12:00:00", nullptr), 0);
}

TEST(ParseDecText, ReadsToleratedForms)
{
    const struct {
        const char* text;
        int n, d, m, s;
    } cases[] = {
        {"-05:30:00", 1, 5, 30, 0}, {"+45:00:30", 0, 45, 0, 30}, {"-0:30", 1, 0, 30, 0},
        {"12:3:45", 0, 12, 3, 45},  {"120:00:00", 0, 120, 0, 0}, {"300", 0, 44, 0, 0},
        {"1234:5", 0, 123, 5, 0},   {"  -1", 1, 1, 0, 0},        {"1-2:3", 0, 12, 3, 0},
        {"--5", 1, 5, 0, 0},        {"+-5", 0, 5, 0, 0},         {"5:30:123", 0, 5, 30, 12},
        {"", 0, 0, 0, 0},           {":-:1", 0, 0, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        RaDecBytes rec{7, 7, 7, 77, 77, 77, 77};
        EXPECT_EQ(parseDecText(c.text, &rec), 0);
        EXPECT_EQ(fields(rec), (std::array<int, 7>{7, 7, 7, c.n, c.d, c.m, c.s}));
    }
    EXPECT_EQ(parseDecText("-12:00:00", nullptr), 0);
}

TEST(ParseTarget, BothParsersFillOneRecordForConversion)
{
    RaDecBytes rec;
    parseRaText("23:59:59", &rec);
    parseDecText("-89:59:59", &rec);
    std::uint32_t ra = 0;
    std::int32_t dec = 0;
    raDecBytesToUnits(rec, &ra, &dec);
    EXPECT_EQ(ra, 1295985u);
    EXPECT_EQ(dec, -323999);
}

TEST(FormatSignedDms, WritesSignDegreesMinutesSeconds)
{
    const struct {
        std::int32_t arcsec;
        const char* text;
    } cases[] = {
        {0, "+00:00:00"},       {59, "+00:00:59"},          {3600, "+01:00:00"},
        {360000, "+100:00:00"}, {-1, "-00:00:01"},          {45296, "+12:34:56"},
        {-3661, "-01:01:01"},   {4500000, "+999:00:00"},    {-4500000, "-999:00:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char buf[32];
        const std::uint32_t end = formatSignedDms(buf, sizeof buf, 0, c.arcsec, ':', ':');
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(end, std::strlen(c.text));
    }
    char buf[32] = "Dec ";
    EXPECT_EQ(formatSignedDms(buf, sizeof buf, 4, 45296, 'd', 'm'), 13u);
    EXPECT_STREQ(buf, "Dec +12d34m56");
}

TEST(DigitWriters, PadAndClamp)
{
    const struct {
        std::uint32_t value;
        const char* two;
        const char* three;
    } cases[] = {
        {0, "00", "00"},     {7, "07", "07"},     {42, "42", "42"},        {99, "99", "99"},
        {100, "99", "100"},  {150, "99", "150"},  {999, "99", "999"},     {1000, "99", "999"},
        {0xFFFFFFFFu, "99", "999"},  // a negative value passed through shows as the clamp
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        char buf[8];
        EXPECT_EQ(appendTwoDigits(buf, sizeof buf, 0, c.value), 2u);
        EXPECT_STREQ(buf, c.two);
        EXPECT_EQ(appendUpToThreeDigits(buf, sizeof buf, 0, c.value), std::strlen(c.three));
        EXPECT_STREQ(buf, c.three);
    }
}

TEST(DigitWriters, StopAtCapacityWithoutTerminator)
{
    GuardedBuffer buf;
    EXPECT_EQ(appendTwoDigits(buf.data(), 3, 1, 42), 2u);
    EXPECT_EQ(buf.bytes[1], '4');
    EXPECT_TRUE(buf.untouchedFrom(2));

    GuardedBuffer exact;  // both digits fit; the terminator would not
    EXPECT_EQ(appendUpToThreeDigits(exact.data(), 4, 0, 123), 3u);
    EXPECT_EQ(std::string(exact.data(), 3), "123");
    EXPECT_TRUE(exact.untouchedFrom(3));
}

TEST(AppendHexReversed, WritesLeastSignificantNibbleFirst)
{
    const struct {
        std::uint32_t value;
        const char* text;
    } cases[] = {
        {0, "00000000"}, {305419896, "87654321"}, {6700, "C2A10000"}, {0xABCDEFu, "FEDCBA00"}, {0xFFFFFFFFu, "FFFFFFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        char buf[16] = "x";
        EXPECT_EQ(appendHexReversed(buf, sizeof buf, 1, c.value), 9u);
        EXPECT_STREQ(buf + 1, c.text);
    }
}

TEST(TerminatedWriters, TruncateAndKeepLastByteForTerminator)
{
    using Writer = std::uint32_t (*)(char*, std::uint32_t);
    const struct {
        Writer write;
        std::string full;
    } writers[] = {
        {[](char* b, std::uint32_t cap) { return formatSignedDms(b, cap, 0, -3661, ':', ':'); }, "-01:01:01"},
        {[](char* b, std::uint32_t cap) { return appendText(b, cap, 0, "abcd"); }, "abcd"},
        {[](char* b, std::uint32_t cap) { return appendHexReversed(b, cap, 0, 305419896); }, "87654321"},
        {[](char* b, std::uint32_t cap) { return channelPipeName(b, cap, 6699); },
         "\\\\.\\Pipe\\velantrix_encoder_test_B2A10000"},
    };
    for (const auto& w : writers) {
        for (std::uint32_t capacity = 1; capacity <= w.full.size() + 2; ++capacity) {
            SCOPED_TRACE(testing::Message() << w.full << " capacity " << capacity);
            GuardedBuffer buf;
            const std::uint32_t end = w.write(buf.data(), capacity);
            EXPECT_EQ(end, std::min<std::size_t>(w.full.size(), capacity - 1));
            EXPECT_EQ(std::string(buf.data()), w.full.substr(0, end));
            EXPECT_TRUE(buf.untouchedFrom(capacity));
        }
    }
}

TEST(FormatSignedDms, SignNeedsRoomLikeEveryOtherCharacter)
{
    // Regression: starting on the last free byte used to put the sign there
    // and the terminator one past the end of the buffer.
    GuardedBuffer buf;
    EXPECT_EQ(formatSignedDms(buf.data(), 4, 3, -3661, ':', ':'), 3u);
    EXPECT_EQ(buf.bytes[3], '\0');
    EXPECT_TRUE(buf.untouchedFrom(4));
}

TEST(RevolutionToTenthArcsec, ScalesWithWrapAndTruncation)
{
    const struct {
        std::uint64_t value, divisor;
        std::uint32_t result;
    } cases[] = {
        {1, 4, 3240000}, {1u << 24, 1u << 25, 6480000}, {12345, 0, 0},
        {1, 7, 1851428},               // truncated, not rounded
        {1000, 1, 75098112},           // 12960000000 keeps its low 32 bits
        {1ull << 62, 1ull << 62, 0},   // the 64-bit product wraps to 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " / " << c.divisor);
        EXPECT_EQ(revolutionToTenthArcsec(c.value, c.divisor), c.result);
    }
}

TEST(FormatSiderealTime, IsBroughtIntoOneDay)
{
    struct Case {
        double hours;
        const char* text;
    };
    const Case cases[] = {
        {25.5, "01:30:00"}, {-0.25, "23:45:00"}, {0.0, "00:00:00"},   {23.9999, "23:59:59"},
        {48.5, "00:30:00"}, {-30.0, "18:00:00"}, {12.345, "12:20:42"},
    };
    for (const Case& c : cases) {
        char text[64];
        formatSiderealTime(c.hours, text);
        EXPECT_STREQ(text, c.text) << c.hours;
    }
    char text[64];
    formatSiderealTime(1e300, text);
    EXPECT_STREQ(text, "00:00:00");
}

}  // namespace
}  // namespace kv7
