// How the dialogs read numbers and check typed targets.
#include <gtest/gtest.h>

#include <string>

#include "ui/FieldText.h"
#include "ui/TargetText.h"

namespace kv7::test {
namespace {

TEST(FieldText, UnsignedFieldsReadDigitsWithBlanksAndNothingElse)
{
    struct Case {
        const char* text;
        bool ok;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"0", true, 0},           {"1000", true, 1000},  {"  42\t", true, 42},
        {"4294967295", true, 4294967295u},
        {"4294967296", false, 0}, {"", false, 0},      {"   ", false, 0},
        {"abc", false, 0},        {"12abc", false, 0}, {"-5", false, 0},
        {"+5", false, 0},         {"1 2", false, 0},
    };
    for (const Case& c : cases) {
        std::uint32_t value = 77;
        EXPECT_EQ(parseUnsignedText(c.text, value), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
}

TEST(TargetText, FractionsOfASecondOfTimeComeToTheNearestArcsecond)
{
    struct Case {
        const char* text;
        std::uint32_t arcsec;
    };
    for (const Case& c : {Case{"12:30:00", 675000}, Case{"12:30:00.5", 675008}, Case{"12:30:00.47", 675007},
                          Case{"12:30:00.033", 675000}, Case{"23:59:59.999", 1295999}}) {
        std::uint32_t arcsec = 0;
        ASSERT_EQ(readRaText(c.text, arcsec), TargetTextCheck::Sound) << c.text;
        EXPECT_EQ(arcsec, c.arcsec) << c.text;
    }
}

TEST(TargetText, AcceptsPositionsAndNamesTheFieldThatIsNot)
{
    EXPECT_EQ(targetTextProblem("12:30:00", "-10:30:00"), nullptr);
    EXPECT_EQ(targetTextProblem("0", "0"), nullptr);
    EXPECT_EQ(targetTextProblem(" 23:59:59 ", "+90:00:00"), nullptr);
    EXPECT_EQ(targetTextProblem("5:3:7", "-0:30"), nullptr);
    EXPECT_EQ(targetTextProblem("12:30", "045:00:00"), nullptr);
    EXPECT_EQ(targetTextProblem("12:30:00.5", "0"), nullptr);   // seconds of time may carry a fraction

    const std::string raForm = "Target not sent: RA not hh:mm:ss";
    for (const char* ra : {"", " ", "abc", "12h30m", "12 30 00", "123", "12:", "12:30:", "12:30:456", "+12",
                           "12:30.5", "12:30:00.", "12:30:00.1234", "12:30:00,5", "1:2:3:4"})
        EXPECT_EQ(targetTextProblem(ra, "10"), raForm) << '"' << ra << '"';
    for (const char* ra : {"24", "12:60", "12:00:60", "99:99:99"})
        EXPECT_EQ(targetTextProblem(ra, "10"), std::string("Target not sent: RA out of range")) << ra;

    for (const char* dec : {"", "-", "d10", "10 30", "1000", "10:", "+-10"})
        EXPECT_EQ(targetTextProblem("12", dec), std::string("Target not sent: Dec not dd:mm:ss")) << '"' << dec << '"';
    for (const char* dec : {"91", "-90:00:01", "90:01", "300", "10:60", "10:00:60"})
        EXPECT_EQ(targetTextProblem("12", dec), std::string("Target not sent: Dec out of range")) << dec;
}

}  // namespace
}  // namespace kv7::test
