// The virtual controller behind a local named pipe, the Windows counterpart
// of the pseudo-terminal host. A client opens path() with CreateFile as it
// would open a COM port and talks to the controller through the ordinary
// serial code; the host runs the controller on its own thread, in real time
// multiplied by a scale, or (scale 0) only as far as advance() moves it.
//
// One client at a time; when it closes, the host listens for the next one.
#pragma once

#include <chrono>
#include <string>

#include "platform/win32/WinHandle.h"
#include "sim/hosts/HostedController.h"

namespace kv7::sim {

class PipeHost final : public HostedController {
public:
    PipeHost();
    explicit PipeHost(const Options& options);
    ~PipeHost() override;   // stops and joins

    // Creates the pipe and starts the thread.
    bool start(std::string* error = nullptr) override;
    void stop() override;

    // "\\.\pipe\kv7sim-<process>-<n>".
    const std::string& path() const override { return pipePath; }
    // The pipe takes its next client only once the previous one's close
    // has reached the host's thread.
    bool waitUntilListening(std::chrono::milliseconds limit) override;

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
};

}  // namespace kv7::sim
