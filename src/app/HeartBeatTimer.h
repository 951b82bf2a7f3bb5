// Calls its listener about every 250 ms on a thread of its own. The link
// counts its time-outs in these ticks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "app/Interfaces.h"

namespace kv7 {

class HeartBeatTimer {
public:
    static constexpr int periodMs = 250;

    explicit HeartBeatTimer(std::chrono::milliseconds period = std::chrono::milliseconds(periodMs))
        : period(period)
    {
    }
    ~HeartBeatTimer();
    HeartBeatTimer(const HeartBeatTimer&) = delete;
    HeartBeatTimer& operator=(const HeartBeatTimer&) = delete;

    void setListener(iHeartBeatListener* l);
    // When this returns no tick is in progress and none will reach the old listener.
    void clearListener();
    // The first tick comes one period after start, never at once.
    void start();
    // Returns at once, or when the tick in progress has ended.
    void stop();

    // How many times the loop has begun waiting for a period (tests use it to
    // know where the loop is, instead of sleeping).
    std::size_t waitsBegun() const;

private:
    void loop();

    std::mutex lock;                  // guards listener; held while it is called
    iHeartBeatListener* listener = nullptr;
    const std::chrono::milliseconds period;
    std::thread thread;
    mutable std::mutex stopMutex;
    std::size_t waits = 0;
    std::condition_variable stopSignal;
    bool stopRequested = false;
};

}  // namespace kv7
