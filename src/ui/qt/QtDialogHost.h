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

    // Builds, initialises and shows the handler's dialog as a window of its
    // own without waiting for it to end; the host keeps it. Tests and
    // screenshots drive it from there.
    QtDialog* open(iDialogHandler& handler);

private:
    QWidget* currentOwner() const;

    // Dialogs without an owner live as long as the host: the link may still
    // post to the main window after it has closed.
    std::vector<std::unique_ptr<QtDialog>> topLevel;
};

}  // namespace kv7
