// The link with its threads: a reading asked for, and a reply read, are
// handled by the thread that has them when the worker is free, and only
// then. The order of messages and the end of a connection stay as they are
// when everything goes through the worker.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "link/LinkHarness.h"

namespace kv7::test {
namespace {

using namespace std::chrono_literals;

// The fake controller behind a gate: a write of the held command code waits
// until released. Frames are logged as their writes finish.
class HeldPort final : public SerialPort {
public:
    explicit HeldPort(FakeController* c) : controller(c) {}

    bool open(const char* device, std::uint32_t baud) override { return controller->open(device, baud); }
    void close() override { controller->close(); }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        return controller->read(buffer, capacity, timeoutMs);
    }
    void wakeReader() override { controller->wakeReader(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override
    {
        std::unique_lock<std::mutex> guard(mutex);
        if (length > 2 && data[2] == heldCode) {
            holding = true;
            changed.notify_all();
            changed.wait(guard, [&] { return !holding; });
        }
        finished.push_back(data[2]);
        guard.unlock();
        return controller->write(data, length, timeoutMs);
    }

    void hold(std::uint8_t code)
    {
        const std::lock_guard<std::mutex> guard(mutex);
        heldCode = code;
    }
    bool waitUntilHolding()
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, 5s, [&] { return holding; });
    }
    void release()
    {
        const std::lock_guard<std::mutex> guard(mutex);
        holding = false;
        heldCode = 0;
        changed.notify_all();
    }
    std::vector<std::uint8_t> codesWritten()
    {
        const std::lock_guard<std::mutex> guard(mutex);
        return finished;
    }

private:
    FakeController* controller;
    std::mutex mutex;
    std::condition_variable changed;
    std::uint8_t heldCode = 0;
    bool holding = false;
    std::vector<std::uint8_t> finished;
};

struct ThreadedLink {
    ThreadedLink() : link(&listener, &model, &catalog, CommControl::Options{0, true}) { catalog.add(1, &port); }

    // Connects and feeds the pause's ticks once the identify frame is out;
    // true when the link is ready.
    bool connect()
    {
        controller.clearScript();
        controller.clearFrames();
        controller.scriptConnect();
        const std::size_t configurations = listener.configurations().size();
        link.connect(1, 9600);
        for (int i = 0; i < 40 && controller.frameCount() < 2; ++i) {
            link.onHeartBeat();
            controller.waitForFrames(2, 20ms);
        }
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (listener.configurations().size() == configurations || !link.isLinkReady()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            listener.waitForConfiguration(10ms);
        }
        return true;
    }

    RecordingListener listener;
    FakeController controller;
    HeldPort port{&controller};
    TestCatalog catalog;
    AppModel model;
    CommControl link;
};

// A reading asked for while the worker is inside another message must not
// reach the line before that message is done.
TEST(InPlace, AReadingWaitsForTheMessageTheWorkerIsIn)
{
    ThreadedLink t;
    ASSERT_TRUE(t.connect());
    const std::size_t before = t.port.codesWritten().size();
    const std::size_t frames = t.controller.frameCount();
    t.port.hold(0x21);
    t.link.stopMotion(StopAxes::Both);
    ASSERT_TRUE(t.port.waitUntilHolding());

    t.link.readEncoders(ReadMode::Encoders);
    EXPECT_EQ(t.port.codesWritten().size(), before) << "the reading went out beside the held stop";

    t.port.release();
    ASSERT_TRUE(t.controller.waitForFrames(frames + 2));
    const std::vector<std::uint8_t> codes = t.port.codesWritten();
    ASSERT_GE(codes.size(), before + 2);
    EXPECT_EQ(codes[before], 0x21);
    EXPECT_EQ(codes[before + 1], 0x7A);
}

// A reply that ends the connection (here the deferred reading behind it
// cannot be written) may be handled on the serial reader itself: the port
// still closes with its status, and the next connect starts a new reader.
TEST(InPlace, AConnectionEndedWhileHandlingAReplyConnectsAgain)
{
    ThreadedLink t;
    ASSERT_TRUE(t.connect());
    t.controller.silence(13);
    const std::size_t frames = t.controller.frameCount();
    t.link.storeParameters();
    ASSERT_TRUE(t.controller.waitForFrames(frames + 1));
    t.link.readEncoders(ReadMode::Encoders);   // waits for the store's reply
    t.controller.setWriteResult(false);
    t.controller.inject(reply({0x0D}));
    ASSERT_TRUE(t.listener.waitForStatus(Status::ConnectionLost)) << ::testing::PrintToString(t.listener.statuses());

    t.controller.setWriteResult(true);
    t.listener.clear();
    ASSERT_TRUE(t.connect());
    t.controller.respond(0x7A, reply(Bytes(9, 0)));
    t.link.readEncoders(ReadMode::Encoders);
    EXPECT_TRUE(t.listener.waitForMountStates(1));
    t.link.stopThreads();
    EXPECT_FALSE(t.link.isPortOpen());
}

}  // namespace
}  // namespace kv7::test
