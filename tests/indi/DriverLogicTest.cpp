#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "indi/DriverLogic.h"

namespace kv7::indi {
namespace {

TEST(SlewRates, EachSpeedTakesTheNearestNamedRateAndTheLowerOnATie)
{
    // The rates sit at indices 1, 6, 18 and 31.
    const struct {
        std::uint8_t speed;
        std::size_t rate;
    } cases[] = {{0, 0}, {1, 0}, {3, 0}, {4, 1}, {6, 1}, {12, 1}, {13, 2}, {18, 2}, {24, 2}, {25, 3}, {31, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(slewRateForSpeed(c.speed), c.rate) << "speed " << int{c.speed};
}

TEST(SlewRates, RunSlowestFirstWithinTheHandPadSpeedsUpToTheAxisMaximum)
{
    for (std::size_t i = 0; i < slewRates().size(); ++i) {
        EXPECT_LE(slewRates()[i].speedIndex, 31);
        EXPECT_EQ(slewRateForSpeed(slewRates()[i].speedIndex), i);
        if (i > 0) {
            EXPECT_LT(slewRates()[i - 1].speedIndex, slewRates()[i].speedIndex);
        }
    }
    EXPECT_EQ(slewRates().back().speedIndex, 31);
}

TEST(StatusEffects, EveryErrorStatusRefusesOrLosesAndNoOtherDoes)
{
    for (std::uint32_t s = 0; s < statusCount; ++s) {
        const StatusEffect e = statusEffect(s);
        EXPECT_EQ(e == StatusEffect::Refused || e == StatusEffect::Lost, isErrorStatus(s)) << "status " << s;
    }
}

TEST(StatusEffects, OfTheStatusesThatMoveEndOrConfirm)
{
    const struct {
        std::uint32_t status;
        StatusEffect effect;
    } cases[] = {
        {Status::Positioning, StatusEffect::Moving},      {Status::ManualMovement, StatusEffect::Moving},
        {Status::Ready, StatusEffect::Arrived},           {Status::SyncedToTarget, StatusEffect::Synced},
        {Status::ParametersStored, StatusEffect::Done},   {Status::CalibrationUpdated, StatusEffect::Done},
        {Status::StoreFailed, StatusEffect::Refused},     {Status::BusyPositioning, StatusEffect::Refused},
        {Status::ConnectionLost, StatusEffect::Lost},     {Status::CommunicationError, StatusEffect::Refused},
        {Status::ConnectionClosed, StatusEffect::None},   {Status::ConnectionEstablished, StatusEffect::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(statusEffect(c.status), c.effect) << "status " << c.status;
}

TEST(FlipAnswers, FollowThePolicyAndWhatThePromptOffers)
{
    using P = FlipPolicy;
    const struct {
        P policy;
        std::int32_t kind;
        std::uint8_t answer;
    } cases[] = {
        {P::Flip, FlipPrompt::WestRecommended, FlipAnswer::WithFlip},
        {P::Flip, FlipPrompt::EastNeeded, FlipAnswer::WithFlip},
        {P::Flip, FlipPrompt::PierUnsettled, FlipAnswer::Cancel},
        {P::AvoidFlip, FlipPrompt::EastRecommended, FlipAnswer::WithoutFlip},
        {P::AvoidFlip, FlipPrompt::WestNeeded, FlipAnswer::WithFlip},
        {P::AvoidFlip, FlipPrompt::PierUnsettled, FlipAnswer::Cancel},
        {P::NeverFlip, FlipPrompt::WestRecommended, FlipAnswer::WithoutFlip},
        {P::NeverFlip, FlipPrompt::EastNeeded, FlipAnswer::Cancel},
        {P::NeverFlip, FlipPrompt::PierUnsettled, FlipAnswer::Cancel},
    };
    for (const auto& c : cases)
        EXPECT_EQ(flipAnswer(c.policy, c.kind), c.answer) << "policy " << int(c.policy) << " kind " << c.kind;
}

TEST(PierSides, SettledSidesMapAndAFlipUnderWayIsUnknown)
{
    const struct {
        std::int32_t pier;
        int indi;
    } cases[] = {{PierState::pierWest, 0}, {PierState::pierEast, 1}, {PierState::flippingToEast, -1},
                 {PierState::flippingToWest, -1}, {0, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(indiPierSide(c.pier), c.indi) << "pier " << c.pier;
}

TEST(Coordinates, HoursAndDegreesBecomeWholeArcsecondsFoldedAndClamped)
{
    const struct {
        double hours;
        std::uint32_t arcsec;
    } ra[] = {{0.0, 0}, {12.5, 675000}, {24.0, 0}, {-1.0, 1242000}, {23.99999, 1295999}, {25.0, 54000},
              {1.0 / 54000 * 0.4, 0}, {1.0 / 54000 * 0.6, 1}};
    for (const auto& c : ra)
        EXPECT_EQ(raArcsecFromHours(c.hours), c.arcsec) << c.hours << " h";
    const struct {
        double degrees;
        std::int32_t arcsec;
    } dec[] = {{0.0, 0}, {-45.5, -163800}, {90.0, 324000}, {91.0, 324000}, {-90.2, -324000}, {1.0 / 3600 * 0.6, 1}};
    for (const auto& c : dec)
        EXPECT_EQ(decArcsecFromDegrees(c.degrees), c.arcsec) << c.degrees << " deg";
    EXPECT_DOUBLE_EQ(raHoursFromArcsec(675000), 12.5);
    EXPECT_DOUBLE_EQ(decDegreesFromArcsec(-163800), -45.5);
}

TEST(Longitudes, IndiEastwardDegreesAndTheSitesSignedOnes)
{
    const struct {
        double indi;
        double site;
    } cases[] = {{0.0, 0.0}, {19.5, 19.5}, {180.0, 180.0}, {350.0, -10.0}, {359.5, -0.5}};
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(siteLongitudeFromIndi(c.indi), c.site) << c.indi;
        EXPECT_DOUBLE_EQ(indiLongitudeFromSite(c.site), c.indi) << c.site;
    }
}

TEST(EncoderOffsets, OnlyWholeNumbersThatFit32BitsAreSent)
{
    const struct {
        double value;
        bool ok;
        std::uint32_t offset;
    } cases[] = {{0.0, true, 0},          {12345.0, true, 12345}, {4294967295.0, true, 4294967295u},
                 {4294967296.0, false, 0}, {-1.0, false, 0},       {1.5, false, 0},
                 {std::numeric_limits<double>::quiet_NaN(), false, 0}};
    for (const auto& c : cases) {
        std::uint32_t offset = 0;
        EXPECT_EQ(offsetFromNumber(c.value, offset), c.ok) << c.value;
        if (c.ok) {
            EXPECT_EQ(offset, c.offset);
        }
    }
}

TEST(Coordinates, APositionOutOfTheSkyIsRefusedSayingWhich)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double ra;
        double dec;
        const char* problem;
    } cases[] = {{0.0, -90.0, ""},     {24.0, 90.0, ""},     {12.5, 30.0, ""},
                 {-0.1, 0.0, "RA"},    {24.01, 0.0, "RA"},   {nan, 0.0, "RA"},   {inf, 0.0, "RA"},
                 {6.0, 90.5, "Dec"},   {6.0, -91.0, "Dec"},  {6.0, nan, "Dec"}, {6.0, -inf, "Dec"}};
    for (const auto& c : cases) {
        const std::string problem = coordinateProblem(c.ra, c.dec);
        EXPECT_EQ(problem.substr(0, problem.find(' ')), c.problem) << c.ra << " " << c.dec << ": " << problem;
    }
}

TEST(EncoderFormats, AreRefusedInTheEncoderDialogsWords)
{
    const struct {
        bool dec;
        double leading, perRevolution, forRevolutions;
        const char* problem;
    } cases[] = {
        {false, 12, 25, 0, ""},
        {true, 0, 13, 12, ""},
        {false, 32, 25, 0, "RA leading bits must be 0 to 31"},
        {true, 0, 0, 0, "Dec bits per one revolution must be 1 to 32"},
        {false, 0, 20, 32, "RA bits for revolutions must be 0 to 31"},
        {true, 0, 20, 13, "Dec bits for revolutions and per revolution exceed 32"},
        {false, 1.5, 25, 0, "RA leading bits must be 0 to 31"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encoderFormatProblem(c.dec, c.leading, c.perRevolution, c.forRevolutions), c.problem)
            << c.leading << " " << c.perRevolution << " " << c.forRevolutions;
}

}  // namespace
}  // namespace kv7::indi
