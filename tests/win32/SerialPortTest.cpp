// The Win32 serial port against the server end of a named pipe, which
// CreateFile opens like a COM port; the line settings themselves are
// checked against a real COM port in the end-to-end run (ComPortTest).
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <thread>
#include <vector>

#include "PipeServer.h"
#include "platform/win32/Win32SerialPort.h"

namespace kv7::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes counting(std::size_t n, std::uint8_t first = 0)
{
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

// Reads until want bytes have come or a read gives nothing for a while.
Bytes readAll(Win32SerialPort& port, std::size_t want, std::size_t capacity = 128)
{
    Bytes got;
    std::vector<std::uint8_t> buffer(capacity);
    for (int idle = 0; got.size() < want && idle < 20;) {
        const int n = port.read(buffer.data(), buffer.size(), 50);
        if (n < 0)
            break;
        idle = n == 0 ? idle + 1 : 0;
        got.insert(got.end(), buffer.begin(), buffer.begin() + n);
    }
    return got;
}

TEST(Win32SerialPort, KeepsAPendingReadAcrossCallsAndLosesNoByte)
{
    PipeServer server;
    Win32SerialPort port;
    ASSERT_TRUE(port.open(server.name().c_str(), 9600));
    ASSERT_TRUE(server.accept());

    std::uint8_t buffer[128];
    // Nothing has come: the read times out, stays pending, and says 0.
    EXPECT_EQ(port.read(buffer, sizeof buffer, 20), 0);
    EXPECT_EQ(port.read(buffer, sizeof buffer, 0), 0);

    // 300 bytes arrive while that read is pending; they come out in order,
    // at most 128 at a time, however the reads are cut.
    const Bytes sent = counting(300, 7);
    ASSERT_TRUE(server.send(sent));
    const Bytes got = readAll(port, sent.size());
    EXPECT_EQ(got, sent);
}

TEST(Win32SerialPort, HandsOutWhatASmallBufferCannotTakeOnTheNextCall)
{
    PipeServer server;
    Win32SerialPort port;
    ASSERT_TRUE(port.open(server.name().c_str(), 115200));
    ASSERT_TRUE(server.accept());
    const Bytes sent = counting(100, 1);
    ASSERT_TRUE(server.send(sent));
    const Bytes got = readAll(port, sent.size(), 7);
    EXPECT_EQ(got, sent);
}

TEST(Win32SerialPort, WritesWholeFramesInOrder)
{
    PipeServer server;
    Win32SerialPort port;
    ASSERT_TRUE(port.open(server.name().c_str(), 9600));
    ASSERT_TRUE(server.accept());
    const Bytes a{0xAA, 0x02, 0x7A, 0x01};
    const Bytes b = counting(Win32SerialPort::maxFrame, 3);
    EXPECT_TRUE(port.write(a.data(), a.size(), 1000));
    EXPECT_TRUE(port.write(b.data(), b.size(), 1000));
    Bytes expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    EXPECT_EQ(server.drain(), expected);

    // Longer than any frame: refused whole rather than cut.
    const Bytes tooLong(Win32SerialPort::maxFrame + 1, 0x55);
    EXPECT_FALSE(port.write(tooLong.data(), tooLong.size(), 1000));
    EXPECT_TRUE(server.drain().empty());
}

// Regression: a write still pending at its time-out used to be left
// running; it then went out whenever the line freed up, in the middle of a
// later exchange, from a frame buffer its caller had long reused.
TEST(Win32SerialPort, AWriteAbandonedAtItsTimeOutIsCancelledNotSentLater)
{
    PipeServer server(64);
    Win32SerialPort port;
    ASSERT_TRUE(port.open(server.name().c_str(), 9600));
    ASSERT_TRUE(server.accept());

    // Nobody reads the far end, so the pipe fills and a write stays pending.
    Bytes delivered;
    Bytes frame(Win32SerialPort::maxFrame);
    bool timedOut = false;
    for (int i = 0; i < 2000 && !timedOut; ++i) {
        std::fill(frame.begin(), frame.end(), static_cast<std::uint8_t>(i % 200 + 1));
        timedOut = !port.write(frame.data(), frame.size(), 20);
        if (!timedOut)
            delivered.insert(delivered.end(), frame.begin(), frame.end());
    }
    ASSERT_TRUE(timedOut) << "the pipe never filled";
    std::fill(frame.begin(), frame.end(), 0xEE);   // the caller reuses its buffer

    // Once the line drains, only the frames that were written arrive, and
    // then the next one, whole.
    const Bytes next{0xAA, 0x01, 0x01};
    Bytes arrived = server.drain();
    EXPECT_TRUE(port.write(next.data(), next.size(), 1000));
    const Bytes tail = server.drain();
    arrived.insert(arrived.end(), tail.begin(), tail.end());
    Bytes expected = delivered;
    expected.insert(expected.end(), next.begin(), next.end());
    EXPECT_EQ(arrived.size(), expected.size());
    EXPECT_TRUE(arrived == expected);
}

TEST(Win32SerialPort, CloseCancelsAPendingReadAndTheDeviceCanBeOpenedAgain)
{
    PipeServer server;
    Win32SerialPort port;
    ASSERT_TRUE(port.open(server.name().c_str(), 9600));
    ASSERT_TRUE(server.accept());
    std::uint8_t buffer[16];
    ASSERT_EQ(port.read(buffer, sizeof buffer, 10), 0);   // now pending
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.read(buffer, sizeof buffer, 10), -1);
    EXPECT_FALSE(port.write(buffer, 1, 100));
    port.close();   // twice is harmless

