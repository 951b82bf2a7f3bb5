// The serial ports of a Windows machine as the connect message numbers
// them: 1..255 are COM1..COM255, whether or not the port exists (opening
// one that does not says so). Number 0 is the built-in simulator, listed
// last, in the place of COM256, whose number would not fit in the message.
#pragma once

#include "protocol/PortCatalog.h"
#include "platform/win32/Win32SerialPort.h"

namespace kv7 {

class WindowsPortCatalog final : public PortCatalog {
public:
    static constexpr std::uint32_t maxComPort = 255;

    void setSimulator(SimulatorProvider* provider) { simulator = provider; }

    std::vector<PortEntry> entries() const override;
    bool resolve(std::uint32_t number, PortBinding& binding) override;

    // "\\.\COMn": the form that reaches COM10 and above as well.
    static void comDeviceName(std::uint32_t number, char* out, std::size_t capacity);

private:
    SimulatorProvider* simulator = nullptr;
    Win32SerialPort port;   // reused by every connection
};

}  // namespace kv7
