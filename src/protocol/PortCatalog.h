// Maps the 8-bit port numbers of the connect message to devices. The
// catalogue, not the link, knows how each number is opened, so the link
// never depends on the simulator or on how devices are named.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/SerialPort.h"

namespace kv7 {

struct PortEntry {
    std::uint32_t number = 0;   // 0 is the built-in simulator
    std::string name;           // what a list shows: "ttyUSB0", "COM3", "Simulator"
    std::string device;         // what open() takes
    std::string description;    // e.g. the USB vendor and product, may be empty
    // A plug-in adapter (USB serial, or a device named by the user), as
    // opposed to a port built into the machine: a controller is far more
    // likely behind one, so it is the one offered first.
    bool adapter = false;
};

// What the link gets back for a port number. The catalogue owns the port.
struct PortBinding {
    SerialPort* port = nullptr;
    char device[256] = {};
    bool simulated = false;     // connecting reports status 5 in place of status 1
};

// Stands up the built-in simulator on demand and binds port 0 to it.
class SimulatorProvider {
public:
    virtual ~SimulatorProvider() = default;
    // Starts the simulator if it is not running yet; false when it cannot.
    virtual bool bind(PortBinding& binding) = 0;
};

class PortCatalog {
public:
    virtual ~PortCatalog() = default;
    virtual std::vector<PortEntry> entries() const = 0;
    // Fills binding for the number; false when no such port exists. Called
    // on the link worker thread at each connect.
    virtual bool resolve(std::uint32_t number, PortBinding& binding) = 0;
};

}  // namespace kv7
