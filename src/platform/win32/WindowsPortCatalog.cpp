#include "platform/win32/WindowsPortCatalog.h"

#include <cstdio>
#include <cstring>
#include <cwctype>

#include "platform/win32/WindowsHeaders.h"

namespace kv7 {

namespace {

// 3 for "COM3" (any case), 0 for anything that is no COM port in range.
std::uint32_t comNumber(const wchar_t* name)
{
    if (std::towupper(name[0]) != L'C' || std::towupper(name[1]) != L'O' || std::towupper(name[2]) != L'M')
        return 0;
    std::uint32_t n = 0;
    for (const wchar_t* p = name + 3; *p; ++p) {
        if (*p < L'0' || *p > L'9' || n > WindowsPortCatalog::maxComPort)
            return 0;
        n = n * 10 + static_cast<std::uint32_t>(*p - L'0');
    }
    return n <= WindowsPortCatalog::maxComPort ? n : 0;
}

std::string narrowAscii(const wchar_t* text)
{
    std::string out;
    for (; *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

// "\Device\USBSER000" -> "USBSER000": the name that tells the ports apart.
std::string shortDeviceName(const std::string& device)
{
    const std::size_t slash = device.find_last_of('\\');
    return slash == std::string::npos ? device : device.substr(slash + 1);
}

}  // namespace

std::vector<PresentPort> registrySerialPorts()
{
    std::vector<PresentPort> found;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return found;
    for (DWORD index = 0;; ++index) {
        wchar_t device[256];
        wchar_t port[64];
        DWORD deviceLength = 256;
        DWORD portBytes = sizeof port - sizeof(wchar_t);
        DWORD type = 0;
        const LONG r = ::RegEnumValueW(key, index, device, &deviceLength, nullptr, &type,
                                       reinterpret_cast<BYTE*>(port), &portBytes);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        port[portBytes / sizeof(wchar_t)] = L'\0';
        if (const std::uint32_t n = comNumber(port))
            found.emplace_back(n, narrowAscii(device));
    }
    ::RegCloseKey(key);
    return found;
}

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
    for (const auto& [number, device] : presentPorts ? presentPorts() : std::vector<PresentPort>{})
        all[number - 1].description = shortDeviceName(device);
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
