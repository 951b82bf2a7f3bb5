// The desktop program's parts on the built-in simulator, for the tools that
// drive the real window from inside it (the screenshots, the window bench):
// simulator, catalogue, link and main window, opened and ready to connect.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <string>
#include <vector>

#include "entry/Application.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"
#include "ui/ControlIds.h"
#include "ui/DlgMain.h"
#include "ui/qt/QtDialog.h"
#include "ui/qt/QtDialogHost.h"

namespace kv7 {

// Dispatches events until done() holds; false after limitMs.
template <class Done>
bool waitFor(Done done, int limitMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

inline std::string fieldText(const QtDialog* dialog, int id)
{
    char buffer[160];
    dialog->getText(id, buffer, sizeof buffer);
    return buffer;
}

class SimulatorSession {
public:
    SimulatorSession(QtDialogHost& host, const sim::PtyHost::Options& simulatorOptions)
        : simulator(simulatorOptions), catalog(std::vector<std::string>{}), app(linkOptions(catalog)),
          mainDialog(&app.control(), &app.model(), &host)
    {
        catalog.setSimulator(&simulator);
        mainDialog.setPortChoices(catalogPortChoices(catalog.entries()));
        app.attachFrontEnd(&mainDialog, &mainDialog);
        app.start();
        window = host.open(mainDialog);
    }

    // The host keeps the window, but its handler goes with the session:
    // what the link posted before it stopped is delivered first.
    ~SimulatorSession()
    {
        app.shutdown();
        QApplication::processEvents();
        window->endDialog(0);
        QCoreApplication::removePostedEvents(window);
    }

    SimulatorSession(const SimulatorSession&) = delete;
    SimulatorSession& operator=(const SimulatorSession&) = delete;

    // Clicks Connect ("Simulator" is the only port) and waits for the link.
    bool connect(int limitMs)
    {
        mainDialog.handleCommand(MainId::Connect);
        return waitFor([this] { return status() == "Connection established."; }, limitMs);
    }
    std::string status() const { return fieldText(window, MainId::StatusLine); }

    sim::BuiltInSimulator simulator;
    LinuxPortCatalog catalog;
    Application app;
    DlgMain mainDialog;
    QtDialog* window = nullptr;

private:
    static Application::Options linkOptions(LinuxPortCatalog& catalog)
    {
        Application::Options o;
        o.catalog = &catalog;
        return o;
    }
};

}  // namespace kv7
