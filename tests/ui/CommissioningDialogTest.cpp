#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "FakeDialogs.h"
#include "app/Codes.h"
#include "ui/CommissioningDialog.h"
#include "ui/PlotGeometry.h"

namespace kv7 {
namespace {

using test::FakeSurface;
using test::RecordingControl;
namespace C = CommissioningId;

struct Commissioning : ::testing::Test {
    Commissioning() : dialog(control, parameters(), configuration(), [this] { return clock; })
    {
        dialog.onInit(surface);
    }
    static ControllerParameters parameters()
    {
        ControllerParameters p;
        p.raMicrosteps = p.decMicrosteps = 1843200;
        p.raMaxSpeed = p.decMaxSpeed = 16000;
        return p;
    }
    static AxisConfiguration configuration()
    {
        AxisConfiguration c;
        c.raEncoderResolution = c.decEncoderResolution = 1u << 25;
        return c;
    }
    static MountState encoders(std::uint32_t ra, std::uint32_t dec)
    {
        MountState m;
        m.valid = 1;
        m.raEncoderPosition = ra;
        m.decEncoderPosition = dec;
        return m;
    }
    static MountState axes(std::int32_t ra, std::int32_t dec)
    {
        MountState m;
        m.axesValid = 1;
        m.raAxisPosition = ra;
        m.decAxisPosition = dec;
        return m;
    }
    std::string lastCall() const { return control.calls.empty() ? "" : control.calls.back(); }

