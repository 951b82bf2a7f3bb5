// The driver's one device: this machine's serial ports, the built-in
// simulator behind port 0, and the settings file the window and kv7ctl
// keep the site in. libindidriver's main runs the event loop and hands
// every client message to the devices that exist.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "indi/Kv7Telescope.h"
#include "platform/SettingsFile.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"
#include "version/Version.h"

namespace {

struct Driver {
    kv7::sim::BuiltInSimulator simulator{kv7::sim::PtyHost::Options{}};
    kv7::LinuxPortCatalog catalog;
    kv7::SettingsFile settings{kv7::defaultSettingsPath()};
    std::unique_ptr<kv7::indi::Kv7Telescope> telescope;

    Driver()
    {
        catalog.setSimulator(&simulator);
        kv7::indi::Kv7Telescope::Environment env;
        env.catalog = &catalog;
        env.addDevice = [this](const std::string& path) { return catalog.addDevice(path); };
        env.settings = settings.ifPlaced();
        telescope = std::make_unique<kv7::indi::Kv7Telescope>(env);
    }
};

Driver driver;

// libindidriver owns main(). glibc calls each .init_array function with the
// program's arguments before main, which lets --version and --help answer
// (for a person and for help2man) without starting the driver.
void answerVersionOrHelp(int argc, char** argv, char**)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s\n", kv7::versionLine("indi_kv7_telescope").c_str());
            std::exit(0);
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("Usage: indiserver indi_kv7_telescope\n"
                        "An INDI telescope driver for the KV7 motor controller; indiserver starts it and\n"
                        "INDI clients (KStars/Ekos, PHD2, indi_setprop) drive it.\n\n"
                        "  --version  print the version and exit\n"
                        "  --help     print this text and exit\n\n"
                        "Its port is the standard DEVICE_PORT property: a device path, a number from\n"
                        "`kv7ctl ports`, or sim (the built-in simulator).\n");
            std::exit(0);
        }
    }
}

[[gnu::used, gnu::section(".init_array")]] void (*answerBeforeMain)(int, char**, char**) =
    answerVersionOrHelp;

}  // namespace
