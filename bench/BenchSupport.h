// Pieces the in-memory benchmarks share: a catalogue of one port, a
// listener that only counts, and the loop that lets the link and the
// virtual controller settle.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/Interfaces.h"
#include "link/CommControl.h"
#include "protocol/PortCatalog.h"
#include "sim/hosts/MemoryHost.h"

namespace kv7::bench {

// Every port number resolves to the one port, under device's name.
class OnePort final : public PortCatalog {
public:
    explicit OnePort(SerialPort* p, std::string d = "memory") : port(p), device(std::move(d)) {}
    std::vector<PortEntry> entries() const override { return {}; }
    bool resolve(std::uint32_t, PortBinding& binding) override
    {
        binding.port = port;
        device.copy(binding.device, sizeof binding.device - 1);
        return true;
    }

private:
    SerialPort* port;
    std::string device;
};

// Counts the readings and notes the configuration; says nothing else.
class Quiet final : public iNotificationListener {
public:
    void onStatus(std::uint32_t) override {}
    void onConfiguration(std::uint32_t, std::uint32_t, const ControllerParameters&, const AxisConfiguration&) override
    {
        configured = true;
    }
    void onMeridianFlipPrompt(std::int32_t) override {}
    void onMountState(const MountState&) override { ++readings; }
    bool configured = false;
    long readings = 0;
};

// Options for a link without threads and without the settle delay: the
// benchmark plays the worker and the serial reader itself.
inline CommControl::Options unthreaded()
{
    CommControl::Options options;
    options.settleMs = 0;
    options.startThreads = false;
    return options;
}

// The link without threads against the in-memory controller: a millisecond
// of simulated time at a time until neither has anything left to do.
inline void settle(CommControl& link, sim::MemoryHost& host)
{
    for (int i = 0; i < 100; ++i) {
        host.advance(0.001);
        if (link.pollSerial() + link.pump() == 0)
            return;
    }
}

// Connects the link without threads, feeding it heartbeat ticks until the
// controller's configuration is in; false if it never came.
inline bool connectWithoutThreads(CommControl& link, sim::MemoryHost& host, const Quiet& listener)
{
    link.connect(1, 9600);
    for (int i = 0; i < 40 && !listener.configured; ++i) {
        settle(link, host);
        link.onHeartBeat();
    }
    settle(link, host);
    return listener.configured;
}

}  // namespace kv7::bench
