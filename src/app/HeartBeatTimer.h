// Calls its listener about every 250 ms on a thread of its own. The link
// counts its time-outs in these ticks.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/Interfaces.h"

namespace kv7 {

class HeartBeatTimer {
public:
    static constexpr int periodMs = 250;

    HeartBeatTimer() = default;
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

private:
    void loop();

    std::mutex lock;                  // guards listener; held while it is called
    iHeartBeatListener* listener = nullptr;
    std::thread thread;
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopRequested = false;
};

}  // namespace kv7
