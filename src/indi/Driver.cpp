// The driver's one device: this machine's serial ports, the built-in
// simulator behind port 0, and the settings file the window and kv7ctl
// keep the site in. libindidriver's main runs the event loop and hands
// every client message to the devices that exist.
#include <memory>

#include "indi/Kv7Telescope.h"
#include "platform/SettingsFile.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"

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

}  // namespace
