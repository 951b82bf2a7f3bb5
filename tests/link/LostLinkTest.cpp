// A device that goes away, refuses to take frames, or is held by another
// program, and output still queued when the port closes: the operator is
// told, and nothing is reported as done that was not.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "link/LinkHarness.h"

namespace kv7::test {
namespace {

using V = std::vector<std::uint32_t>;
using namespace std::chrono_literals;

TEST(LostLink, APortHeldByAnotherProgramIsNamedAsSuch)
{
    struct Case {
        OpenError error;
        std::uint32_t status;
    };
    for (const Case& c : {Case{OpenError::InUse, Status::PortInUse}, Case{OpenError::CannotOpen, Status::CannotOpenPort}}) {
        LinkHarness h;
        h.controller.setOpenResult(false);
        h.controller.setOpenError(c.error);
        h.link.connect(1, 9600);
        h.settle();
        EXPECT_EQ(h.listener.statuses(), (V{Status::OpeningPort, c.status}));
        EXPECT_FALSE(h.link.isPortOpen());
    }
}

// A write that fails used to be followed by "Ready", "Manual movement" or
// "Positioning" as if the frame had gone out.
TEST(LostLink, AFrameThatCannotBeWrittenIsNeverReportedAsDone)
{
    const std::function<void(CommControl&)> requests[] = {
        [](CommControl& c) { c.stopMotion(4); },
        [](CommControl& c) { c.manualMove(2, 5); },
        [](CommControl& c) { c.pierSideAction(1); },
        [](CommControl& c) { c.readEncoders(0); },
        [](CommControl& c) { c.storeParameters(); },
    };
    for (std::size_t i = 0; i < std::size(requests); ++i) {
        LinkHarness h;
        h.connect();
        h.controller.setWriteResult(false);
        requests[i](h.link);
        h.settle();
        EXPECT_EQ(h.listener.statuses(), (V{Status::ConnectionLost})) << "request " << i;
        EXPECT_FALSE(h.link.isPortOpen()) << "request " << i;
        h.controller.setWriteResult(true);
        h.listener.clear();
        h.link.connect(1, 9600);
        h.settle();
        h.tick(2);
        EXPECT_TRUE(h.link.isLinkReady()) << "request " << i << ": a later connect works";
    }
}

TEST(LostLink, AGoToThatCannotBeWrittenDoesNotSayPositioning)
{
    LinkHarness h;
    h.connect();
    h.link.pierSideAction(1);
    h.settle();
    h.controller.setWriteResult(false);
    h.link.gotoTarget(0, 0);
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::ConnectionLost}));
}

TEST(LostLink, AHangUpClosesThePortWithAStatus)
{
    LinkHarness h;
    h.connect();
    h.controller.hangUp();
    h.settle();
    EXPECT_EQ(h.listener.statuses(), (V{Status::ConnectionLost}));
    EXPECT_FALSE(h.link.isPortOpen());
    h.link.stopMotion(4);
    h.settle();
    EXPECT_EQ(h.listener.statuses().back(), Status::NotConnectedYet);
}

TEST(LostLink, AFailureFromAnEarlierConnectionLeavesTheNextOneAlone)
{
    LinkHarness h;
    h.connect();
    // What the first connection's reader would post, arriving after a
    // reconnect.
    const std::uint8_t stale[3] = {0x82, ChannelCommand::PortFailed, 1};
    h.link.disconnect();
    h.settle();
    h.link.connect(1, 9600);
    h.settle();
    h.tick(2);
    ASSERT_TRUE(h.link.isLinkReady());
    h.listener.clear();
    h.link.writeChannel(stale, sizeof stale);
    h.settle();
    EXPECT_TRUE(h.link.isPortOpen());
    EXPECT_TRUE(h.listener.statuses().empty());
}

