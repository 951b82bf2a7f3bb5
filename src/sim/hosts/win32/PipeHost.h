// The virtual controller behind a local named pipe, the Windows counterpart
// of the pseudo-terminal host. A client opens path() with CreateFile as it
// would open a COM port and talks to the controller through the ordinary
// serial code; the host runs the controller on its own thread, in real time
// multiplied by a scale, or (scale 0) only as far as advance() moves it.
//
// One client at a time; when it closes, the host listens for the next one.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/WinHandle.h"
#include "sim/hosts/HostedController.h"

namespace kv7::sim {

class PipeHost final : public HostedController {
public:
    PipeHost();
    explicit PipeHost(const Options& options);
    ~PipeHost();   // stops and joins

    PipeHost(const PipeHost&) = delete;
    PipeHost& operator=(const PipeHost&) = delete;

    // Creates the pipe and starts the thread. False (with a reason in
    // error, when given) if the pipe cannot be created. Once only.
    bool start(std::string* error = nullptr);
    void stop();

    // "\\.\pipe\kv7sim-<process>-<n>"; empty before start().
    const std::string& path() const { return pipePath; }
    bool running() const { return thread.joinable() && !stopRequested.load(); }

    // Waits until a client can open path(); false on time-out or once the
    // host has stopped or hung up.
    bool waitUntilListening(std::chrono::milliseconds limit);

private:
    enum class SessionEnd { ClientLeft, Stop, Vanished };

    void run();
    bool awaitClient();
    SessionEnd serve();
    void setListening(bool value);
    void hangUp();
    void wakeThread() override;

    bool listening = false;   // guarded by mutex

    WinHandle pipe;
    WinHandle stopEvent;   // manual reset: stop() until the thread has ended
    WinHandle wakeEvent;   // auto reset: advance() moved time
    std::string pipePath;

    std::thread thread;
    std::atomic<bool> stopRequested{false};
};

}  // namespace kv7::sim
