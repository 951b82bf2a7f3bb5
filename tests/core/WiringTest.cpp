// The start-up and shutdown shared by every entry, with the real threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "entry/Application.h"
#include "link/LinkTypes.h"
#include "support/TestSupport.h"

namespace kv7 {
namespace {

// Stands in for a window: posted messages are queued and delivered on the
// test thread, which plays the user-interface thread.
struct QueueWindow : iWMUserSender, iMainDlgCallback {
    void postUserMessage(std::uint32_t code, std::uint32_t value) override
    {
        std::lock_guard<std::mutex> g(m);
        queue.push_back({code, value});
    }
    void showStatus(std::uint16_t s) override { statuses.push_back(s); }
    void showConfiguration(std::uint16_t s, std::uint32_t) override { statuses.push_back(s); }
    void askMeridianFlip(std::int32_t) override {}
    void showMountState(const MountState&) override {}
    void deliver(AppModel& model)
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> now;
        {
            std::lock_guard<std::mutex> g(m);
            now.swap(queue);
        }
        for (auto [c, v] : now)
            model.dispatchUserMessage(c, v);
    }
    std::mutex m;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> queue;
    std::vector<std::uint16_t> statuses;
};

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(Wiring, ConnectsThroughTheHeartbeatAndShutsDownSilently)
{
    test::FakeController controller;
    controller.scriptConnect();
    test::TestCatalog catalog;
    catalog.add(1, &controller);
    Application::Options options;
    options.catalog = &catalog;
    options.settleMs = 10;
    Application app(options);
    QueueWindow window;
    app.attachFrontEnd(&window, &window);
    app.start();

    app.model().connect(1, 9600);   // the pause after identify needs two real ticks
    ASSERT_TRUE(waitUntil(
        [&] {
            window.deliver(app.model());
            return !window.statuses.empty() && window.statuses.back() == Status::ConnectionEstablished;
        },
        std::chrono::seconds(5)));
    EXPECT_EQ(app.model().parameters.raMicrosteps, 2000000u);
    EXPECT_EQ(window.statuses.front(), Status::OpeningPort);

    const std::size_t frames = controller.frameCount();
    app.control().manualMove(0, 31);   // the mount is moving when the program ends
    ASSERT_TRUE(controller.waitForFrames(frames + 1));
    const auto start = std::chrono::steady_clock::now();
    app.shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(controller.frameCount(), frames + 1);
    EXPECT_FALSE(controller.isOpen());
    app.shutdown();
}

TEST(Wiring, ShutdownDuringTheSettleDelayDoesNotWaitItOut)
{
    test::FakeController controller;
    test::TestCatalog catalog;
    catalog.add(1, &controller);
    Application::Options options;
    options.catalog = &catalog;
    options.settleMs = 10000;
    Application app(options);
    app.start();
    app.control().connect(1, 9600);
    ASSERT_TRUE(waitUntil([&] { return controller.isOpen(); }, std::chrono::seconds(5)));
    const auto start = std::chrono::steady_clock::now();
    app.shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(controller.frameCount(), 0u);
}

TEST(Wiring, WritersBlockedOnAFullChannelAreReleasedAtShutdown)
{
    test::TestCatalog catalog;
    Application::Options options;
    options.catalog = &catalog;
    options.settleMs = 100000;
    test::FakeController controller;
    catalog.add(1, &controller);
    Application app(options);
    app.control().connect(1, 9600);   // the worker sleeps in the settle delay
    ASSERT_TRUE(waitUntil([&] { return controller.isOpen(); }, std::chrono::seconds(5)));
    std::atomic<bool> done{false};
    std::thread ui([&] {
        for (int i = 0; i < 2000; ++i)   // far more than the channel holds
            app.control().readEncoders(0);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(done.load());
    app.shutdown();
    ui.join();
    EXPECT_TRUE(done.load());
}

}  // namespace
}  // namespace kv7
