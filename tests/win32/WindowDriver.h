// Drives dialogs of this process from a second thread, as a user (or a test
// robot) would: find the window, read its items, click. The dialog itself
// runs modally on the test's main thread; every call here reaches it
// through SendMessage, which its modal loop answers.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "ui/win32/Win32Api.h"

namespace kv7::test {

// A visible window of the process (this one unless said) with the caption,
// or null after limit.
HWND waitForDialog(const std::wstring& caption, std::chrono::milliseconds limit = std::chrono::seconds(20),
                   DWORD processId = ::GetCurrentProcessId());

// Polls until done() holds; false after limit.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(20));

std::string itemText(HWND dialog, int id);
std::wstring itemTextW(HWND dialog, int id);
bool itemEnabled(HWND dialog, int id);
// The click notification a button sends its dialog; refused (false) for a
// disabled button, which a user could not click either.
bool click(HWND dialog, int id);
LOGFONTW itemFont(HWND dialog, int id);

// Runs modal() on this thread and drive(window) on another, once a dialog
// with the caption has appeared. Whatever drive() does, the dialog is sent
// WM_CLOSE when it returns if it is still open, so a failing check never
// leaves the test hanging. Returns what modal() returned.
int runDriven(const std::function<int()>& modal, const std::wstring& caption,
              const std::function<void(HWND)>& drive);

}  // namespace kv7::test