    double clock = 100.0;
    RecordingControl control;
    FakeSurface surface{commissioningLayout()};
    CommissioningDialog dialog;
};

TEST_F(Commissioning, TheMonitorReadsEncodersThenMotorsAndPlotsEachPair)
{
    surface.click(dialog, C::MonitorStart);
    EXPECT_EQ(lastCall(), "readEncoders 0");
    EXPECT_FALSE(surface.at(C::MonitorStart).enabled);
    dialog.onMountState(encoders(1u << 23, 1u << 24));   // a quarter and a half turn
    EXPECT_EQ(lastCall(), "readEncoders 3");
    dialog.onMountState(axes(460800, 921600));            // the motors there too
    EXPECT_EQ(lastCall(), "readEncoders 0");              // as fast as the line allows
    dialog.onTimer(surface);
    const FakeSurface::PlotShown& angle = surface.plots[C::AnglePlot];
    ASSERT_EQ(angle.values.size(), 2u);
    EXPECT_DOUBLE_EQ(angle.values[0].at(0), 90.0);
    EXPECT_DOUBLE_EQ(angle.values[1].at(0), 180.0);
    EXPECT_EQ(angle.unit, "deg");
    const FakeSurface::PlotShown& apart = surface.plots[C::DifferencePlot];
    EXPECT_DOUBLE_EQ(apart.values[0].at(0), 0.0);
    EXPECT_EQ(surface.text(C::MonitorCounts).rfind("1 readings", 0), 0u) << surface.text(C::MonitorCounts);
}

TEST_F(Commissioning, ReadingsThatCannotBeRightAreMarkedAndCounted)
{
    surface.click(dialog, C::MonitorStart);
    struct Step {
        double at;
        std::uint32_t ra;
        bool marked;
    };
    // The axes turn at most 16000 steps a second: 0.0087 turn, 291271 counts.
    const Step steps[] = {
        {100.0, 1000, false},
        {100.1, 20000, false},
        {100.2, 20000 + (1u << 24), true},   // half a turn in a tenth of a second
        {100.3, 1u << 25, true},              // beyond the resolution
        {100.4, 30000, false},
    };
    for (const Step& s : steps) {
        clock = s.at;
        dialog.onMountState(encoders(s.ra, 5));
        dialog.onMountState(axes(0, 0));
    }
    dialog.onTimer(surface);
    const FakeSurface::PlotShown& angle = surface.plots[C::AnglePlot];
    ASSERT_EQ(angle.marks[0].size(), std::size(steps));
    for (std::size_t k = 0; k < std::size(steps); ++k)
        EXPECT_EQ(angle.marks[0][k] != 0, steps[k].marked) << k;
    EXPECT_TRUE(std::isnan(surface.plots[C::DifferencePlot].values[0][2]));
    EXPECT_NE(surface.text(C::MonitorCounts).find("cannot be right: RA 2, Dec 0"), std::string::npos)
        << surface.text(C::MonitorCounts);
}

TEST_F(Commissioning, AtAChosenRateTheNextPairWaitsForItsTime)
{
    surface.selectListEntry(C::MonitorRate, 2);   // two a second
    surface.click(dialog, C::MonitorStart);
    dialog.onMountState(encoders(1, 1));
    dialog.onMountState(axes(0, 0));
    const std::size_t calls = control.calls.size();
    clock += 0.3;
    dialog.onTimer(surface);
    EXPECT_EQ(control.calls.size(), calls);
    clock += 0.25;
    dialog.onTimer(surface);
    EXPECT_EQ(control.calls.size(), calls + 1);
    EXPECT_EQ(lastCall(), "readEncoders 0");
}

TEST_F(Commissioning, StoppingADetectionStopsTheAxisAndPutsTheFormatBack)
{
    surface.click(dialog, C::MonitorStart);
    surface.selectListEntry(C::Axis, 1);
    surface.click(dialog, C::DetectFormat);
    EXPECT_FALSE(dialog.monitoring());
    EXPECT_FALSE(surface.at(C::DetectFormat).enabled);
    EXPECT_TRUE(surface.at(C::StopProcedure).enabled);
    // The capture format on Dec (the RA format stays), then the move north.
    EXPECT_NE(std::find(control.calls.begin(), control.calls.end(), "setEncoderFormat 0 12 25 0 0 0 32 0"),
              control.calls.end());
    EXPECT_NE(std::find(control.calls.begin(), control.calls.end(), "manualMove 0 6"), control.calls.end());
    surface.click(dialog, C::StopProcedure);
    const std::vector<std::string> last(control.calls.end() - 2, control.calls.end());
    EXPECT_EQ(last, (std::vector<std::string>{"stopMotion 0", "setEncoderFormat 0 12 25 0 0 12 25 0"}));
    EXPECT_EQ(surface.text(C::ResultFirst), "Stopped: nothing was written.");
    EXPECT_TRUE(surface.at(C::DetectFormat).enabled);
    EXPECT_FALSE(surface.at(C::WriteFormat).enabled);
}

TEST_F(Commissioning, AnErrorOrClosingEndsARunningCheckWithTheAxisStopped)
{
    surface.click(dialog, C::CheckEncoder);
    EXPECT_EQ(control.calls.front(), "setTracking 0");
    dialog.onStatus(Status::CommunicationError);
    EXPECT_EQ(lastCall(), "stopMotion 2");
    EXPECT_NE(surface.text(C::ResultFirst).find("The axis was stopped and nothing was written."), std::string::npos);

    surface.click(dialog, C::CheckEncoder);
    surface.click(dialog, C::Close);
    EXPECT_EQ(lastCall(), "stopMotion 2");
    EXPECT_TRUE(surface.ended);
    EXPECT_EQ(surface.timerMs, 0);
}

TEST(PlotGeometry, ValuesFillTheAreaFromTheRightAndGapsBreakTheLine)
{
    const double nan = std::nan("");
    const std::vector<double> values = {0.0, 10.0, nan, 5.0};
    const std::vector<std::uint8_t> marks = {0, 1, 0, 0};
    const PlotSeries series[] = {{values, marks}};
    const PlotRange range = plotRange(series, "deg");
    EXPECT_FALSE(range.empty);
    EXPECT_EQ(range.topText, "10.00 deg");
    EXPECT_EQ(range.bottomText, "0.0000 deg");
    EXPECT_LT(range.low, 0.0);
    EXPECT_GT(range.high, 10.0);
    const std::vector<PlotPoint> points = plotPoints(series[0], range, 101, 51, 4);
    ASSERT_EQ(points.size(), 3u);
    struct Expected {
        int x;
        bool starts;
        bool marked;
    };
    const Expected expected[] = {{0, true, false}, {33, false, true}, {100, true, false}};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(points[k].x, expected[k].x) << k;
        EXPECT_EQ(points[k].startsLine, expected[k].starts) << k;
        EXPECT_EQ(points[k].marked, expected[k].marked) << k;
    }
    EXPECT_GT(points[0].y, points[2].y);   // 0 lower on the screen than 5
    EXPECT_LT(points[1].y, points[2].y);   // 10 higher than 5

    const std::vector<double> none = {nan};
    const PlotSeries empty[] = {{none, {}}};
    EXPECT_TRUE(plotRange(empty, "").empty);
    EXPECT_TRUE(plotPoints(empty[0], plotRange(empty, ""), 100, 50, 10).empty());
}

}  // namespace
}  // namespace kv7
