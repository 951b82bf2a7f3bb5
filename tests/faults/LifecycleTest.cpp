// The link's life cycle under use: many connections in a row must leave no
// thread, descriptor or heap behind, and closing the program while the
// mount slews must be quick and silent on the line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "FaultHarness.h"
#include "entry/Application.h"
#include "link/LinkTypes.h"

namespace kv7::faults {
namespace {

// KV7_FAULT_CYCLES overrides the count, e.g. for a long soak.
int cycleCount()
{
    const char* text = std::getenv("KV7_FAULT_CYCLES");
    const int n = text ? std::atoi(text) : 0;
    return n > 0 ? n : 1000;
}

// A joined thread can stay listed by the kernel for a moment after the join
// returns; a thread that really stayed behind stays listed.
std::size_t threadCountSettlingAt(std::size_t expected)
{
    for (int i = 0; i < 500 && threadCount() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return threadCount();
}

TEST(Lifecycle, ManyConnectDisconnectCyclesLeaveNoThreadDescriptorOrHeapBehind)
{
    SimLink s;
    auto cycle = [&](int i) {
        s.listener.clear();
        s.tap.clearReceived();
        ASSERT_TRUE(s.connectAndConfigure()) << "cycle " << i;
        s.link->disconnect();
        ASSERT_TRUE(s.listener.waitForStatus(Status::ConnectionClosed)) << "cycle " << i;
        ASSERT_FALSE(s.link->isPortOpen());
    };
    // The first connections warm up what lives on (the allocator's caches
    // for a thread's first use, the listener's buffers).
    for (int i = 0; i < 5; ++i)
        cycle(i);
    const std::size_t threads = threadCount();
    const std::size_t descriptors = openDescriptors();
    const std::size_t heap = heapInUse();

    const int cycles = cycleCount();
    for (int i = 0; i < cycles; ++i) {
        cycle(i);
        if (HasFatalFailure())
            return;
        ASSERT_EQ(threadCountSettlingAt(threads), threads) << "cycle " << i;
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    const std::size_t heapAfter = heapInUse();
    // A leak of even a few bytes per connection would show across the
    // cycles; the slack is for the simulator's queues, which breathe.
    EXPECT_LT(heapAfter, heap + 16 * 1024) << "heap grew from " << heap << " to " << heapAfter << " bytes over "
                                           << cycles << " connections";
    EXPECT_EQ(s.host.withController([](sim::VirtualController& c) { return c.framesHandled(); }),
              7u * static_cast<std::uint64_t>(cycles + 5));
    RecordProperty("cycles", cycles);
}

// Records what the model posts to the window.
class PostedMessages final : public iWMUserSender, public iMainDlgCallback {
public:
    void postUserMessage(std::uint32_t code, std::uint32_t value) override
    {
        std::lock_guard<std::mutex> guard(mutex);
        posted.emplace_back(code, value);
        changed.notify_all();
    }
    bool waitFor(std::uint32_t code, std::uint32_t value, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, limit, [&] {
            return std::find(posted.begin(), posted.end(), std::make_pair(code, value)) != posted.end();
        });
    }
    void showStatus(std::uint16_t) override {}
    void showConfiguration(std::uint16_t, std::uint32_t) override {}
    void askMeridianFlip(std::int32_t) override {}
    void showMountState(const MountState&) override {}

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> posted;
};

TEST(Lifecycle, ShutdownWhileTheMountSlewsEndsWithinASecondAndSendsNothing)
{
    sim::PtyHost host(SimLink::hostOptions({}, 1.0));
    ASSERT_TRUE(host.start());
    TapPort tap;
    TapCatalog catalog(&tap, host.path());
    UtcTime t;
    t.year = 2024;
    t.month = 3;
    t.day = 20;
    t.hour = 21;
    test::FixedClock clock(t);
    const std::size_t threadsBefore = threadCount();

    Application::Options options;
    options.catalog = &catalog;
    options.clock = &clock;
    options.settleMs = 5;
    Application app(options);
    PostedMessages ui;
    app.attachFrontEnd(&ui, &ui);
    app.start();   // the real heartbeat from here on

    app.model().connect(1, 9600);
    ASSERT_TRUE(ui.waitFor(NotifyConfiguration, Status::ConnectionEstablished, 5s));
    // Three hours west of the meridian at 45 degrees north: positioned at
    // once from the east side, a slew of tens of seconds.
    const double raHours = std::fmod(app.model().localSiderealTime() - 3.0 + 48.0, 24.0);
    app.control().gotoTarget(static_cast<std::uint32_t>(raHours * 54000.0), 45 * 3600);
    ASSERT_TRUE(ui.waitFor(NotifyStatus, Status::Positioning, 5s));
    ASSERT_TRUE(host.waitUntil(
        [](const sim::VirtualController& c) { return c.motionStatus(sim::Axis::Ra) == sim::MotionStatus::Slewing; },
        5s));

    const std::size_t framesBefore = tap.framesWritten();
    const std::uint64_t handledBefore = host.withController([](sim::VirtualController& c) { return c.framesHandled(); });
    const auto start = std::chrono::steady_clock::now();
    app.shutdown();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 1s);
    RecordProperty("shutdown_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    EXPECT_EQ(threadCount(), threadsBefore) << "heartbeat, worker and reader have all ended";
    EXPECT_FALSE(host.waitUntil([&](const sim::VirtualController& c) { return c.framesHandled() > handledBefore; },
                                600ms))
        << "a frame reached the controller after shutdown";
    EXPECT_EQ(tap.framesWritten(), framesBefore);
    // Nothing stops the mount: it slews on to its target.
    EXPECT_EQ(host.withController([](sim::VirtualController& c) { return c.motionStatus(sim::Axis::Ra); }),
              sim::MotionStatus::Slewing);
}

}  // namespace
}  // namespace kv7::faults
