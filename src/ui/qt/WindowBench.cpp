// kv7-window-bench [SECONDS]: what the desktop program costs while it sits
// connected. The real main window (offscreen), the real link and the
// built-in simulator at its own pace, connected to "Simulator"; then the
// event loop runs SECONDS (default 30) with the live view on and as long
// again with it off, and prints the whole process's CPU time and voluntary
// context switches for each.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "entry/Application.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"
#include "ui/ControlIds.h"
#include "ui/DlgMain.h"
#include "ui/qt/QtDialogHost.h"

namespace {

struct Usage {
    double cpuSeconds = 0;
    long wakeUps = 0;
};

Usage usageNow()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    Usage u;
    u.cpuSeconds = static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
                   static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    u.wakeUps = r.ru_nvcsw;
    return u;
}

std::string fieldText(kv7::QtDialog* dialog, int id)
{
    char buffer[128];
    dialog->getText(id, buffer, sizeof buffer);
    return buffer;
}

// Runs the event loop as the program does, for the given time.
void runFor(int seconds)
{
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QApplication::exec();
}

void report(const char* label, const Usage& before, const Usage& after, int seconds)
{
    const double cpu = after.cpuSeconds - before.cpuSeconds;
    std::printf("  %-22s CPU %.3f %% of one core (%.1f ms in %d s), %.2f wake-ups/s\n", label,
                100.0 * cpu / seconds, 1000.0 * cpu, seconds,
                static_cast<double>(after.wakeUps - before.wakeUps) / seconds);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    if (seconds <= 0) {
        std::fputs("usage: kv7-window-bench [SECONDS]\n", stderr);
        return 2;
    }

    kv7::sim::BuiltInSimulator simulator;
    kv7::LinuxPortCatalog catalog(std::vector<std::string>{});
    catalog.setSimulator(&simulator);
    kv7::Application::Options options;
    options.catalog = &catalog;
    kv7::Application app(options);
    kv7::QtDialogHost host;
    kv7::DlgMain mainDialog(&app.control(), &app.model(), &host);
    mainDialog.setPortChoices(kv7::catalogPortChoices(catalog.entries()));
    app.attachFrontEnd(&mainDialog, &mainDialog);
    app.start();
    kv7::QtDialog* window = host.open(mainDialog);

    mainDialog.handleCommand(kv7::MainId::Connect);
    QElapsedTimer waited;
    waited.start();
    while (fieldText(window, kv7::MainId::StatusLine) != "Connection established.") {
        if (waited.elapsed() > 15000) {
            std::fputs("kv7-window-bench: the simulator did not connect\n", stderr);
            app.shutdown();
            return 1;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }

    std::printf("desktop program connected to the built-in simulator, window offscreen:\n");
    window->setCheck(kv7::MainId::LiveView, true);
    Usage before = usageNow();
    runFor(seconds);
    Usage after = usageNow();
    const bool refreshed = !fieldText(window, kv7::MainId::RaEncoderSystem).empty() &&
                           !fieldText(window, kv7::MainId::RaMotorSystem).empty();
    report("live view on:", before, after, seconds);

    window->setCheck(kv7::MainId::LiveView, false);
    before = usageNow();
    runFor(seconds);
    after = usageNow();
    report("live view off:", before, after, seconds);
    app.shutdown();
    if (!refreshed) {
        std::fputs("kv7-window-bench: the live view filled no encoder or motor row\n", stderr);
        return 1;
    }
    return 0;
}
