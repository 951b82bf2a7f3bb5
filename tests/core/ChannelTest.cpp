// The internal channel: order, bounded buffer, blocking writers, shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "link/Channel.h"

namespace kv7 {
namespace {

TEST(Channel, DeliversBytesInOrderInReadsOfTheRequestedSize)
{
    Channel c;
    const std::uint8_t a[] = {1, 2, 3};
    const std::uint8_t b[] = {4, 5};
    ASSERT_TRUE(c.write(a, 3));
    ASSERT_TRUE(c.write(b, 2));
    std::uint8_t out[4];
    EXPECT_EQ(c.read(out, 4, 0), 4);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[3], 4);
    EXPECT_EQ(c.read(out, 4, 0), 1);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(c.read(out, 4, 10), 0);   // time-out with nothing pending
}

TEST(Channel, WrapsAroundTheRing)
{
    Channel c;
    std::uint8_t chunk[300];
    std::uint8_t out[300];
    for (int round = 0; round < 10; ++round) {
        for (int i = 0; i < 300; ++i)
            chunk[i] = static_cast<std::uint8_t>(round * 7 + i);
        ASSERT_TRUE(c.write(chunk, sizeof chunk));
        ASSERT_EQ(c.read(out, sizeof out, 0), 300);
        ASSERT_EQ(0, std::memcmp(chunk, out, 300)) << "round " << round;
    }
}

// True once a writer is waiting for room (bounded, so a writer that never
// blocks fails the test instead of hanging it).
bool writerBlocks(const Channel& c)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (c.waitingWriters() == 0) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

TEST(Channel, FullChannelBlocksTheWriterUntilTheReaderTakesBytes)
{
    Channel c;
    std::uint8_t fill[Channel::capacity] = {};
    ASSERT_TRUE(c.write(fill, sizeof fill));
    std::atomic<bool> written{false};
    std::thread writer([&] {
        const std::uint8_t more[2] = {7, 8};
        c.write(more, 2);
        written = true;
    });
    ASSERT_TRUE(writerBlocks(c));
    EXPECT_FALSE(written.load());
    std::uint8_t out[20];
    EXPECT_EQ(c.read(out, sizeof out, 0), 20);
    writer.join();
    EXPECT_TRUE(written.load());
    EXPECT_EQ(c.pending(), Channel::capacity - 20 + 2);
    EXPECT_EQ(c.waitingWriters(), 0u);
}

TEST(Channel, StopReleasesABlockedWriterAndTheReader)
{
    Channel c;
    std::uint8_t fill[Channel::capacity] = {};
    ASSERT_TRUE(c.write(fill, sizeof fill));
    std::atomic<int> result{-1};
    std::thread writer([&] {
        const std::uint8_t more[1] = {1};
        result = c.write(more, 1) ? 1 : 0;
    });
    ASSERT_TRUE(writerBlocks(c));   // stopped while waiting, not before it began
    c.stop();
    writer.join();
    EXPECT_EQ(result.load(), 0);
    std::uint8_t out[4];
    EXPECT_EQ(c.read(out, 4, 1000), -1);
    EXPECT_TRUE(c.sleepUnlessStopped(10000));   // returns at once when stopped
}

TEST(Channel, AWaitingWriterGivesUpWhenAskedAndLeavesTheChannelAsItWas)
{
    Channel c;
    std::uint8_t fill[Channel::capacity] = {};
    ASSERT_TRUE(c.write(fill, sizeof fill));
    std::atomic<bool> giveUp{false};
    std::atomic<int> result{-1};
    std::thread writer([&] {
        const std::uint8_t more[3] = {1, 2, 3};
        result = c.write(more, 3, &giveUp) ? 1 : 0;
    });
    ASSERT_TRUE(writerBlocks(c));
    giveUp = true;
    c.wakeWriters();
    writer.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(c.pending(), Channel::capacity);
}

}  // namespace
}  // namespace kv7
