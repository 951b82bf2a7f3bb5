// Port 0, "Simulator": a virtual controller on a device of the program's own,
// reached through the platform's ordinary serial port, so the link runs its
// real connect sequence over the real serial code. Host is the device side
// (a HostedController: the pseudo-terminal or the named pipe), Port the
// serial port that opens it; how port 0 is bound is the same for every pair.
#pragma once

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "protocol/PortCatalog.h"

namespace kv7::sim {

template <class Host, class Port>
class HostedSimulator : public SimulatorProvider {
public:
    using Options = typename Host::Options;

    HostedSimulator() : HostedSimulator(Options{}) {}
    explicit HostedSimulator(const Options& o) : options(o) {}
    ~HostedSimulator() override { port.close(); }

    HostedSimulator(const HostedSimulator&) = delete;
    HostedSimulator& operator=(const HostedSimulator&) = delete;

    // Starts the simulator at the first call (and again if its device has
    // vanished), waits until its device takes a client, then hands out the
    // port, the device's path and simulated = true. Called on the link
    // worker thread.
    bool bind(PortBinding& binding) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (running && running->hungUp()) {
            port.close();
            running.reset();
        }
        if (!running) {
            auto fresh = std::make_unique<Host>(options);
            if (!fresh->start())
                return false;
            running = std::move(fresh);
        }
        const std::string& path = running->path();
        if (path.size() >= sizeof binding.device || !running->waitUntilListening(listenLimit))
            return false;
        std::memset(binding.device, 0, sizeof binding.device);
        std::memcpy(binding.device, path.data(), path.size());
        binding.port = &port;
        binding.simulated = true;
        return true;
    }

    // The running host, or null before the first bind.
    Host* host()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return running.get();
    }

private:
    // A host that listens again only once the previous client's close has
    // reached it does so at once; this only bounds one that never comes back.
    static constexpr auto listenLimit = std::chrono::milliseconds(2000);

    Options options;
    std::mutex mutex;
    std::unique_ptr<Host> running;
    Port port;   // declared after the host: closed before the host stops
};

}  // namespace kv7::sim
