// The model: pending and displayed copies, the dispatch by code, the clock.
#include <gtest/gtest.h>

#include <vector>

#include "app/AppModel.h"
#include "astro/Astro.h"
#include "support/TestSupport.h"

namespace kv7 {
namespace {

struct Posted {
    std::uint32_t code;
    std::uint32_t value;
};

struct FakeWindow : iWMUserSender, iMainDlgCallback {
    void postUserMessage(std::uint32_t code, std::uint32_t value) override { posted.push_back({code, value}); }
    void showStatus(std::uint16_t s) override { calls.push_back("status " + std::to_string(s)); }
    void showConfiguration(std::uint16_t s, std::uint32_t e) override
    {
        calls.push_back("configuration " + std::to_string(s) + " " + std::to_string(e));
    }
    void askMeridianFlip(std::int32_t k) override { calls.push_back("ask " + std::to_string(k)); }
    void showMountState(const MountState& m) override
    {
        calls.push_back("mount " + std::to_string(m.raEncoderPosition));
    }
    std::vector<Posted> posted;
    std::vector<std::string> calls;
};

struct Model : ::testing::Test {
    Model()
    {
        model.setSender(&window);
        model.setMainDialog(&window);
    }
    void deliverAll()
    {
        const auto posted = window.posted;
        window.posted.clear();
        for (const Posted& p : posted)
            model.dispatchUserMessage(p.code, p.value);
    }
    FakeWindow window;
    AppModel model;
};

TEST_F(Model, DefaultsBeforeAnyConnection)
{
    const EncoderFormat& f = model.axisConfiguration.encoderFormat;
    EXPECT_EQ((std::vector<int>{f.raFlags, f.decFlags, f.raLeadingBits, f.raBitsPerRevolution, f.raBitsForRevolutions,
                                f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions}),
              (std::vector<int>{0, 0, 12, 25, 0, 12, 25, 0}));
    EXPECT_EQ(model.axisConfiguration.raEncoderResolution, 0u);
    EXPECT_EQ(model.axisConfiguration.decEncoderOffset, 0u);
    EXPECT_EQ(model.siteLongitude(), 19.5);
}

TEST_F(Model, ShowsPendingDataAsItIsAtDispatchTime)
{
    MountState a;
    a.valid = 1;
    a.raEncoderPosition = 100;
    MountState b = a;
    b.raEncoderPosition = 200;
    model.onMountState(a);
    model.onMountState(b);
    ASSERT_EQ(window.posted.size(), 1u);   // the second reading joins the first's message
    EXPECT_EQ(window.posted[0].code, NotifyMountState);
    deliverAll();
    EXPECT_EQ(window.calls, (std::vector<std::string>{"mount 200"}));
    EXPECT_EQ(model.mountState, b);
    // Once shown, the next reading is posted again.
    model.onMountState(a);
    ASSERT_EQ(window.posted.size(), 1u);
    deliverAll();
    EXPECT_EQ(model.mountState, a);

    ControllerParameters p1;
    p1.raGearRatio = 1;
    ControllerParameters p2;
    p2.raGearRatio = 2;
    AxisConfiguration axes;
    axes.raEncoderOffset = 77;
    window.calls.clear();
    model.onConfiguration(3, 1, p1, axes);
    model.onConfiguration(3, 1, p2, axes);
    EXPECT_EQ(model.parameters.raGearRatio, 0u);   // nothing displayed before dispatch
    deliverAll();
    EXPECT_EQ(window.calls, (std::vector<std::string>{"configuration 3 1", "configuration 3 1"}));
    EXPECT_EQ(model.parameters.raGearRatio, 2u);
    EXPECT_EQ(model.axisConfiguration.raEncoderOffset, 77u);
    EXPECT_EQ(model.extra, 1u);
}

TEST_F(Model, StatusAndPromptsPassThroughUnknownCodesDoNothing)
{
    model.onStatus(7);
    model.onMeridianFlipPrompt(4);
    deliverAll();
    EXPECT_EQ(window.calls, (std::vector<std::string>{"status 7", "ask 4"}));
    window.calls.clear();
    model.dispatchUserMessage(14, 1);
    model.dispatchUserMessage(9, 1);
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(Model, WithoutAWindowCopiesAreStillMadeAndNothingFails)
{
    model.setMainDialog(nullptr);
    MountState m;
    m.valid = 1;
    m.decEncoderPosition = 5;
    model.onMountState(m);
    deliverAll();
    EXPECT_EQ(model.mountState, m);
    EXPECT_TRUE(window.calls.empty());

    AppModel lonely;   // no sender yet: notifications are dropped
    lonely.onStatus(3);
    lonely.onMountState(m);
    lonely.dispatchUserMessage(13, 0);
    EXPECT_EQ(lonely.mountState, m);
}

TEST(ModelClock, SiderealTimeAtAnInjectedInstantIsNotFolded)
{
    // At 2024-03-20 11:36:00 UTC the GMST is about 23.5 h, so the LST at
    // 19.5 degrees east lies past 24.
    test::FixedClock clock(UtcTime{2024, 3, 20, 11, 36, 0});
    AppModel model(&clock);
    const double gmst = greenwichSiderealTime(julianDate(2024, 3, 20, 11, 36, 0));
    EXPECT_DOUBLE_EQ(model.localSiderealTime(), gmst + 1.3);
    EXPECT_GT(model.localSiderealTime(), 24.0);

    AppModel east(&clock, 90.0);
    EXPECT_DOUBLE_EQ(east.localSiderealTime(), gmst + 6.0);
}

TEST(ModelClock, SiteAndClockCorrectionTakeEffectAtTheNextSiderealTime)
{
    test::FixedClock clock(UtcTime{2024, 3, 20, 11, 36, 0});
    AppModel model(&clock);
    const double before = model.localSiderealTime();
    model.setSiteLongitude(-75.0);   // 94.5 degrees further west: 6.3 h earlier
    EXPECT_DOUBLE_EQ(model.siteLongitude(), -75.0);
    EXPECT_NEAR(model.localSiderealTime(), before - 6.3, 1e-9);

    // The computer's clock is 90 s slow: the sidereal time is that of the
    // corrected instant, and going back to 0 returns to the clock's own.
    model.setUtcCorrection(90);
    const double corrected = localSiderealTimeAt(2024, 3, 20, 11, 37, 30, -75.0);
    EXPECT_DOUBLE_EQ(model.localSiderealTime(), corrected);
    model.setUtcCorrection(0);
    EXPECT_NEAR(model.localSiderealTime(), before - 6.3, 1e-9);
}

TEST(ModelClock, ShiftedInstantsCrossDaysMonthsAndLeapDays)
{
    struct Case {
        UtcTime from;
        std::int64_t seconds;
        UtcTime to;
    };
    const Case cases[] = {
        {{2024, 2, 28, 23, 59, 30}, 45, {2024, 2, 29, 0, 0, 15}},
        {{2023, 2, 28, 23, 59, 30}, 45, {2023, 3, 1, 0, 0, 15}},
        {{2025, 1, 1, 0, 0, 10}, -20, {2024, 12, 31, 23, 59, 50}},
        {{2025, 6, 15, 12, 0, 0}, 0, {2025, 6, 15, 12, 0, 0}},
    };
    for (const Case& c : cases) {
        const UtcTime t = shiftedUtc(c.from, c.seconds);
        EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
                  (std::vector<int>{c.to.year, c.to.month, c.to.day, c.to.hour, c.to.minute, c.to.second}))
            << c.seconds;
    }
}

TEST(ModelClock, SystemClockGivesAPlausibleUtcInstant)
{
    SystemUtcClock clock;
    const UtcTime t = clock.now();
    EXPECT_GE(t.year, 2024);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_LE(t.hour, 23);
    EXPECT_LE(t.second, 60);
}

}  // namespace
}  // namespace kv7