    PipeServer another;
    ASSERT_TRUE(port.open(another.name().c_str(), 9600));
    ASSERT_TRUE(another.accept());
    const Bytes sent{0x55, 0x01, 0x00};
    ASSERT_TRUE(another.send(sent));
    EXPECT_EQ(readAll(port, sent.size()), sent);
}

TEST(Win32SerialPort, AWokenReadEndsWithNothingAndLosesNoByte)
{
    PipeServer server;
    Win32SerialPort port;
    ASSERT_TRUE(port.open(server.name().c_str(), 9600));
    ASSERT_TRUE(server.accept());
    std::uint8_t buffer[16];
    ASSERT_EQ(port.read(buffer, sizeof buffer, 10), 0);   // pending now

    // Woken before it waits: the read ends with 0 rather than with the
    // bytes that come while it would still have been waiting.
    const Bytes sent{0x55, 0x02, 0x7A, 0x01};
    port.wakeReader();
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        server.send(sent);
    });
    EXPECT_EQ(port.read(buffer, sizeof buffer, 60000), 0);
    later.join();
    EXPECT_EQ(readAll(port, sent.size()), sent);
}

TEST(Win32SerialPort, AFailedReadIsReportedAndDoesNotSpin)
{
    PipeServer server;
    Win32SerialPort port;
    ASSERT_TRUE(port.open(server.name().c_str(), 9600));
    ASSERT_TRUE(server.accept());
    std::uint8_t buffer[16];
    ASSERT_EQ(port.read(buffer, sizeof buffer, 10), 0);
    server.hangUp();
    // Each call reports the failure at once rather than waiting on an event
    // that a failed read leaves signalled.
    EXPECT_EQ(port.read(buffer, sizeof buffer, 1000), -1);
    EXPECT_EQ(port.read(buffer, sizeof buffer, 1000), -1);
}

TEST(Win32SerialPort, OpenFailsForADeviceThatIsNotThere)
{
    Win32SerialPort port;
    EXPECT_FALSE(port.open("\\\\.\\pipe\\kv7-no-such-device", 9600));
    EXPECT_FALSE(port.open("", 9600));
    EXPECT_FALSE(port.open(nullptr, 9600));
    EXPECT_FALSE(port.isOpen());
}

}  // namespace
}  // namespace kv7::test
