#include "platform/posix/LinuxPortCatalog.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace kv7 {

namespace fs = std::filesystem;

namespace {

std::string readLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Vendor and product of the USB device a tty hangs off, if any.
std::string usbDescription(const std::string& ttyName)
{
    std::error_code ec;
    fs::path dir = fs::canonical(fs::path("/sys/class/tty") / ttyName / "device", ec);
    if (ec)
        return {};
    for (int depth = 0; depth < 6 && !dir.empty() && dir != dir.root_path(); ++depth, dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        std::string text = readLine(dir / "manufacturer");
        const std::string product = readLine(dir / "product");
        if (!product.empty())
            text += (text.empty() ? "" : " ") + product;
        text += (text.empty() ? "" : " ") + std::string("(") + readLine(dir / "idVendor") + ":" +
                readLine(dir / "idProduct") + ")";
        return text;
    }
    return {};
}

// Most machines list 4 to 32 ttyS ports whatever the hardware; only those
// whose UART the kernel has found are worth offering.
bool hasUart(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool present = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return present;
}

bool naturalLess(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

}  // namespace

LinuxPortCatalog::LinuxPortCatalog() { scan(); }

LinuxPortCatalog::LinuxPortCatalog(const std::vector<std::string>& paths)
{
    for (const std::string& p : paths)
        addDevice(p);
}

void LinuxPortCatalog::scan()
{
    std::error_code ec;
    std::set<std::string> seen;   // real device paths already listed

    // Stable names first: they survive replugging.
    std::vector<fs::path> byId;
    for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", ec))
        byId.push_back(entry.path());
    std::sort(byId.begin(), byId.end());
    for (const fs::path& link : byId) {
        const fs::path real = fs::canonical(link, ec);
        if (ec || !seen.insert(real.string()).second)
            continue;
        std::string description = usbDescription(real.filename().string());
        if (description.empty())
            description = link.filename().string();
        addDevice(real.string(), description);
    }

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator("/dev", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0 || name.rfind("ttyS", 0) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string pa = a.substr(0, a.find_first_of("0123456789"));
        const std::string pb = b.substr(0, b.find_first_of("0123456789"));
        if (pa != pb)
            return pa > pb;   // ttyUSB, ttyS, ttyACM: adapters before built-in ports
        return naturalLess(a, b);
    });
    for (const std::string& name : names) {
        const std::string path = "/dev/" + name;
        if (seen.count(path))
            continue;
        if (name.rfind("ttyS", 0) == 0 && !hasUart(path))
            continue;
        seen.insert(path);
        addDevice(path, usbDescription(name), name.rfind("ttyS", 0) != 0);
    }
}

std::uint32_t LinuxPortCatalog::addDevice(const std::string& path, const std::string& description, bool adapter)
{
    for (const PortEntry& e : devices) {
        if (e.device == path)
            return e.number;
    }
    if (devices.size() >= maxDevices || path.size() >= sizeof(PortBinding{}.device))
        return 0;
    PortEntry e;
    e.number = static_cast<std::uint32_t>(devices.size() + 1);
    e.device = path;
    e.name = fs::path(path).filename().string();
    e.description = description;
    e.adapter = adapter;
    devices.push_back(e);
    return e.number;
}

std::vector<PortEntry> LinuxPortCatalog::entries() const
{
    std::vector<PortEntry> all = devices;
    if (simulator) {
        PortEntry sim;
        sim.number = 0;
        sim.name = "Simulator";
        sim.description = "Built-in virtual KV7 controller";
        all.push_back(sim);
    }
    return all;
}

bool LinuxPortCatalog::resolve(std::uint32_t number, PortBinding& binding)
{
    if (number == 0)
        return simulator && simulator->bind(binding);
    if (number > devices.size())
        return false;
    const std::string& path = devices[number - 1].device;
    std::memcpy(binding.device, path.c_str(), path.size() + 1);
    binding.port = &port;
    binding.simulated = false;
    return true;
}

}  // namespace kv7
