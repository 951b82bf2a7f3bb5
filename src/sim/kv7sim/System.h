// What kv7sim needs from the system it runs on: the device host, the
// requests to stop and the --link name. One implementation per system:
// posix/System.cpp (a pseudo-terminal, signals, a symbolic link) and
// win32/System.cpp (a named pipe, the console's Ctrl-C).
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "sim/hosts/HostedController.h"

namespace kv7::sim::tool {

struct DeviceWords {
    const char* usage;   // for the usage text: what kv7sim runs on, prints, and how it is stopped
    const char* cannotStart;   // the message when the device cannot be set up, before the reason
    bool link;           // whether --link is offered
};

extern const DeviceWords deviceWords;

// The host of this system, not started yet.
std::unique_ptr<HostedController> makeHost(const HostOptions& options);

// Requests to stop: SIGINT, SIGTERM and SIGHUP on POSIX; Ctrl-C, Ctrl-Break
// and the console window closing on Windows. Made before the host's thread
// starts, so that wait() is the only place that sees them.
class StopRequests {
public:
    StopRequests();
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    // True once a stop has been asked for; waits at most limit for one.
    bool wait(std::chrono::milliseconds limit);
};

// --link PATH: a second name for the device, claimed for the simulator's
// life so that a second kv7sim cannot take it.
class DeviceLink {
public:
    DeviceLink();
    ~DeviceLink();   // gives up the claim
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Before the device exists. False, with the reason, if PATH cannot be
    // claimed or another kv7sim holds it.
    bool claim(const std::string& path, std::string& error);
    // Makes the claimed PATH name device.
    bool make(const std::string& device, std::string& error);
    // Takes the name away again if it still names the device.
    void remove();

private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace kv7::sim::tool
