// The serial devices of this machine, numbered 1..N for the connect
// message; number 0 is the built-in simulator when one is provided.
#pragma once

#include <string>
#include <vector>

#include "protocol/PortCatalog.h"
#include "platform/posix/PosixSerialPort.h"

namespace kv7 {

class LinuxPortCatalog final : public PortCatalog {
public:
    // Scans /dev for serial devices: /dev/serial/by-id, ttyUSB, ttyACM and
    // the ttyS ports that have hardware behind them.
    LinuxPortCatalog();
    // A catalogue over the given device paths only (tests, command line).
    explicit LinuxPortCatalog(const std::vector<std::string>& devices);

    void setSimulator(SimulatorProvider* provider) { simulator = provider; }

    // Adds a device path (a pseudo-terminal, a symlink) unless already
    // listed; returns its number, or 0 when the catalogue is full.
    std::uint32_t addDevice(const std::string& path, const std::string& description = {}, bool adapter = true);

    std::vector<PortEntry> entries() const override;
    bool resolve(std::uint32_t number, PortBinding& binding) override;

    static constexpr std::uint32_t maxDevices = 255;

private:
    void scan();

    std::vector<PortEntry> devices;   // numbers 1..N in order
    SimulatorProvider* simulator = nullptr;
    PosixSerialPort port;             // reused by every connection
};

}  // namespace kv7
