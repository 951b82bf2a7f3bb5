// The real main window (DlgMain rendered by the Win32 renderer, wired by
// Application to the real link) against the built-in simulator on its
// pipe, driven from a second thread through its dialog items.
#include <gtest/gtest.h>

#include <algorithm>

#include "WindowDriver.h"
#include "entry/Application.h"
#include "astro/TextConvert.h"
#include "app/Codes.h"
#include "platform/win32/WindowsPortCatalog.h"
#include "sim/hosts/win32/PipeSimulator.h"
#include "ui/Branding.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/DlgMain.h"
#include "ui/win32/Win32DialogHost.h"

namespace kv7::test {
namespace {

using namespace std::chrono_literals;
using sim::Axis;
using sim::VirtualController;

bool isOperating(int id)
{
    return std::find(MainId::operatingControls.begin(), MainId::operatingControls.end(), id) !=
           MainId::operatingControls.end();
}

RECT dialogUnits(HWND dialog, const DialogRect& r)
{
    RECT rect{r.x, r.y, r.x + r.cx, r.y + r.cy};
    ::MapDialogRect(dialog, &rect);
    return rect;
}

std::vector<std::uint8_t> bitmapBits(HBITMAP bitmap)
{
    BITMAP info{};
    if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info))
        return {};
    std::vector<std::uint8_t> bits(static_cast<std::size_t>(info.bmWidthBytes * info.bmHeight));
    ::GetBitmapBits(bitmap, static_cast<LONG>(bits.size()), bits.data());
    return bits;
}

// The window exactly as the program builds it, on a simulator whose clock
// stands still, so the encoders read the same whenever they are asked.
struct MainWindowRig {
    explicit MainWindowRig(const sim::PipeHost::Options& mount = frozenMount())
        : simulator(mount),
          app(options()),
          host(::GetModuleHandleW(nullptr)),
          mainDialog(&app.control(), &app.model(), &host)
    {
        mainDialog.setPortChoices(comPortChoices(catalog.entries()));
        app.attachFrontEnd(&mainDialog, &mainDialog);
        app.start();
    }
    ~MainWindowRig() { app.shutdown(); }

    static sim::PipeHost::Options frozenMount()
    {
        sim::PipeHost::Options o;
        o.timeScale = 0.0;
        o.config.raEncoder.zeroTurns = 0.3;
        o.config.decEncoder.zeroTurns = 0.85;
        return o;
    }
    Application::Options options()
    {
        catalog.setSimulator(&simulator);
        Application::Options o;
        o.catalog = &catalog;
        o.settleMs = 50;
        return o;
    }
    int run(const std::function<void(HWND)>& drive)
    {
        return runDriven([this] { return mainDialog.runDialog(); }, widen(mainCaption.data()), drive);
    }

    // COM3 is the one port this machine has.
    static std::vector<PresentPort> oneComPort() { return {{3, "\\Device\\Serial2"}}; }

    sim::PipeSimulator simulator;
    WindowsPortCatalog catalog{oneComPort};
    Application app;
    Win32DialogHost host;
    DlgMain mainDialog;
};

// Whether an edit shows all of its text: the text's width in the edit's
// font against the formatting rectangle the edit draws it in.
bool showsWholeText(HWND dialog, int id)
{
    HWND edit = ::GetDlgItem(dialog, id);
    const std::wstring text = itemTextW(dialog, id);
    RECT room{};
    ::SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&room));
    HDC dc = ::GetDC(edit);
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(edit, WM_GETFONT, 0, 0)));
    SIZE size{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(edit, dc);
    return size.cx <= room.right - room.left;
}

