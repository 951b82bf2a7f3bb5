#include "app/HeartBeatTimer.h"

#include <chrono>

namespace kv7 {

HeartBeatTimer::~HeartBeatTimer() { stop(); }

void HeartBeatTimer::setListener(iHeartBeatListener* l)
{
    std::lock_guard<std::mutex> guard(lock);
    listener = l;
}

void HeartBeatTimer::clearListener()
{
    std::lock_guard<std::mutex> guard(lock);
    listener = nullptr;
}

void HeartBeatTimer::start()
{
    if (thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> guard(stopMutex);
        stopRequested = false;
    }
    thread = std::thread([this] { loop(); });
}

void HeartBeatTimer::stop()
{
    {
        std::lock_guard<std::mutex> guard(stopMutex);
        stopRequested = true;
    }
    stopSignal.notify_all();
    if (thread.joinable())
        thread.join();
}

std::size_t HeartBeatTimer::waitsBegun() const
{
    std::lock_guard<std::mutex> guard(stopMutex);
    return waits;
}

void HeartBeatTimer::loop()
{
    // Each wait starts after the previous tick has ended, so ticks are one
    // period apart plus the listener's running time; missed ticks are not
    // made up.
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(stopMutex);
            ++waits;
            if (stopSignal.wait_for(guard, period, [this] { return stopRequested; }))
                return;
        }
        std::lock_guard<std::mutex> guard(lock);
        if (listener)
            listener->onHeartBeat();
    }
}

}  // namespace kv7
