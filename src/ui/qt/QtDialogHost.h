// Runs dialogs as Qt modal dialogs and opens web addresses on the desktop.
#pragma once

#include <memory>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/qt/QtDialog.h"

namespace kv7 {

class QtDialogHost : public iDialogHost {
public:
    QtDialogHost();
    virtual ~QtDialogHost();
    QtDialogHost(const QtDialogHost&) = delete;
    QtDialogHost& operator=(const QtDialogHost&) = delete;

    // A dialog opened while another one runs is owned by it, so it stays on
    // top and blocks it; a posted notification still reaches the owner.
    int runModal(iDialogHandler& handler) override;
    void openWebAddress(const char* address) override;
    bool chooseFile(bool forWriting, const char* title, std::string& path) override;

    // Builds, initialises and shows the handler's dialog as a window of its
    // own without waiting for it to end; the host keeps it. Tests and
    // screenshots drive it from there.
    QtDialog* open(iDialogHandler& handler);

    // Which copy of the program this is (0 the first): the windows without
    // an owner of copy n open n steps down and right of where Qt centres
    // the first copy's, so no two copies lie exactly on top of each other.
    void setCopyIndex(int index) { copyIndex = index; }
    static constexpr int copyStep = 32;   // pixels each way

private:
    QWidget* currentOwner() const;
    void place(QtDialog& dialog) const;

    // Dialogs without an owner live as long as the host: the link may still
    // post to the main window after it has closed.
    std::vector<std::unique_ptr<QtDialog>> topLevel;
    int copyIndex = 0;
};

}  // namespace kv7