void checkInitialState(HWND w)
{
    wchar_t caption[256] = {};
    ::GetWindowTextW(w, caption, 256);
    EXPECT_EQ(std::wstring(caption), widen(mainCaption.data()));

    // Built from the table: the client area and a control where the table puts them.
    const DialogLayout& layout = mainDialogLayout();
    RECT client{};
    ::GetClientRect(w, &client);
    const RECT size = dialogUnits(w, {0, 0, layout.rect.cx, layout.rect.cy});
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    RECT status{};
    ::GetWindowRect(::GetDlgItem(w, MainId::StatusLine), &status);
    ::MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&status), 2);
    const RECT expected = dialogUnits(w, findControl(layout, MainId::StatusLine)->rect);
    EXPECT_EQ(status.left, expected.left);
    EXPECT_EQ(status.top, expected.top);
    EXPECT_EQ(status.right, expected.right);

    // The 20 operating controls wait for a connection; everything else is live.
    int disabled = 0;
    for (const ControlEntry& c : layout.controls) {
        if (c.id == -1)
            continue;
        EXPECT_EQ(itemEnabled(w, c.id), !isOperating(c.id)) << "control " << c.id;
        disabled += itemEnabled(w, c.id) ? 0 : 1;
    }
    EXPECT_EQ(disabled, static_cast<int>(MainId::operatingControls.size()));

    EXPECT_EQ(::IsDlgButtonChecked(w, MainId::TrackOff), BST_CHECKED);
    EXPECT_EQ(::IsDlgButtonChecked(w, MainId::TrackOn), BST_UNCHECKED);

    HWND slider = ::GetDlgItem(w, MainId::Speed);
    wchar_t className[64] = {};
    ::GetClassNameW(slider, className, 64);
    EXPECT_EQ(std::wstring(className), std::wstring(TRACKBAR_CLASSW));
    EXPECT_NE(::GetWindowLongW(slider, GWL_STYLE) & TBS_AUTOTICKS, 0);
    EXPECT_EQ(::SendMessageW(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(slider, TBM_GETRANGEMAX, 0, 0), 31);
    EXPECT_EQ(::SendMessageW(slider, TBM_GETPOS, 0, 0), 10);

    HWND ports = ::GetDlgItem(w, MainId::PortList);
    ASSERT_EQ(::SendMessageW(ports, CB_GETCOUNT, 0, 0), 256);
    for (int i = 0; i < 256; ++i) {
        wchar_t entry[32] = {};
        ::SendMessageW(ports, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        const std::wstring com = L"COM" + std::to_wstring(i + 1);
        EXPECT_EQ(std::wstring(entry), i == 255 ? L"Simulator" : i == 2 ? com + L" - Serial2" : com);
    }
    EXPECT_EQ(::SendMessageW(ports, CB_GETCURSEL, 0, 0), 2);   // the port that exists

    // The hand pad shows resource bitmaps 102 up, 103 down, 100 left (east)
    // and 101 right (west), 16 x 16 monochrome.
    const std::pair<int, int> arrows[] = {
        {MainId::North, 102}, {MainId::South, 103}, {MainId::East, 100}, {MainId::West, 101}};
    for (const auto& [id, resource] : arrows) {
        HWND button = ::GetDlgItem(w, id);
        EXPECT_NE(::GetWindowLongW(button, GWL_STYLE) & BS_BITMAP, 0) << id;
        auto shown = reinterpret_cast<HBITMAP>(::SendMessageW(button, BM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP info{};
        ASSERT_NE(::GetObjectW(shown, sizeof info, &info), 0) << id;
        EXPECT_EQ(info.bmWidth, 16);
        EXPECT_EQ(info.bmHeight, 16);
        EXPECT_EQ(info.bmBitsPixel, 1);
        const HBITMAP reference = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resource));
        EXPECT_EQ(bitmapBits(shown), bitmapBits(reference)) << id;
        ::DeleteObject(reference);
    }
}

TEST(MainWindow, OpensWithOperatingControlsOffThenConnectsToTheSimulatorAndReadsEncoders)
{
    MainWindowRig rig;
    const int result = rig.run([&](HWND w) {
        checkInitialState(w);

        // Enter and Esc do not close the main window; nothing else happens either.
        ::SendMessageW(w, WM_COMMAND, IDOK, 0);
        ::SendMessageW(w, WM_COMMAND, IDCANCEL, 0);
        EXPECT_TRUE(::IsWindow(w));
        MINMAXINFO limits{};
        ::SendMessageW(w, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        EXPECT_EQ(limits.ptMinTrackSize.x, 200);
        EXPECT_EQ(limits.ptMinTrackSize.y, 200);

        EXPECT_FALSE(click(w, MainId::ReadEncoders));   // not yet: disabled
        ::SendDlgItemMessageW(w, MainId::PortList, CB_SETCURSEL, 255, 0);
        ASSERT_TRUE(click(w, MainId::Connect));
        ASSERT_TRUE(waitUntil([&] { return itemText(w, MainId::StatusLine) == "Connection established."; }))
            << "status line: " << itemText(w, MainId::StatusLine);
        EXPECT_EQ(itemTextW(w, MainId::StatusLine), L"Connection established.");

        const sim::ControllerSettings sim =
            rig.simulator.host()->withController([](VirtualController& c) { return c.settings(); });
        for (int id : MainId::operatingControls)
            EXPECT_TRUE(itemEnabled(w, id)) << id;
        EXPECT_EQ(::GetDlgItemInt(w, MainId::RaGearRatio, nullptr, FALSE), sim.ra.gearRatio);
        EXPECT_EQ(::GetDlgItemInt(w, MainId::DecMicrosteps, nullptr, FALSE), sim.dec.microsteps);
        const unsigned raBits = ::GetDlgItemInt(w, MainId::RaBitsPerRevolution, nullptr, FALSE);
        const unsigned decBits = ::GetDlgItemInt(w, MainId::DecBitsPerRevolution, nullptr, FALSE);
        EXPECT_EQ(raBits, sim.ra.encoderFormat.bitsPerRevolution);

        ASSERT_TRUE(click(w, MainId::ReadEncoders));
        ASSERT_TRUE(waitUntil([&] { return !itemText(w, MainId::DecEncoderDms).empty(); }));
        const auto ra = rig.simulator.host()->withController([](VirtualController& c) { return c.encoderReading(Axis::Ra); });
        const auto dec = rig.simulator.host()->withController([](VirtualController& c) { return c.encoderReading(Axis::Dec); });
        BOOL ok = FALSE;
        EXPECT_EQ(::GetDlgItemInt(w, MainId::RaEncoderSystem, &ok, FALSE), ra);
        EXPECT_TRUE(ok);
        EXPECT_EQ(::GetDlgItemInt(w, MainId::DecEncoderSystem, &ok, FALSE), dec);
        EXPECT_TRUE(ok);
        const auto raArcsec = static_cast<std::uint32_t>(std::uint64_t{ra} * 1296000 >> raBits);
        const auto decArcsec = static_cast<std::uint32_t>(std::uint64_t{dec} * 1296000 >> decBits);
        EXPECT_EQ(::GetDlgItemInt(w, MainId::RaEncoderArcsec, nullptr, FALSE), raArcsec);
        EXPECT_EQ(::GetDlgItemInt(w, MainId::DecEncoderArcsec, nullptr, FALSE), decArcsec);
        char dms[128] = {};
        formatSignedDms(dms, sizeof dms, 0, static_cast<std::int32_t>(raArcsec), ':', ':');
        EXPECT_EQ(itemText(w, MainId::RaEncoderDms), dms);
        formatSignedDms(dms, sizeof dms, 0, static_cast<std::int32_t>(decArcsec), ':', ':');
        EXPECT_EQ(itemText(w, MainId::DecEncoderDms), dms);

        // "Track on" is checked by its click, and "Track off" cleared.
        ASSERT_TRUE(click(w, MainId::TrackOn));
        EXPECT_EQ(::IsDlgButtonChecked(w, MainId::TrackOn), BST_CHECKED);
        EXPECT_EQ(::IsDlgButtonChecked(w, MainId::TrackOff), BST_UNCHECKED);
    });
    EXPECT_EQ(result, 1);   // the close box
}

TEST(MainWindow, WithHoldTickedAHandPadButtonMovesWhileHeldDown)
{
    MainWindowRig rig;
    rig.run([&](HWND w) {
        ::SendDlgItemMessageW(w, MainId::PortList, CB_SETCURSEL, 255, 0);
        ASSERT_TRUE(click(w, MainId::Connect));
        ASSERT_TRUE(waitUntil([&] { return itemText(w, MainId::StatusLine) == "Connection established."; }));
        ::SendDlgItemMessageW(w, MainId::HoldToMove, BM_CLICK, 0, 0);
        ASSERT_EQ(::IsDlgButtonChecked(w, MainId::HoldToMove), BST_CHECKED);
        HWND north = ::GetDlgItem(w, MainId::North);
        ::SendMessageW(north, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        EXPECT_TRUE(waitUntil([&] { return itemText(w, MainId::StatusLine) == "Manual movement"; }))
            << itemText(w, MainId::StatusLine);
        ::SendMessageW(north, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        EXPECT_TRUE(waitUntil([&] { return itemText(w, MainId::StatusLine) == "Ready"; }))
            << itemText(w, MainId::StatusLine);
    });
}

TEST(MainWindow, ThirtyTwoBitResolutionsShowInFullAndUnclipped)
{
    sim::PipeHost::Options mount = MainWindowRig::frozenMount();
    mount.config.factory.ra.encoderFormat.bitsPerRevolution = 32;
    mount.config.factory.dec.encoderFormat.bitsPerRevolution = 32;
    MainWindowRig rig(mount);
    rig.run([&](HWND w) {
        ::SendDlgItemMessageW(w, MainId::PortList, CB_SETCURSEL, 255, 0);
        ASSERT_TRUE(click(w, MainId::Connect));
        ASSERT_TRUE(waitUntil([&] { return itemText(w, MainId::StatusLine) == "Connection established."; }))
            << "status line: " << itemText(w, MainId::StatusLine);
        for (int id : {MainId::RaBitsPerRevolution, MainId::DecBitsPerRevolution})
            EXPECT_EQ(itemText(w, id), "32") << id;
        for (int id : {MainId::RaEncoderResolution, MainId::DecEncoderResolution})
            EXPECT_EQ(itemText(w, id), "4294967296") << id;
        for (int id : {MainId::RaBitsPerRevolution, MainId::DecBitsPerRevolution, MainId::RaEncoderResolution,
                       MainId::DecEncoderResolution})
            EXPECT_TRUE(showsWholeText(w, id)) << id << " cuts \"" << itemText(w, id) << "\"";
    });
}

}  // namespace
}  // namespace kv7::test
