#include "WindowDriver.h"

#include <gtest/gtest.h>

#include <vector>

namespace kv7::test {

namespace {

struct Search {
    std::wstring caption;
    DWORD processId = 0;
    HWND found = nullptr;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM context)
{
    auto* search = reinterpret_cast<Search*>(context);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != search->processId || !::IsWindowVisible(window))
        return TRUE;
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    if (search->caption != text)
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

HWND waitForDialog(const std::wstring& caption, std::chrono::milliseconds limit, DWORD processId)
{
    Search search{caption, processId};
    waitUntil(
        [&] {
            ::EnumWindows(&matchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        limit);
    return search.found;
}

std::string itemText(HWND dialog, int id)
{
    char text[512] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::wstring itemTextW(HWND dialog, int id)
{
    wchar_t text[512] = {};
    ::GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

bool itemEnabled(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item && ::IsWindowEnabled(item);
}

bool click(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    if (!item || !::IsWindowEnabled(item))
        return false;
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
    return true;
}

LOGFONTW itemFont(HWND dialog, int id)
{
    LOGFONTW font{};
    auto handle = reinterpret_cast<HFONT>(::SendDlgItemMessageW(dialog, id, WM_GETFONT, 0, 0));
    if (handle)
        ::GetObjectW(handle, sizeof font, &font);
    return font;
}

int runDriven(const std::function<int()>& modal, const std::wstring& caption, const std::function<void(HWND)>& drive)
{
    std::thread driver([&] {
        HWND window = waitForDialog(caption);
        EXPECT_NE(window, nullptr) << "no dialog appeared";
        if (!window)
            return;
        drive(window);
        if (::IsWindow(window))
            ::PostMessageW(window, WM_CLOSE, 0, 0);
    });
    const int result = modal();
    driver.join();
    return result;
}

}  // namespace kv7::test
