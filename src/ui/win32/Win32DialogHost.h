// Runs dialogs as Win32 modal dialogs, each owned by the one running when
// it opens, and opens web addresses with the desktop's handler.
#pragma once

#include <memory>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/win32/Win32Dialog.h"

namespace kv7 {

class Win32DialogHost final : public iDialogHost {
public:
    explicit Win32DialogHost(HINSTANCE instance);
    ~Win32DialogHost();
    Win32DialogHost(const Win32DialogHost&) = delete;
    Win32DialogHost& operator=(const Win32DialogHost&) = delete;

    // A nested modal loop: messages posted to the dialogs below it keep
    // being delivered while it runs.
    int runModal(iDialogHandler& handler) override;
    void openWebAddress(const char* address) override;
    bool chooseFile(bool forWriting, const char* title, std::string& path) override;

    // The innermost dialog's window, or null. User-interface thread only.
    HWND currentWindow() const;

private:
    HINSTANCE instance;
    // Dialogs without an owner live as long as the host: the link may still
    // post to the main window after it has closed.
    std::vector<std::unique_ptr<Win32Dialog>> topLevel;
    std::vector<Win32Dialog*> running;
};

}  // namespace kv7
