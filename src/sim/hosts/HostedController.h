// What the real-time hosts (pseudo-terminal, named pipe) share: a device
// that a client opens by its path, the controller under a lock, its clock
// moved from outside, and the waits that tests and tools use while the
// host's own thread serves the device side.
#pragma once

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "sim/engine/VirtualController.h"
#include "sim/hosts/LinePace.h"
#include "transcript/Recorder.h"
#include "transcript/Replay.h"

namespace kv7::sim {

struct HostOptions {
    SimConfig config;
    double timeScale = 1.0;   // simulated seconds per wall second; 0: only advance() moves time
    int quietResetMs = 100;   // a command frame left incomplete this long is dropped
    // Bits per second of the serial line, each way, 8N1 (ten bit times a
    // byte, so 960 bytes a second at 9600), in wall-clock time whatever the
    // time scale: a command acts once its last byte could have arrived, and
    // replies reach the client no faster. 0: as fast as the host moves them.
    std::uint32_t lineRate = 0;
    // Not owned. Records what the client sends and what reaches it.
    transcript::Recorder* transcript = nullptr;
    // Not owned. Answers the client in the controller's place, under the
    // host's lock (read it through withController).
    transcript::ReplayEngine* replay = nullptr;
};

class HostedController {
public:
    using Options = HostOptions;

    HostedController(const HostedController&) = delete;
    HostedController& operator=(const HostedController&) = delete;
    virtual ~HostedController() = default;   // a host stops and joins in its own destructor

    // Opens the device and starts the host's thread. False (with a reason
    // in error, when given) if the device cannot be set up. Once only.
    virtual bool start(std::string* error = nullptr) = 0;
    // Stops and joins the thread and closes the device.
    virtual void stop() = 0;
    // What a client opens as a serial port; empty before start().
    virtual const std::string& path() const = 0;
    // Waits until a client can open path(); false on time-out or once the
    // host has stopped or hung up.
    virtual bool waitUntilListening(std::chrono::milliseconds limit) = 0;

    bool running() const { return thread.joinable() && !stopRequested.load(); }

    // The device vanished (fault) and the host has hung up for good.
    bool hungUp() const { return hangUpDone.load(); }

    // Moves the simulated clock on by seconds (any time scale).
    void advance(double seconds)
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            controller.advance(seconds);
        }
        changed.notify_all();
        wakeThread();
    }

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

protected:
    explicit HostedController(const Options& o)
        : options(o), controller(o.config), inboundLine(o.lineRate), outboundLine(o.lineRate)
    {
        if (!(options.timeScale >= 0.0) || !std::isfinite(options.timeScale))
            options.timeScale = 1.0;
    }

    using Clock = std::chrono::steady_clock;

    // Makes the host's thread look at the controller again.
    virtual void wakeThread() = 0;

    // For the host's thread. How long it may wait for the client before the
    // controller needs it: until the next reply falls due, a short step
    // while an axis changes speed, a frame is half in or the device is
    // vanishing, until the next byte on a paced line is through, and a
    // longer one while all is steady.
    int waitLimitMs();
    // The same to the microsecond, for hosts whose wait can be that fine: a
    // paced line's bytes are due every 87 µs at 115200 baud, and a wait
    // rounded up to the millisecond would slow the line down.
    std::chrono::microseconds waitLimit();
    // Bytes from the client at now, put on the line; those through it go to
    // the controller, whose clock is brought up to now first, so a command
    // acts at the moment its last byte arrived.
    void receiveFromClient(const std::uint8_t* data, std::size_t length, Clock::time_point now);
    // Brings the clock up to now, hands the controller the client's bytes
    // that are through the line, drops a command frame whose bytes stopped
    // coming, puts the replies that are due on the line and appends those
    // through it to toClient (as long as it stays under a bound, as a line
    // would lose what nobody reads).
    void catchUp(Clock::time_point now, std::vector<std::uint8_t>& toClient);
    // False while the client's bytes pile up on a slow line: the host then
    // leaves them with the device, as a full port makes its writer wait.
    bool takesInput() const { return inboundBytes.size() < maxInboundOnLine; }
    // Reply bytes still on their way to the client.
    bool repliesOnLine() const { return !outboundBytes.empty(); }
    // Bytes on their way through a paced line, either way (host thread only).
    bool bytesOnLine() const { return inboundLine.onLine() != 0 || outboundLine.onLine() != 0; }

    // start()'s refusal: the reason into error, when given, and false.
    static bool refuse(std::string* error, std::string why)
    {
        if (error)
            *error = std::move(why);
        return false;
    }

    Options options;
    std::mutex mutex;
    std::condition_variable changed;   // the controller took bytes, time moved, or the device hung up
    VirtualController controller;
    std::atomic<bool> hangUpDone{false};
    std::thread thread;   // the host's; started by start(), joined by stop()
    std::atomic<bool> stopRequested{false};

private:
    static constexpr std::size_t maxInboundOnLine = 4096;
    // Bytes through a paced line are handed on in chunks (LinePace::handOnAt):
    // one wake-up of the host a frame rather than one a byte.
    static constexpr std::chrono::milliseconds deliveryGrain{2};

    // With the lock held:
    void advanceTo(Clock::time_point now);
    void deliverArrived(Clock::time_point now);
    void sendReplies(Clock::time_point now);

    // How long until bytes are due out of either end of the line.
    std::chrono::microseconds timeToNextByte() const;

    // Host thread only:
    Clock::time_point lastTick = Clock::now();
    Clock::time_point lastInput = lastTick;   // when the controller last took bytes
    LinePace inboundLine;
    LinePace outboundLine;
    std::vector<std::uint8_t> inboundBytes;    // from the client, still on the line
    std::vector<std::uint8_t> outboundBytes;   // replies, still on the line
};

}  // namespace kv7::sim
