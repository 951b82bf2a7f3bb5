// kv7-encoder-setup: the desktop program on Linux.
#include <QApplication>
#include <QDir>
#include <QLockFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/UserSettings.h"
#include "entry/Application.h"
#include "platform/AtomicFile.h"
#include "platform/SettingsFile.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"
#include "ui/DlgMain.h"
#include "ui/WindowTranscript.h"
#include "ui/qt/QtDialogHost.h"
#include "version/Version.h"

namespace {

constexpr char usage[] =
    "Usage: kv7-encoder-setup [--help | --version]\n"
    "\n"
    "Sets up and tests the KV7 motor controller of a telescope mount over a serial\n"
    "port: the encoder format and calibration, encoder readings, the hand pad,\n"
    "tracking, reference positions, meridian flips and slews. Port 0, \"Simulator\",\n"
    "is a built-in virtual controller. Qt's own options (-platform, -style, ...)\n"
    "are accepted too.\n"
    "\n"
    "  --help     show this text\n"
    "  --version  print the version and commit, then exit\n";

// Without a display there is nothing to do; that is no failure of the
// program, and scripts that start it everywhere must not see one.
constexpr int noDisplayExitCode = 0;

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

bool displayNamed() { return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM"); }

[[noreturn]] void leaveForWantOfADisplay(const std::string& why)
{
    std::fprintf(stderr,
                 "kv7-encoder-setup: no display to open the window on (%s).\nStart it from a desktop session, or "
                 "set QT_QPA_PLATFORM=offscreen to run it without one.\n",
                 why.c_str());
    std::fflush(stderr);
    // Nothing has started yet, and Qt is half way through its set-up: leave
    // without running anyone's destructors.
    std::_Exit(noDisplayExitCode);
}

std::string unreachableDisplay()
{
    if (isSet("QT_QPA_PLATFORM"))
        return std::string("Qt cannot start its platform \"") + std::getenv("QT_QPA_PLATFORM") + "\"";
    if (isSet("DISPLAY"))
        return std::string("the display DISPLAY names, ") + std::getenv("DISPLAY") + ", cannot be reached";
    return std::string("the display WAYLAND_DISPLAY names, ") + std::getenv("WAYLAND_DISPLAY") +
           ", cannot be reached";
}

// Qt ends the process with a fatal message (and a core dump) when its
// platform plugin cannot reach the display that the environment names.
// While the application object is made, its messages are held back: a fatal
// one is a display nobody can reach, and the rest are let through after.
std::vector<std::pair<QtMsgType, std::string>> heldMessages;
QtMessageHandler qtHandler = nullptr;

void holdStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg)
        leaveForWantOfADisplay(unreachableDisplay());
    std::string text;
    if (context.category && std::string(context.category) != "default")
        text = std::string(context.category) + ": ";
    text += message.toStdString();
    heldMessages.emplace_back(type, std::move(text));
}

void releaseStartupMessages()
{
    qInstallMessageHandler(qtHandler);
    for (const auto& [type, text] : heldMessages)
        qtHandler(type, QMessageLogContext(), QString::fromStdString(text));
    heldMessages.clear();
}

// The link resolves port numbers on its worker thread while the window lists
// the ports anew on its own, so one lock covers the catalogue. The catalogue
// only grows: a number once shown keeps naming the same device, and one
// unplugged since says so when Connect tries to open it.
class RescanningPortCatalog final : public kv7::PortCatalog {
public:
    void setSimulator(kv7::SimulatorProvider* provider)
    {
        const std::lock_guard<std::mutex> hold(lock);
        devices.setSimulator(provider);
    }

    std::vector<kv7::PortEntry> entries() const override
    {
        const std::lock_guard<std::mutex> hold(lock);
        return devices.entries();
    }

    bool resolve(std::uint32_t number, kv7::PortBinding& binding) override
    {
        const std::lock_guard<std::mutex> hold(lock);
        return devices.resolve(number, binding);
    }

    // Looks at /dev again and adds what has been plugged in since.
    std::vector<kv7::PortEntry> rescan()
    {
        const kv7::LinuxPortCatalog now;
        const std::lock_guard<std::mutex> hold(lock);
        for (const kv7::PortEntry& e : now.entries())
            devices.addDevice(e.device, e.description, e.adapter);
        return devices.entries();
    }

private:
    mutable std::mutex lock;
    kv7::LinuxPortCatalog devices;
};

// Which copy of the program this is: the first of the numbered lock files
// in the temporary folder that no running copy holds. The lock goes with
// the process, also when it ends without cleaning up.
int takeCopyIndex(std::unique_ptr<QLockFile>& held)
{
    constexpr int copies = 16;
    for (int index = 0; index < copies; ++index) {
        auto lock = std::make_unique<QLockFile>(
            QDir::temp().filePath(QStringLiteral("kv7-encoder-setup-%1.lock").arg(index)));
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            held = std::move(lock);
            return index;
        }
    }
    return copies;
}

}  // namespace

int main(int argc, char** argv)
{
    // Answered before Qt starts, so that they need no display.
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("%s\n", kv7::versionLine("kv7-encoder-setup").c_str());
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "--help") {
        std::fputs(usage, stdout);
        return 0;
    }
    if (!displayNamed())
        leaveForWantOfADisplay("neither DISPLAY nor WAYLAND_DISPLAY is set");
    qtHandler = qInstallMessageHandler(holdStartupMessage);
    QApplication application(argc, argv);
    releaseStartupMessages();

    kv7::sim::BuiltInSimulator simulator;
    RescanningPortCatalog catalog;
    catalog.setSimulator(&simulator);

    kv7::SettingsFile settings(kv7::defaultSettingsPath());
    kv7::WindowTranscript transcript;
    std::string transcriptError;
    std::vector<std::string> problems;
    kv7::Application::Options options;
    options.catalog = transcript.wrap(std::vector<std::string>(argv + 1, argv + argc),
                                      kv7::loadUserSettings(settings, problems), catalog, transcriptError);
    if (!transcriptError.empty())
        std::fprintf(stderr, "kv7-encoder-setup: transcript: %s\n", transcriptError.c_str());
    kv7::Application app(options);

    kv7::SettingsFile windowOptions(kv7::windowOptionsPath());
    kv7::QtDialogHost host;
    std::unique_ptr<QLockFile> copyLock;
    host.setCopyIndex(takeCopyIndex(copyLock));
    kv7::DlgMain mainDialog(&app.control(), &app.model(), &host);
    mainDialog.setPortChoices(kv7::catalogPortChoices(catalog.entries()));
    // An adapter plugged in after start shows up when the list next opens.
    mainDialog.setPortSource([&catalog] { return kv7::catalogPortChoices(catalog.rescan()); });
    mainDialog.setSettingsStore(settings.ifPlaced());
    mainDialog.setOptionsStore(windowOptions.ifPlaced());
    mainDialog.setFileAccess({kv7::atomicfile::readNamed, kv7::atomicfile::replace});
    return app.run(&mainDialog, &mainDialog, [&] { mainDialog.runDialog(); });
}
