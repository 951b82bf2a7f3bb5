// kv7-window-bench [SECONDS]: what the desktop program costs while it sits
// connected. The real main window (offscreen), the real link and the
// built-in simulator at its own pace, connected to "Simulator"; then the
// event loop runs SECONDS (default 30) with the live view on and as long
// again with it off, and prints the whole process's CPU time and voluntary
// context switches for each.
#include <QApplication>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

#include "ui/ControlIds.h"
#include "ui/qt/QtDialogHost.h"
#include "ui/qt/SimulatorSession.h"

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

    kv7::QtDialogHost host;
    kv7::SimulatorSession session(host, kv7::sim::PtyHost::Options{});
    kv7::QtDialog* window = session.window;
    if (!session.connect(15000)) {
        std::fputs("kv7-window-bench: the simulator did not connect\n", stderr);
        return 1;
    }

    std::printf("desktop program connected to the built-in simulator, window offscreen:\n");
    window->setCheck(kv7::MainId::LiveView, true);
    Usage before = usageNow();
    runFor(seconds);
    Usage after = usageNow();
    const bool refreshed = !kv7::fieldText(window, kv7::MainId::RaEncoderSystem).empty() &&
                           !kv7::fieldText(window, kv7::MainId::RaMotorSystem).empty();
    report("live view on:", before, after, seconds);

    window->setCheck(kv7::MainId::LiveView, false);
    before = usageNow();
    runFor(seconds);
    after = usageNow();
    report("live view off:", before, after, seconds);
    if (!refreshed) {
        std::fputs("kv7-window-bench: the live view filled no encoder or motor row\n", stderr);
        return 1;
    }
    return 0;
}
