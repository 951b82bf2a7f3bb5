// The serial ports of a Windows machine as the connect message numbers
// them: 1..255 are COM1..COM255, whether or not the port exists (opening
// one that does not says so); those the system's serial-port map lists
// carry the name of their device as the description. Number 0 is the
// built-in simulator, listed last, in the place of COM256, whose number
// would not fit in the message.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "protocol/PortCatalog.h"
#include "platform/win32/Win32SerialPort.h"

namespace kv7 {

// A COM port the system knows (its number) and the device behind it, e.g.
// {3, "\\Device\\USBSER000"}.
using PresentPort = std::pair<std::uint32_t, std::string>;

// The serial-port map, HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: empty when it
// cannot be read.
std::vector<PresentPort> registrySerialPorts();

class WindowsPortCatalog final : public PortCatalog {
public:
    static constexpr std::uint32_t maxComPort = 255;
    using PresentPorts = std::vector<PresentPort> (*)();

    // Where the ports that exist are found each time the list is made.
    explicit WindowsPortCatalog(PresentPorts present = registrySerialPorts) : presentPorts(present) {}

    void setSimulator(SimulatorProvider* provider) { simulator = provider; }

    std::vector<PortEntry> entries() const override;
    bool resolve(std::uint32_t number, PortBinding& binding) override;

    // "\\.\COMn": the form that reaches COM10 and above as well.
    static void comDeviceName(std::uint32_t number, char* out, std::size_t capacity);

private:
    PresentPorts presentPorts;
    SimulatorProvider* simulator = nullptr;
    Win32SerialPort port;   // reused by every connection
};

}  // namespace kv7
