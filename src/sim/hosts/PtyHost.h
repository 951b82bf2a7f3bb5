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

#include "sim/engine/VirtualController.h"

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

class PtyHost {
public:
    struct Options {
        SimConfig config;
        double timeScale = 1.0;   // simulated seconds per wall second; 0: only advance() moves time
        int quietResetMs = 100;   // a command frame left incomplete this long is dropped
    };

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
    // The device vanished (fault) and the terminal has been hung up.
    bool hungUp() const { return hangUpDone.load(); }

    // Moves the simulated clock on by seconds (any time scale).
    void advance(double seconds);

    // Runs f(VirtualController&) under the host's lock and returns its result.
    template <class F>
    auto withController(F&& f)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return f(controller);
    }

    // Waits until pred(const VirtualController&) holds, re-checking whenever
    // the controller has taken bytes or time has moved; false on time-out.
    template <class P>
    bool waitUntil(P&& pred, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, limit, [&] { return pred(static_cast<const VirtualController&>(controller)); });
    }

    // Waits until the device has vanished and hung up; false on time-out.
    bool waitForHangUp(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, limit, [this] { return hangUpDone.load(); });
    }

private:
    void run();
    void wake();
    void pump(std::vector<std::uint8_t>& pending);
    void hangUp();

    Options options;
    std::mutex mutex;
    std::condition_variable changed;
    VirtualController controller;

    UniqueFd master;
    UniqueFd slave;        // held open so the master never sees a hang-up between clients
    UniqueFd wakeRead;
    UniqueFd wakeWrite;
    std::string slavePath;

    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> hangUpDone{false};
};

}  // namespace kv7::sim
