// The virtual controller behind a POSIX pseudo-terminal. Any program that
// opens path() as a serial port talks to it; the host runs the controller on
// its own thread, in real time multiplied by a scale, or (scale 0) only as
// far as advance() moves it, for tests that want simulated time in steps.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/hosts/HostedController.h"

namespace kv7::sim {

// An owned file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : handle(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : handle(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return handle; }
    bool valid() const { return handle >= 0; }
    int release()
    {
        const int h = handle;
        handle = -1;
        return h;
    }
    void reset(int fd = -1);

private:
    int handle = -1;
};

class PtyHost final : public HostedController {
public:
    PtyHost();
    explicit PtyHost(const Options& options);
    ~PtyHost();   // stops and joins

    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    // Opens the pseudo-terminal and starts the thread. False (with a reason
    // in error, when given) if the terminal cannot be set up. Once only.
    bool start(std::string* error = nullptr);
    void stop();

    // The slave device, e.g. /dev/pts/4; empty before start().
    const std::string& path() const { return slavePath; }
    bool running() const { return thread.joinable() && !stopRequested.load(); }

private:
    void run();
    void wakeThread() override;
    void pump(std::vector<std::uint8_t>& pending);
    void hangUp();

    UniqueFd master;
    UniqueFd slave;        // held open so the master never sees a hang-up between clients
    UniqueFd wakeRead;
    UniqueFd wakeWrite;
    std::string slavePath;

    std::thread thread;
    std::atomic<bool> stopRequested{false};
};

}  // namespace kv7::sim
