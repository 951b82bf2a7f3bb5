// kv7-encoder-setup: the desktop program on Linux.
#include <QApplication>

#include <cstdio>
#include <cstdlib>

#include "app/Application.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"
#include "ui/DlgMain.h"
#include "ui/qt/QtDialogHost.h"

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Qt aborts when it finds no display; say why and leave quietly instead,
// before anything has started.
bool displayAvailable() { return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM"); }

}  // namespace

int main(int argc, char** argv)
{
    if (!displayAvailable()) {
        std::fputs("kv7-encoder-setup: no display to open the window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set).\nStart it from a desktop session, or set "
                   "QT_QPA_PLATFORM=offscreen to run it without one.\n",
                   stderr);
        return 0;
    }
    QApplication application(argc, argv);

    kv7::sim::BuiltInSimulator simulator;
    kv7::LinuxPortCatalog catalog;
    catalog.setSimulator(&simulator);

    kv7::Application::Options options;
    options.catalog = &catalog;
    kv7::Application app(options);

    kv7::QtDialogHost host;
    kv7::DlgMain mainDialog(&app.control(), &app.model(), &host);
    mainDialog.setPortChoices(kv7::catalogPortChoices(catalog.entries()));
    app.attachFrontEnd(&mainDialog, &mainDialog);
    app.start();
    mainDialog.runDialog();
    // Nothing goes to the controller on the way out.
    app.shutdown();
    return 0;
}
