// The virtual controller behind a POSIX pseudo-terminal. Any program that
// opens path() as a serial port talks to it; the host runs the controller on
// its own thread, in real time multiplied by a scale, or (scale 0) only as
// far as advance() moves it, for tests that want simulated time in steps.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/UniqueFd.h"
#include "sim/hosts/HostedController.h"

namespace kv7::sim {

class PtyHost final : public HostedController {
public:
    PtyHost();
    explicit PtyHost(const Options& options);
    ~PtyHost() override;   // stops and joins

    // Opens the pseudo-terminal and starts the thread.
    bool start(std::string* error = nullptr) override;
    void stop() override;

    // The slave device, e.g. /dev/pts/4.
    const std::string& path() const override { return slavePath; }
    // The terminal takes a client as soon as start() has opened it.
    bool waitUntilListening(std::chrono::milliseconds) override { return true; }

private:
    void run();
    void wakeThread() override;
    void pump(std::vector<std::uint8_t>& pending);
    void hangUp();

    static constexpr std::chrono::microseconds spinMargin{100};

    UniqueFd master;
    UniqueFd slave;        // held open so the master never sees a hang-up between clients
    UniqueFd wakeRead;
    UniqueFd wakeWrite;
    std::string slavePath;
};

}  // namespace kv7::sim
