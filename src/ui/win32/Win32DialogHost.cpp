#include "ui/win32/Win32DialogHost.h"

#include <commdlg.h>

#include <cwchar>

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

bool Win32DialogHost::chooseFile(bool forWriting, const char* title, std::string& path)
{
    std::wstring file = widen(path.c_str());
    file.resize(MAX_PATH * 4, L'\0');
    const std::wstring caption = widen(title ? title : "");
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = currentWindow();
    ofn.lpstrFilter = L"Configuration snapshots (*.json)\0*.json\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = caption.c_str();
    ofn.lpstrDefExt = L"json";
    ofn.Flags = OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                (forWriting ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    if (!(forWriting ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn)))
        return false;
    file.resize(std::wcslen(file.c_str()));
    path = narrow(file);
    return true;
}

}  // namespace kv7
