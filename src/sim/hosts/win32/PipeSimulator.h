// Port 0, "Simulator", on Windows: a virtual controller on a named pipe
// inside the program, reached through the ordinary Win32 serial port, so the
// link runs its real connect sequence over the real serial code.
#pragma once

#include <memory>
#include <mutex>

#include "protocol/PortCatalog.h"
#include "platform/win32/Win32SerialPort.h"
#include "sim/hosts/win32/PipeHost.h"

namespace kv7::sim {

class PipeSimulator final : public SimulatorProvider {
public:
    PipeSimulator();
    explicit PipeSimulator(const PipeHost::Options& options);
    ~PipeSimulator() override;

    PipeSimulator(const PipeSimulator&) = delete;
    PipeSimulator& operator=(const PipeSimulator&) = delete;

    // Starts the simulator at the first call (and again if its device has
    // vanished), waits until its pipe takes a client, then hands out the
    // port, the pipe's name and simulated = true. Called on the link worker.
    bool bind(PortBinding& binding) override;

    // The running host, or null before the first bind.
    PipeHost* host();

private:
    PipeHost::Options options;
    std::mutex mutex;
    std::unique_ptr<PipeHost> pipeHost;
    Win32SerialPort port;   // declared after the host: closed before the host stops
};

}  // namespace kv7::sim
