#include "ui/win32/Win32DialogHost.h"

namespace kv7 {

Win32DialogHost::Win32DialogHost(HINSTANCE instance) : instance(instance) {}

Win32DialogHost::~Win32DialogHost() = default;

HWND Win32DialogHost::currentWindow() const { return running.empty() ? nullptr : running.back()->window(); }

int Win32DialogHost::runModal(iDialogHandler& handler)
{
    HWND owner = currentWindow();
    std::unique_ptr<Win32Dialog> owned = std::make_unique<Win32Dialog>(handler, instance);
    Win32Dialog* dialog = owned.get();
    if (!owner)
        topLevel.push_back(std::move(owned));
    running.push_back(dialog);
    const INT_PTR result = dialog->run(owner);
    running.pop_back();
    return static_cast<int>(result);
}

void Win32DialogHost::openWebAddress(const char* address)
{
    // A desktop without a browser simply shows nothing; the result is not
    // worth a message box.
    ::ShellExecuteW(currentWindow(), nullptr, widen(address ? address : "").c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace kv7