TEST(LostLink, OutputDiscardedAtDisconnectIsReported)
{
    for (std::size_t discarded : {std::size_t{0}, std::size_t{5}}) {
        LinkHarness h;
        h.connect();
        h.controller.setDiscardedAtClose(discarded);
        h.link.disconnect();
        h.settle();
        const V expected = discarded ? V{Status::ConnectionClosed, Status::OutputDiscarded} : V{Status::ConnectionClosed};
        EXPECT_EQ(h.listener.statuses(), expected);
        EXPECT_EQ(h.link.bytesDiscardedAtClose(), discarded);
    }
}

// A port whose reader is handed bytes on demand and whose writes can be
// held, then failed: a test can stop the worker inside a write at the
// moment the channel is full, and make it close the port from there.
class GatedPort final : public SerialPort {
public:
    bool open(const char*, std::uint32_t) override { return true; }
    void close() override {}
    bool write(const std::uint8_t*, std::size_t, int) override
    {
        std::unique_lock<std::mutex> guard(mutex);
        inWrite = true;
        changed.notify_all();
        changed.wait(guard, [&] { return released; });
        return false;
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        std::unique_lock<std::mutex> guard(mutex);
        changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return feed > 0 || woken; });
        if (woken) {
            woken = false;
            return 0;
        }
        if (feed == 0)
            return 0;
        --feed;
        const std::size_t n = std::min<std::size_t>(capacity, 31);
        std::fill(buffer, buffer + n, std::uint8_t{0x55});
        return static_cast<int>(n);
    }
    void wakeReader() override
    {
        std::lock_guard<std::mutex> guard(mutex);
        woken = true;
        changed.notify_all();
    }

    void giveChunk()
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++feed;
        changed.notify_all();
    }
    bool waitForWrite()
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, 5s, [&] { return inWrite; });
    }
    void failTheWrite()
    {
        std::lock_guard<std::mutex> guard(mutex);
        released = true;
        changed.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int feed = 0;
    bool woken = false;
    bool inWrite = false;
    bool released = false;
};

template <typename Done>
bool within(std::chrono::milliseconds limit, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// The worker joins the serial reader when it closes the port. With the
// channel full, a writer (a click, the heartbeat) waits for room; the
// reader must not end up queued behind that writer, or the join never
// returns and shutdown hangs for good. Forced here step by step: the
// worker is held in a frame write that then fails, which closes the port.
TEST(LostLink, CloseWithAFullChannelAndAWaitingWriterDoesNotDeadlock)
{
    GatedPort port;
    TestCatalog catalog;
    catalog.add(1, &port);
    RecordingListener listener;
    AppModel model;
    CommControl::Options options;
    options.settleMs = 0;
    CommControl link(&listener, &model, &catalog, options);

    link.connect(1, 9600);
    ASSERT_TRUE(port.waitForWrite());   // the identify frame; nobody empties the channel now

    const std::uint8_t heartbeat[2] = {0xA0, 0x00};
    for (std::size_t i = 0; i < Channel::capacity / sizeof heartbeat; ++i)
        link.writeChannel(heartbeat, sizeof heartbeat);
    std::thread clicker([&] { link.stopMotion(StopAxes::Both); });
    ASSERT_TRUE(within(5s, [&] { return link.writersWaiting() == 1; })) << "the click never waited for room";
    port.giveChunk();   // the reader now has bytes for the full channel
    const bool readerWaits = within(5s, [&] { return link.writersWaiting() == 2; });
    EXPECT_TRUE(readerWaits) << "the serial reader is stuck behind the waiting click";

    port.failTheWrite();
    const bool closed = listener.waitForStatus(Status::ConnectionLost, 5s);
    EXPECT_TRUE(closed) << "the close never finished";
    if (!readerWaits || !closed)
        std::_Exit(1);   // threads are blocked for good: nothing would end them
    link.stopThreads();
    clicker.join();
    EXPECT_FALSE(link.isPortOpen());
}

}  // namespace
}  // namespace kv7::test
