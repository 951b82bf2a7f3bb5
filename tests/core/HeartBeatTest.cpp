// The heartbeat: its first tick, detaching mid-tick, and stopping. The loop
// is watched through its count of waits, never through sleeps.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/HeartBeatTimer.h"

namespace kv7 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename Done>
bool within(std::chrono::milliseconds limit, Done done)
{
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

struct CountingListener : iHeartBeatListener {
    void onHeartBeat() override { ++count; }
    std::atomic<int> count{0};
};

TEST(HeartBeat, TheLoopWaitsAPeriodBeforeItsFirstTick)
{
    CountingListener l;
    HeartBeatTimer t(1h);
    t.setListener(&l);
    t.start();
    ASSERT_TRUE(within(5s, [&] { return t.waitsBegun() == 1; }));
    EXPECT_EQ(l.count.load(), 0);   // a tick at once would have come before the wait
    t.stop();
    EXPECT_EQ(l.count.load(), 0);
}

TEST(HeartBeat, TicksFollowOnePeriodApart)
{
    CountingListener l;
    HeartBeatTimer t(1ms);
    t.setListener(&l);
    t.start();
    ASSERT_TRUE(within(5s, [&] { return l.count.load() >= 3; }));
    t.stop();
    // Each tick ended a wait, and the loop waits again after each.
    EXPECT_GE(t.waitsBegun(), static_cast<std::size_t>(l.count.load()));
}

// A listener that stays in its tick until clearListener has returned, or
// 200 ms have passed: with the guarantee kept, the wait always runs out.
struct StickyListener : iHeartBeatListener {
    void onHeartBeat() override
    {
        ++count;
        std::unique_lock<std::mutex> guard(mutex);
        inTick = true;
        changed.notify_all();
        sawClearReturn = changed.wait_for(guard, 200ms, [&] { return clearReturned; }) || sawClearReturn;
        inTick = false;
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool inTick = false;
    bool clearReturned = false;
    bool sawClearReturn = false;
    std::atomic<int> count{0};
};

TEST(HeartBeat, ClearListenerWaitsForTheTickInProgressAndNoneFollows)
{
    StickyListener l;
    HeartBeatTimer t(1ms);
    t.setListener(&l);
    t.start();
    {
        std::unique_lock<std::mutex> guard(l.mutex);
        ASSERT_TRUE(l.changed.wait_for(guard, 5s, [&] { return l.inTick; }));
    }
    t.clearListener();
    {
        std::lock_guard<std::mutex> guard(l.mutex);
        l.clearReturned = true;
        l.changed.notify_all();
        EXPECT_FALSE(l.sawClearReturn) << "clearListener returned while a tick was still running";
        EXPECT_FALSE(l.inTick);
    }
    const int seen = l.count.load();
    const std::size_t waits = t.waitsBegun();
    ASSERT_TRUE(within(5s, [&] { return t.waitsBegun() >= waits + 3; }));   // ticks that found no listener
    EXPECT_EQ(l.count.load(), seen);
    t.stop();
}

TEST(HeartBeat, StopEndsTheWaitAtOnceAndIsHarmlessTwice)
{
    HeartBeatTimer t(1h);
    t.start();
    ASSERT_TRUE(within(5s, [&] { return t.waitsBegun() == 1; }));
    t.stop();   // returns: the hour-long wait was cut short
    t.stop();
    HeartBeatTimer neverStarted;
    neverStarted.stop();
}

}  // namespace
}  // namespace kv7
