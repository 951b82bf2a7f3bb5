// The link with its real threads over a real pseudo-terminal, a peer thread
// playing the controller on the master side.
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "app/AppModel.h"
#include "link/CommControl.h"
#include "link/LinkTypes.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "platform/posix/PosixSerialPort.h"
#include "support/TestSupport.h"

namespace kv7::test {
namespace {

// Answers command frames from a script; how each reply is written (in one
// piece, byte by byte, with noise in front) is up to the test.
class PtyPeer {
public:
    PtyPeer()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        path = name;
        script.scriptConnect();
        script.open("peer", 9600);
        thread = std::thread([this] { run(); });
    }
    ~PtyPeer()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }

    FakeController script;                 // decides the replies
    std::atomic<int> writeMode{0};         // 0 whole, 1 byte by byte, 2 noise first
    std::atomic<int> pairUp{0};            // hold one reply back and send it with the next
    std::string path;

private:
    void send(const Bytes& bytes)
    {
        if (writeMode == 1) {
            for (std::uint8_t b : bytes) {
                (void)!::write(master, &b, 1);
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
            return;
        }
        Bytes out = bytes;
        if (writeMode == 2)
            out.insert(out.begin(), {0x01, 0xAA, 0x13, 0x37});
        (void)!::write(master, out.data(), out.size());
    }

    void run()
    {
        FrameAssembler commands(commandStartByte);
        Bytes held;
        std::uint8_t buf[256];
        while (!stop) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::read(master, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                if (!commands.push(buf[i]))
                    continue;
                script.write(commands.frame(), 2u + commands.length(), 0);
                std::uint8_t answer[512];
                const int got = script.read(answer, sizeof answer, 0);
                if (got <= 0)
                    continue;
                Bytes bytes(answer, answer + got);
                if (pairUp > 0) {
                    --pairUp;
                    held.insert(held.end(), bytes.begin(), bytes.end());
                    continue;
                }
                held.insert(held.end(), bytes.begin(), bytes.end());
                send(held);
                held.clear();
            }
        }
    }

    int master = -1;
    int slave = -1;
    std::atomic<bool> stop{false};
    std::thread thread;
};

