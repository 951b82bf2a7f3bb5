// The heartbeat: its first tick, detaching mid-tick, and stopping.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/HeartBeatTimer.h"

namespace kv7 {
namespace {

using Clock = std::chrono::steady_clock;

struct CountingListener : iHeartBeatListener {
    void onHeartBeat() override
    {
        if (count++ == 0)
            first = Clock::now();
        if (slowMs > 0) {
            inTick = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(slowMs));
            inTick = false;
        }
    }
    std::atomic<int> count{0};
    std::atomic<bool> inTick{false};
    int slowMs = 0;
    Clock::time_point first{};
};

TEST(HeartBeat, FirstTickComesAPeriodAfterStartNeverAtOnce)
{
    CountingListener l;
    HeartBeatTimer t;
    t.setListener(&l);
    const auto start = Clock::now();
    t.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(l.count.load(), 0);
    while (l.count.load() == 0 && Clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    t.stop();
    ASSERT_GE(l.count.load(), 1);
    EXPECT_GE(l.first - start, std::chrono::milliseconds(240));
}

TEST(HeartBeat, ClearListenerWaitsForTheTickInProgress)
{
    CountingListener l;
    l.slowMs = 150;
    HeartBeatTimer t;
    t.setListener(&l);
    t.start();
    while (!l.inTick.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    t.clearListener();
    EXPECT_FALSE(l.inTick.load());
    const int seen = l.count.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    EXPECT_EQ(l.count.load(), seen);
    t.stop();
}

TEST(HeartBeat, StopIsPromptAndHarmlessTwice)
{
    HeartBeatTimer t;
    t.start();
    const auto start = Clock::now();
    t.stop();
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
    t.stop();
    HeartBeatTimer neverStarted;
    neverStarted.stop();
}

}  // namespace
}  // namespace kv7
