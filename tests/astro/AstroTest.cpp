#include "astro/Astro.h"

#include <gtest/gtest.h>

namespace kv7 {
namespace {

TEST(RaDecBytesToUnits, ConvertsRaAsAngleAndDecWithSign)
{
    struct Case {
        RaDecBytes bytes;
        std::uint32_t ra;
        std::int32_t dec;
    };
    const Case cases[] = {
        {{23, 59, 59, 0, 0, 0, 0}, 1295985, 0},
        {{24, 0, 0, 0, 0, 0, 0}, 1296000, 0},
        {{0, 0, 0, 1, 0, 30, 0}, 0, -1800},
        {{0, 0, 0, 255, 0, 30, 0}, 0, -1800},
        {{0, 0, 0, 0, 90, 0, 0}, 0, 324000},
        {{1, 75, 1, 0, 1, 75, 1}, 54000 + 67500 + 15, 3600 + 4500 + 1},  // out-of-range bytes just add up
        {{255, 255, 255, 1, 255, 255, 255}, 255u * (54000 + 900 + 15), -255 * (3600 + 60 + 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "ra " << c.ra << " dec " << c.dec);
        std::uint32_t ra = 1;
        std::int32_t dec = 1;
        raDecBytesToUnits(c.bytes, &ra, &dec);
        EXPECT_EQ(ra, c.ra);
        EXPECT_EQ(dec, c.dec);
    }

    std::int32_t dec = 0;
    raDecBytesToUnits({1, 0, 0, 1, 2, 0, 0}, nullptr, &dec);  // absent output is skipped
    EXPECT_EQ(dec, -7200);
}

TEST(NormalizeDegrees, FoldsIntoOneTurnWithNegativeMultiplesGivingFullTurn)
{
    const struct {
        double in;
        double out;
    } cases[] = {
        {0.0, 0.0},      {359.9999, 359.9999}, {360.0, 0.0},   {720.0, 0.0},    {725.5, 5.5},
        {-10.0, 350.0},  {-370.0, 350.0},      {-360.0, 360.0}, {-720.0, 360.0}, {1e12, 280.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(normalizeDegrees(c.in), c.out);
    }
}

TEST(JulianDate, MatchesPublishedValues)
{
    const struct {
        int y, mo, d, h, mi, s;
        double jd;
    } cases[] = {
        {2000, 1, 1, 12, 0, 0, 2451545.0},    // J2000.0
        {1987, 4, 10, 19, 21, 0, 2446896.30625},
        {2000, 2, 29, 0, 0, 0, 2451603.5},    // leap day: February as month 14 of 1999
        {2000, 3, 1, 0, 0, 0, 2451604.5},
        {1900, 2, 28, 0, 0, 0, 2415078.5},    // 1900 is not a Gregorian leap year
        {1900, 3, 1, 0, 0, 0, 2415079.5},
        {1600, 1, 1, 0, 0, 0, 2305447.5},
        {1582, 10, 15, 0, 0, 0, 2299160.5},   // first Gregorian day
        {1582, 10, 4, 0, 0, 0, 2299159.5},    // last Julian day
        {1582, 10, 10, 0, 0, 0, 2299165.5},   // in the gap: Julian rule
        {837, 4, 10, 7, 12, 0, 2026871.8},
        {-1000, 7, 12, 12, 0, 0, 1356001.0},  // negative years floor downwards
        {-4712, 1, 1, 12, 0, 0, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.y << "-" << c.mo << "-" << c.d);
        EXPECT_NEAR(julianDate(c.y, c.mo, c.d, c.h, c.mi, c.s), c.jd, 1e-8);
    }
    EXPECT_NEAR(julianDate(2024, 3, 20, 23, 59, 59) - julianDate(2024, 3, 20, 0, 0, 0), 86399.0 / 86400.0, 1e-9);
}

TEST(GreenwichSiderealTime, MatchesPublishedValues)
{
    EXPECT_NEAR(greenwichSiderealTime(2451545.0), 18.697374558, 1e-9);
    EXPECT_NEAR(greenwichSiderealTime(julianDate(1987, 4, 10, 19, 21, 0)), 8.5825249, 1e-6);
    // Before J2000 the raw angle is negative and must still fold into one day.
    const double early = greenwichSiderealTime(julianDate(1900, 1, 1, 0, 0, 0));
    EXPECT_GE(early, 0.0);
    EXPECT_LT(early, 24.0);
}

TEST(LocalSiderealTime, AddsLongitudeWithoutFoldingIntoOneDay)
{
    // At 2024-03-20 11:36:00 UTC GMST is about 23.4997 h; 19.5 degrees east
    // adds 1.3 h and the result must stay above 24 for the callers to wrap.
    EXPECT_NEAR(localSiderealTimeAt(2024, 3, 20, 11, 36, 0, 19.5), 24.8, 1e-3);
    EXPECT_NEAR(localSiderealTimeAt(2000, 1, 1, 12, 0, 0, 19.5), 18.697374558 + 1.3, 1e-9);
}

TEST(HoursWithinOneDay, FoldsEitherWayAndNeverGivesTwentyFour)
{
    struct Case {
        double hours;
        double folded;
    };
    const Case cases[] = {
        {24.8, 0.8}, {-1.5, 22.5}, {0.0, 0.0}, {23.5, 23.5}, {48.25, 0.25}, {24.0, 0.0}, {-1e-17, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(hoursWithinOneDay(c.hours), c.folded, 1e-12) << c.hours;
    EXPECT_LT(hoursWithinOneDay(-1e-17), 24.0);
}

}  // namespace
}  // namespace kv7
