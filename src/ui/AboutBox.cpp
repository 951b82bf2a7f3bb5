#include "ui/AboutBox.h"

#include <string>

#include "ui/Branding.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "version/Version.h"

namespace kv7 {

const DialogLayout& AboutBox::layout() const { return aboutBoxLayout(); }

bool AboutBox::onInit(iControlSurface& dialog)
{
    dialog.setText(AboutId::Version, "Version " + std::string(versionText()));
    return true;
}

bool AboutBox::onCommand(iControlSurface& dialog, int id)
{
    switch (id) {
    case AboutId::Ok:
    case AboutId::Exit:
        dialog.endDialog(1);
        return true;
    case AboutId::WebLink:
        // The box stays open; a desktop without a browser simply shows nothing.
        host.openWebAddress(makerWebAddress);
        return true;
    default:
        return false;
    }
}

void showAboutBox(iDialogHost& host)
{
    AboutBox box(host);
    host.runModal(box);
}

}  // namespace kv7
