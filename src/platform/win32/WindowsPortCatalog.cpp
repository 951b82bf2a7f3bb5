#include "platform/win32/WindowsPortCatalog.h"

#include <cstdio>
#include <cstring>

namespace kv7 {

void WindowsPortCatalog::comDeviceName(std::uint32_t number, char* out, std::size_t capacity)
{
    std::snprintf(out, capacity, "\\\\.\\COM%u", static_cast<unsigned>(number));
}

std::vector<PortEntry> WindowsPortCatalog::entries() const
{
    std::vector<PortEntry> all;
    all.reserve(maxComPort + 1);
    for (std::uint32_t n = 1; n <= maxComPort; ++n) {
        PortEntry e;
        e.number = n;
        e.name = "COM" + std::to_string(n);
        char device[32];
        comDeviceName(n, device, sizeof device);
        e.device = device;
        all.push_back(std::move(e));
    }
    PortEntry sim;
    sim.number = 0;
    sim.name = "Simulator";
    sim.description = "Built-in virtual KV7 controller";
    all.push_back(std::move(sim));
    return all;
}

bool WindowsPortCatalog::resolve(std::uint32_t number, PortBinding& binding)
{
    if (number == 0)
        return simulator && simulator->bind(binding);
    if (number > maxComPort)
        return false;
    std::memset(binding.device, 0, sizeof binding.device);
    comDeviceName(number, binding.device, sizeof binding.device);
    binding.port = &port;
    binding.simulated = false;
    return true;
}

}  // namespace kv7
