// The plot control as the Win32 renderer builds and paints it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "WindowDriver.h"
#include "app/Interfaces.h"
#include "ui/CommissioningDialog.h"
#include "ui/win32/Win32DialogHost.h"
#include "ui/win32/Win32Plot.h"

namespace kv7::test {
namespace {

// Takes every request and does nothing.
class IdleControl final : public iKV7Control {
public:
    void onHeartBeat() override {}
    void connect(std::uint32_t, std::uint32_t) override {}
    void disconnect() override {}
    void storeParameters() override {}
    void manualMove(std::uint8_t, std::uint8_t) override {}
    void stopMotion(std::uint8_t) override {}
    void setTracking(std::uint8_t) override {}
    void pierSideAction(std::uint8_t) override {}
    void gotoTarget(std::uint32_t, std::int32_t) override {}
    void answerMeridianFlip(std::uint16_t) override {}
    void setMotorReversal(std::uint8_t, std::uint8_t) override {}
    void setEncoderFormat(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t,
                          std::uint8_t, std::uint8_t) override {}
    void setEncoderCalibration(std::uint8_t, std::uint32_t, std::uint32_t) override {}
    void readEncoders(std::uint8_t) override { ++readings; }
    void syncToTarget(std::uint32_t, std::int32_t) override {}
    int readings = 0;
};

// Paints the plot into a white bitmap of the given size and counts the
// pixels of a colour.
int pixelsOf(const Win32Plot& plot, int width, int height, COLORREF colour)
{
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    ::ReleaseDC(nullptr, screen);
    const HGDIOBJ old = ::SelectObject(dc, bitmap);
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_STATIC;
    item.hDC = dc;
    item.rcItem = RECT{0, 0, width, height};
    plot.draw(item);
    int count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            count += ::GetPixel(dc, x, y) == colour ? 1 : 0;
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return count;
}

TEST(Win32Plot, PaintsEachSeriesInItsColourAndNothingWithoutValues)
{
    Win32Plot plot(7);
    const COLORREF blue = RGB(30, 90, 220);
    const COLORREF red = RGB(210, 40, 40);
    EXPECT_EQ(pixelsOf(plot, 120, 80, blue), 0);

    // A full plot's worth of values spans the whole width.
    std::vector<double> rising;
    for (int k = 0; k < 1200; ++k)
        rising.push_back(k);
    const std::vector<double> flat(1200, 100.0);
    const PlotSeries both[] = {{rising, {}}, {flat, {}}};
    plot.setSeries(both, "deg");
    EXPECT_GT(pixelsOf(plot, 120, 80, blue), 60);
    EXPECT_GT(pixelsOf(plot, 120, 80, red), 60);

    const std::vector<double> gone(50, std::nan(""));
    const PlotSeries none[] = {{gone, {}}};
    plot.setSeries(none, "deg");
    EXPECT_EQ(pixelsOf(plot, 120, 80, blue), 0);
}

TEST(CommissioningWindow, HasOwnerDrawnPlotsAndClosesWithTheMonitorStopped)
{
    Win32DialogHost host(::GetModuleHandleW(nullptr));
    IdleControl control;
    ControllerParameters parameters;
    AxisConfiguration configuration;
    CommissioningDialog dialog(control, parameters, configuration);
    const int result = runDriven([&] { return showCommissioning(host, dialog); }, L"Commissioning", [&](HWND w) {
        for (int id : {CommissioningId::AnglePlot, CommissioningId::DifferencePlot}) {
            const HWND plot = ::GetDlgItem(w, id);
            ASSERT_NE(plot, nullptr);
            EXPECT_EQ(::GetWindowLongW(plot, GWL_STYLE) & SS_TYPEMASK, SS_OWNERDRAW);
            ::RedrawWindow(plot, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        }
        EXPECT_TRUE(click(w, CommissioningId::MonitorStart));
        EXPECT_FALSE(itemEnabled(w, CommissioningId::MonitorStart));
        EXPECT_TRUE(click(w, CommissioningId::Close));
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(control.readings, 1);
    EXPECT_FALSE(dialog.monitoring());
}

}  // namespace
}  // namespace kv7::test
