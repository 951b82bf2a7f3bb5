// The dialog's timer and its lists filled anew as they drop down, with the
// real Win32 windows: WM_TIMER reaches the handler, setTimer(0) stops it, the
// owner keeps ticking under a nested dialog, CBN_DROPDOWN comes before the
// list shows, and clearList empties it.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>

#include "WindowDriver.h"
#include "ui/win32/Win32DialogHost.h"

namespace kv7::test {
namespace {

namespace EventsId {
enum : int { List = 10, Open = 11, Clear = 12 };
}

constexpr ControlEntry eventsControls[] = {
    {EventsId::List, ControlKind::DropDownList, "", {7, 7, 80, 60}},
    {EventsId::Open, ControlKind::PushButton, "Open", {7, 28, 50, 14}},
    {EventsId::Clear, ControlKind::PushButton, "Clear", {60, 28, 50, 14}},
};
constexpr DialogLayout eventsLayout{0, "Surface events", {0, 0, 120, 60}, eventsControls};
constexpr DialogLayout nestedLayout{0, "Nested events", {10, 10, 120, 60}, eventsControls};

// Runs on the dialog's thread; the driver thread reads the counts.
class EventsHandler final : public iDialogHandler {
public:
    explicit EventsHandler(const DialogLayout& shape = eventsLayout) : shape(shape) {}

    const DialogLayout& layout() const override { return shape; }
    bool onInit(iControlSurface& dialog) override
    {
        dialog.addListEntry(EventsId::List, "COM1");
        dialog.selectListEntry(EventsId::List, 0);
        dialog.setTimer(periodMs);
        return true;
    }
    bool onCommand(iControlSurface& dialog, int id) override
    {
        switch (id) {
        case EventsId::Open:
            if (host && nested)
                host->runModal(*nested);
            return true;
        case EventsId::Clear: dialog.clearList(EventsId::List); return true;
        case DialogCommand::Cancel: dialog.endDialog(0); return true;
        default: return false;
        }
    }
    void onTimer(iControlSurface& dialog) override
    {
        const int n = ++ticks;
        if (n == stopAfter) {
            dialog.setTimer(0);
            if (stopped)
                stopped();
        }
    }
    void onListOpening(iControlSurface& dialog, int id) override
    {
        ++openings;
        if (opening)
            opening(dialog, id);
        dialog.clearList(id);
        dialog.addListEntry(id, "COM3");
        dialog.addListEntry(id, "COM4");
        dialog.selectListEntry(id, 1);
    }

    const DialogLayout& shape;
    int periodMs = 0;
    int stopAfter = 0;   // 0: never
    std::atomic<int> ticks{0};
    std::atomic<int> openings{0};
    std::function<void()> stopped;
    std::function<void(iControlSurface&, int)> opening;
    iDialogHost* host = nullptr;
    iDialogHandler* nested = nullptr;
};

// A thread timer of the test's own, dispatched by the dialog's modal loop:
// once it has fired n times at the period, any timer of that period still
// running on the dialog would have ticked too.
std::atomic<int> probeTicks{0};

void CALLBACK probeTick(HWND, UINT, UINT_PTR, DWORD) { ++probeTicks; }

std::wstring listEntry(HWND list, int index)
{
    wchar_t text[64] = {};
    if (::SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) >= 64)
        return L"";
    ::SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

class SurfaceEvents : public ::testing::Test {
protected:
    int run(const std::function<void(HWND)>& drive)
    {
        return runDriven([this] { return host.runModal(handler); }, L"Surface events", drive);
    }

    Win32DialogHost host{::GetModuleHandleW(nullptr)};
    EventsHandler handler;
};

TEST_F(SurfaceEvents, TheTimerCallsOnTimerAgainAndAgain)
{
    handler.periodMs = 10;
    run([this](HWND) { EXPECT_TRUE(waitUntil([this] { return handler.ticks >= 3; })); });
    EXPECT_GE(handler.ticks.load(), 3);
}

TEST_F(SurfaceEvents, SetTimerZeroStopsTheTicks)
{
    handler.periodMs = 10;
    handler.stopAfter = 2;
    probeTicks = 0;
    UINT_PTR probe = 0;
    handler.stopped = [&probe] { probe = ::SetTimer(nullptr, 0, 10, &probeTick); };
    run([this](HWND) {
        ASSERT_TRUE(waitUntil([] { return probeTicks >= 5; }));
        EXPECT_EQ(handler.ticks.load(), 2);
    });
    ASSERT_NE(probe, 0u);
    ::KillTimer(nullptr, probe);
}

TEST_F(SurfaceEvents, TheOwnersTimerKeepsTickingWhileANestedDialogRuns)
{
    EventsHandler inner(nestedLayout);
    handler.periodMs = 10;
    handler.host = &host;
    handler.nested = &inner;
    run([this](HWND owner) {
        // Posted: the click runs the nested dialog's loop until it ends.
        ::PostMessageW(owner, WM_COMMAND, MAKEWPARAM(EventsId::Open, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(owner, EventsId::Open)));
        HWND nested = waitForDialog(L"Nested events");
        ASSERT_NE(nested, nullptr);
        const int before = handler.ticks;
        EXPECT_TRUE(waitUntil([this, before] { return handler.ticks >= before + 3; }));
        ::PostMessageW(nested, WM_CLOSE, 0, 0);
        EXPECT_TRUE(waitUntil([nested] { return !::IsWindow(nested); }));
    });
}

TEST_F(SurfaceEvents, AListAboutToDropDownIsFilledAnewBeforeItShows)
{
    bool droppedWhileFilling = true;
    handler.opening = [&droppedWhileFilling](iControlSurface& surface, int id) {
        HWND list = ::GetDlgItem(dynamic_cast<Win32Dialog&>(surface).window(), id);
        droppedWhileFilling = ::SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0) != 0;
    };
    run([this](HWND w) {
        HWND list = ::GetDlgItem(w, EventsId::List);
        ASSERT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 1);
        ::SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
        EXPECT_EQ(handler.openings.load(), 1);
        EXPECT_NE(::SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0), 0);
        ASSERT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 2);
        EXPECT_EQ(listEntry(list, 0), L"COM3");
        EXPECT_EQ(::SendMessageW(list, CB_GETCURSEL, 0, 0), 1);
        ::SendMessageW(list, CB_SHOWDROPDOWN, FALSE, 0);
    });
    EXPECT_FALSE(droppedWhileFilling);
}

TEST_F(SurfaceEvents, ClearListEmptiesTheList)
{
    run([](HWND w) {
        HWND list = ::GetDlgItem(w, EventsId::List);
        ASSERT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 1);
        EXPECT_TRUE(click(w, EventsId::Clear));
        EXPECT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 0);
        EXPECT_EQ(::SendMessageW(list, CB_GETCURSEL, 0, 0), CB_ERR);
    });
}

}  // namespace
}  // namespace kv7::test
