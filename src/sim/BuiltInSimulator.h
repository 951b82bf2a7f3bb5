// Port 0, "Simulator": a virtual controller on a pseudo-terminal inside the
// program, reached through the ordinary POSIX serial port, so the link runs
// its real connect sequence over the real serial code.
#pragma once

#include <memory>
#include <mutex>

#include "protocol/PortCatalog.h"
#include "platform/posix/PosixSerialPort.h"
#include "sim/hosts/PtyHost.h"

namespace kv7::sim {

class BuiltInSimulator final : public SimulatorProvider {
public:
    BuiltInSimulator();
    explicit BuiltInSimulator(const PtyHost::Options& options);
    ~BuiltInSimulator() override;

    BuiltInSimulator(const BuiltInSimulator&) = delete;
    BuiltInSimulator& operator=(const BuiltInSimulator&) = delete;

    // Starts the simulator at the first call (and again if its device has
    // vanished), then hands out the port, the pseudo-terminal's path and
    // simulated = true. Called on the link worker thread.
    bool bind(PortBinding& binding) override;

    // The running host, or null before the first bind.
    PtyHost* host();

private:
    PtyHost::Options options;
    std::mutex mutex;
    std::unique_ptr<PtyHost> ptyHost;
    PosixSerialPort port;   // declared after the host: closed before the host stops
};

}  // namespace kv7::sim