struct OverPty : ::testing::Test {
    OverPty() : catalog(std::vector<std::string>{peer.path}), link(&listener, &model, &catalog, options()) {}
    static CommControl::Options options()
    {
        CommControl::Options o;
        o.settleMs = 20;
        return o;
    }
    void connect()
    {
        listener.clear();
        const std::size_t before = peer.script.frameCount();
        link.connect(1, 9600);
        ASSERT_TRUE(listener.waitForStatus(Status::Connecting));
        ASSERT_TRUE(peer.script.waitForFrames(before + 1));
        // Wait for the identify reply to be handled before the pause ticks.
        for (int i = 0; i < 200 && link.isPortOpen() && !listener.waitForConfiguration(std::chrono::milliseconds(5));
             ++i)
            link.onHeartBeat();
        ASSERT_TRUE(listener.waitForConfiguration());
        // The worker marks the link ready just after the notification returns.
        for (int i = 0; i < 500 && !link.isLinkReady(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    PtyPeer peer;
    RecordingListener listener;
    AppModel model;
    LinuxPortCatalog catalog;
    CommControl link;
};

TEST_F(OverPty, ConnectsAndReadsTheConfiguration)
{
    connect();
    const auto c = listener.configurations().at(0);
    EXPECT_EQ(c.status, Status::ConnectionEstablished);
    EXPECT_EQ(c.extra, 1u);
    EXPECT_EQ(c.parameters.raMicrosteps, 2000000u);
    EXPECT_TRUE(link.isLinkReady());
    const auto frames = peer.script.frames();
    ASSERT_EQ(frames.size(), 7u);
    EXPECT_TRUE(sameBytes(frames[6], unhex("AA 01 7B")));
}

TEST_F(OverPty, ReadsEncodersWhetherRepliesComeWholeSplitOrAfterNoise)
{
    connect();
    peer.script.respond(122, unhex("55 09 00 00 00 00 01 FF FF FF 01"));
    for (int mode : {0, 1, 2}) {
        peer.writeMode = mode;
        const std::size_t before = listener.mountStates().size();
        link.readEncoders(0);
        ASSERT_TRUE(listener.waitForMountStates(before + 1)) << "mode " << mode;
        const MountState m = listener.mountStates().back();
        EXPECT_EQ(m.raEncoderPosition, 16777216u) << "mode " << mode;
        EXPECT_EQ(m.raEncoderArcsec, 1296000u) << "mode " << mode;   // 24 bits per turn
        EXPECT_EQ(m.decEncoderPosition, 33554431u) << "mode " << mode;
    }
}

TEST_F(OverPty, TwoRepliesInOneWriteAreBothHandled)
{
    connect();
    peer.script.respond(50, reply({50}));
    peer.script.respond(122, unhex("55 09 7A 10 00 00 00 20 00 00 00"));
    peer.pairUp = 1;
    link.setMotorReversal(0, 0);   // its acknowledgement is held back ...
    ASSERT_TRUE(peer.script.waitForFrames(8));
    link.readEncoders(0);          // ... and sent with the reading
    // The acknowledgement cannot be a reading and is passed over; the
    // reading behind it in the same write is taken.
    ASSERT_TRUE(listener.waitForMountStates(1));
    EXPECT_EQ(listener.mountStates()[0].raEncoderPosition, 16u);
    EXPECT_EQ(listener.mountStates()[0].decEncoderPosition, 32u);
}

TEST_F(OverPty, ASecondProgramOnTheSamePortIsToldItIsInUse)
{
    connect();
    // Another copy of the program, or kv7ctl, with its own port object.
    PosixSerialPort second;
    EXPECT_FALSE(second.open(peer.path.c_str(), 9600));
    EXPECT_EQ(second.openError(), OpenError::InUse);

    RecordingListener otherListener;
    AppModel otherModel;
    LinuxPortCatalog otherCatalog(std::vector<std::string>{peer.path});
    CommControl other(&otherListener, &otherModel, &otherCatalog, options());
    other.connect(1, 9600);
    ASSERT_TRUE(otherListener.waitForStatus(Status::PortInUse));
    EXPECT_FALSE(other.isPortOpen());
    other.stopThreads();

    // Once the first lets go, the port is free again.
    link.disconnect();
    ASSERT_TRUE(listener.waitForStatus(Status::ConnectionClosed));
    EXPECT_TRUE(second.open(peer.path.c_str(), 9600));
}

// Closing right after writing used to throw away what the other end had not
// read yet: a "stop" sent just before exit never reached the controller.
TEST(PtyClose, FramesWrittenJustBeforeCloseStillArrive)
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    const Bytes stop = unhex("AA 03 21 00 C0");
    constexpr int closes = 200;
    PosixSerialPort port;
    for (int i = 0; i < closes; ++i) {
        ASSERT_TRUE(port.open(name, 9600));
        ASSERT_TRUE(port.write(stop.data(), stop.size(), 1000));
        port.close();
        EXPECT_EQ(port.discardedAtClose(), 0u);
    }
    // The peer reads late: only now.
    Bytes arrived;
    std::uint8_t buffer[4096];
    pollfd p{master, POLLIN, 0};
    while (::poll(&p, 1, 0) > 0 && (p.revents & POLLIN)) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        arrived.insert(arrived.end(), buffer, buffer + n);
    }
    EXPECT_EQ(arrived.size(), stop.size() * closes);
    ::close(slave);
    ::close(master);
}

TEST_F(OverPty, DisconnectAndShutdownAreQuickAndSilent)
{
    connect();
    const std::size_t sent = peer.script.frameCount();
    link.disconnect();
    ASSERT_TRUE(listener.waitForStatus(Status::ConnectionClosed));
    EXPECT_FALSE(link.isPortOpen());
    connect();
    const auto start = std::chrono::steady_clock::now();
    link.stopThreads();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(peer.script.frameCount(), sent + 7);   // the second connect's requests, nothing more
}

}  // namespace
}  // namespace kv7::test
