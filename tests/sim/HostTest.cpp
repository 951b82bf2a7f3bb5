// The hosts on their own: the in-memory port under a thread-less link, the
// pseudo-terminal host's clock and the kv7sim program as a process.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "SimTestUtil.h"
#include "app/AppModel.h"
#include "link/CommControl.h"
#include "link/LinkTypes.h"
#include "platform/posix/PosixSerialPort.h"
#include "sim/hosts/MemoryHost.h"
#include "sim/hosts/PtyHost.h"
#include "support/TestSupport.h"

extern char** environ;

namespace kv7::sim::test {
namespace {

using namespace std::chrono_literals;

// The link with no threads of its own: the test moves every byte, so the
// whole exchange runs on this thread, deterministically.
TEST(MemoryHost, ThreadLessLinkConnectsReadsAndTracks)
{
    SimConfig config;
    config.raEncoder.zeroTurns = 0.25;
    MemoryHost host(config);
    kv7::test::TestCatalog catalog;
    catalog.add(1, &host, "memory");
    kv7::test::FixedClock clock;
    kv7::test::RecordingListener listener;
    AppModel model(&clock);
    CommControl link(&listener, &model, &catalog, CommControl::Options{0, false});
    auto settle = [&] {
        for (int i = 0; i < 100 && link.pollSerial() + link.pump() > 0;) {
            ++i;
        }
    };
    auto tick = [&] {
        host.advance(0.25);
        link.onHeartBeat();
        settle();
    };

    link.connect(1, 9600);
    settle();
    tick();
    tick();
    ASSERT_EQ(listener.configurations().size(), 1u);
    EXPECT_EQ(host.timesOpened(), 1);

    link.readEncoders(0);
    settle();
    ASSERT_EQ(listener.mountStates().size(), 1u);
    EXPECT_EQ(listener.mountStates()[0].raEncoderPosition, 1u << 23);   // a quarter of 2^25

    link.setTracking(1);
    settle();
    for (int i = 0; i < 4 * 3600; ++i)
        host.advance(0.25);
    link.readEncoders(0);
    settle();
    ASSERT_EQ(listener.mountStates().size(), 2u);
    // An hour of tracking is 1/23.93 of a turn on the RA encoder.
    const double expected = (0.25 + 3600.0 / siderealDaySeconds) * (1 << 25);
    EXPECT_NEAR(listener.mountStates()[1].raEncoderPosition, expected, 2.0);
    link.stopThreads();
}

TEST(PtyHost, RealTimeClockRunsScaledAndStopsCleanly)
{
    PtyHost::Options options;
    options.timeScale = 1000.0;
    PtyHost host(options);
    ASSERT_TRUE(host.start());
    EXPECT_TRUE(std::filesystem::exists(host.path()));
    // Ten simulated seconds pass in about ten milliseconds.
    EXPECT_TRUE(host.waitUntil([](const VirtualController& c) { return c.now() > 10.0; }, 5s));

    PosixSerialPort port;
    ASSERT_TRUE(port.open(host.path().c_str(), 115200));
    const Bytes identify = frameCode(DeviceCommand::Identify);
    ASSERT_TRUE(port.write(identify.data(), identify.size(), 1000));
    Bytes received;
    std::uint8_t buffer[64];
    for (int i = 0; i < 50 && received.size() < 7; ++i) {
        const int n = port.read(buffer, sizeof buffer, 100);
        ASSERT_GE(n, 0);
        received.insert(received.end(), buffer, buffer + n);
    }
    ASSERT_EQ(replyFrames(received).size(), 1u);
    EXPECT_EQ(replyFrames(received)[0][2], 1);
    port.close();
    host.stop();
    EXPECT_FALSE(host.running());
}

TEST(PtyHost, QuietSpellDropsAHalfSentFrame)
{
    PtyHost host(PtyHost::Options{SimConfig{}, 0.0, 20});
    ASSERT_TRUE(host.start());
    PosixSerialPort port;
    ASSERT_TRUE(port.open(host.path().c_str(), 9600));
    const std::uint8_t half[] = {0xAA, 0x0B, 0x25, 0x01};   // a go-to cut short
    ASSERT_TRUE(port.write(half, sizeof half, 1000));
    ASSERT_TRUE(host.waitUntil([](const VirtualController& c) { return c.hasPartialFrame(); }, 5s));
    ASSERT_TRUE(host.waitUntil([](const VirtualController& c) { return !c.hasPartialFrame(); }, 5s));
    const Bytes identify = frameCode(DeviceCommand::Identify);
    ASSERT_TRUE(port.write(identify.data(), identify.size(), 1000));
    EXPECT_TRUE(host.waitUntil([](const VirtualController& c) { return c.framesHandled() == 1; }, 5s));
}

// At 300 baud a byte takes 33 ms, longer than the quiet spell of 20 ms: a
// frame still coming through the line is not taken for one cut short.
TEST(PtyHost, SlowLineDeliversAFrameWhoseBytesComeSlowerThanTheQuietSpell)
{
    PtyHost host(PtyHost::Options{SimConfig{}, 0.0, 20, 300});
    ASSERT_TRUE(host.start());
    PosixSerialPort port;
    ASSERT_TRUE(port.open(host.path().c_str(), 9600));   // a terminal ignores the rate
    const Bytes identify = frameCode(DeviceCommand::Identify);
    ASSERT_TRUE(port.write(identify.data(), identify.size(), 1000));
    EXPECT_TRUE(host.waitUntil([](const VirtualController& c) { return c.framesHandled() == 1; }, 5s));
}

// --- kv7sim as a process ---

struct Child {
    pid_t pid = -1;
    FILE* out = nullptr;
    int errFd = -1;
};

Child spawnTool(const std::vector<std::string>& args)
{
    int outPipe[2];
    int errPipe[2];
    Child child;
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0)
        return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<char*> argv;
    std::string program = KV7SIM_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    child.out = ::fdopen(outPipe[0], "r");
    child.errFd = errPipe[0];
    return child;
}

int waitExit(Child& child)
{
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    child.pid = -1;
    if (child.out)
        std::fclose(child.out);
    child.out = nullptr;
    ::close(child.errFd);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Ends a tool that a failed assertion left running.
struct Reaper {
    Child& child;
    ~Reaper()
    {
        if (child.pid > 0) {
            ::kill(child.pid, SIGKILL);
            waitExit(child);
        }
    }
};

std::string readAllFd(int fd)
{
    std::string s;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        s.append(buffer, static_cast<std::size_t>(n));
    return s;
}

// All fd delivers until its writer closes it; nothing when that takes
// longer than limit, so a tool that should have stopped and did not fails
// the test instead of hanging it.
std::optional<std::string> readAllWithin(int fd, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string s;
    char buffer[512];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = left.count() > 0 ? ::poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return s;
        s.append(buffer, static_cast<std::size_t>(n));
    }
}

// The device path a started tool prints; empty if it printed none.
std::string printedPath(Child& child)
{
    char line[256] = {};
    if (!child.out || !std::fgets(line, sizeof line, child.out))
        return {};
    std::string path(line);
    if (!path.empty() && path.back() == '\n')
        path.pop_back();
    return path;
}

// A tool expected to give up at start: its stderr, and its exit status (-1
// if it had to be killed because it kept running).
std::pair<std::string, int> refusal(Child& child)
{
    const std::optional<std::string> err = readAllWithin(child.errFd, 10s);
    if (!err)
        ::kill(child.pid, SIGKILL);
    const int status = waitExit(child);
    return {err.value_or("(still running after 10 s)"), err ? status : -1};
}

TEST(Kv7simTool, PrintsThePathKeepsALinkAndEndsCleanlyOnSigterm)
{
    TempDir dir;
    const std::string link = dir.file("kv7");
    Child child = spawnTool({"--link", link, "--time-scale", "5"});
    ASSERT_GT(child.pid, 0);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, child.out), nullptr);
    std::string path(line);
    ASSERT_FALSE(path.empty());
    ASSERT_EQ(path.back(), '\n');
    path.pop_back();
    EXPECT_TRUE(path.starts_with("/dev/pts/")) << path;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);

    PosixSerialPort port;   // answers through the link like any serial device
    ASSERT_TRUE(port.open(link.c_str(), 9600));
    const Bytes identify = frameCode(DeviceCommand::Identify);
    ASSERT_TRUE(port.write(identify.data(), identify.size(), 1000));
    Bytes received;
    std::uint8_t buffer[64];
    for (int i = 0; i < 50 && received.size() < 7; ++i) {
        const int n = port.read(buffer, sizeof buffer, 100);
        ASSERT_GE(n, 0);
        received.insert(received.end(), buffer, buffer + n);
    }
    EXPECT_EQ(replyFrames(received).size(), 1u);
    port.close();

    ::kill(child.pid, SIGTERM);
    EXPECT_EQ(waitExit(child), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file(""))) << "the link's lock file was left behind";
}

TEST(Kv7simTool, SecondSimulatorOnALiveLinkExitsOneSayingWhy)
{
    TempDir dir;
    const std::string link = dir.file("kv7");
    Child first = spawnTool({"--link", link});
    ASSERT_GT(first.pid, 0);
    Reaper reapFirst{first};
    const std::string path = printedPath(first);
    ASSERT_FALSE(path.empty());

    Child second = spawnTool({"--link", link});
    ASSERT_GT(second.pid, 0);
    Reaper reapSecond{second};
    const auto [err, status] = refusal(second);
    EXPECT_EQ(status, 1);
    EXPECT_NE(err.find(link + " is in use by another kv7sim"), std::string::npos) << err;
    // The live simulator's link is untouched.
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);

    ::kill(first.pid, SIGTERM);
    EXPECT_EQ(waitExit(first), 0);
}

TEST(Kv7simTool, LinkLeftByAKilledSimulatorDoesNotBlockTheNext)
{
    TempDir dir;
    const std::string link = dir.file("kv7");
    Child killed = spawnTool({"--link", link});
    ASSERT_GT(killed.pid, 0);
    Reaper reapKilled{killed};
    ASSERT_FALSE(printedPath(killed).empty());
    ::kill(killed.pid, SIGKILL);
    waitExit(killed);
    ASSERT_TRUE(std::filesystem::is_symlink(std::filesystem::symlink_status(link)));

    Child next = spawnTool({"--link", link});
    ASSERT_GT(next.pid, 0);
    Reaper reapNext{next};
    const std::string path = printedPath(next);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
    ::kill(next.pid, SIGTERM);
    EXPECT_EQ(waitExit(next), 0);
}

TEST(Kv7simTool, UnusableStateFileStopsTheStartSayingWhy)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo.state");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir.file("directory.state"));
    std::ofstream(dir.file("huge.state")) << "ra.gearRatio=180\n";
    std::filesystem::resize_file(dir.file("huge.state"), std::uintmax_t{1} << 36);   // sparse

    for (const std::string& state : {fifo, dir.file("directory.state"), dir.file("huge.state")}) {
        SCOPED_TRACE(state);
        Child child = spawnTool({"--state", state});
        ASSERT_GT(child.pid, 0);
        Reaper reap{child};
        const auto [err, status] = refusal(child);
        EXPECT_EQ(status, 1);
        EXPECT_NE(err.find("cannot use the state file: " + state), std::string::npos) << err;
    }
}

TEST(Kv7simTool, FailedStoreIsAnsweredNotStoredAndReported)
{
    TempDir dir;
    const std::string state = dir.file("missing/kv7.state");
    Child child = spawnTool({"--state", state});
    ASSERT_GT(child.pid, 0);
    Reaper reap{child};
    const std::string path = printedPath(child);
    ASSERT_FALSE(path.empty());

    PosixSerialPort port;
    ASSERT_TRUE(port.open(path.c_str(), 9600));
    const Bytes store = frameByte(DeviceCommand::StoreParameters, 1);
    ASSERT_TRUE(port.write(store.data(), store.size(), 1000));
    Bytes received;
    std::uint8_t buffer[64];
    for (int i = 0; i < 50 && replyFrames(received).empty(); ++i) {
        const int n = port.read(buffer, sizeof buffer, 100);
        ASSERT_GE(n, 0);
        received.insert(received.end(), buffer, buffer + n);
    }
    port.close();
    EXPECT_EQ(replyFrames(received), (std::vector<Bytes>{{0x55, 0x02, 0x0D, 0x01}}));

    ::kill(child.pid, SIGTERM);
    const std::string err = readAllFd(child.errFd);
    EXPECT_EQ(waitExit(child), 0);
    EXPECT_NE(err.find("parameters not stored: " + dir.file("missing")), std::string::npos) << err;
}

TEST(Kv7simTool, BadOptionExitsTwoSayingWhy)
{
    Child child = spawnTool({"--fault", "drop=2"});
    ASSERT_GT(child.pid, 0);
    const std::string err = readAllFd(child.errFd);
    EXPECT_EQ(waitExit(child), 2);
    EXPECT_NE(err.find("drop"), std::string::npos) << err;
}

TEST(Kv7simTool, VerboseLogNamesEachCommand)
{
    Child child = spawnTool({"--verbose"});
    ASSERT_GT(child.pid, 0);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, child.out), nullptr);
    std::string path(line);
    path.pop_back();
    PosixSerialPort port;
    ASSERT_TRUE(port.open(path.c_str(), 9600));
    const Bytes read = frameByte(DeviceCommand::ReadEncoders, 1);
    ASSERT_TRUE(port.write(read.data(), read.size(), 1000));
    std::uint8_t buffer[64];
    int got = 0;
    for (int i = 0; i < 50 && got < 11; ++i)
        got += std::max(0, port.read(buffer, sizeof buffer, 100));
    port.close();
    ::kill(child.pid, SIGINT);
    const std::string err = readAllFd(child.errFd);
    EXPECT_EQ(waitExit(child), 0);
    EXPECT_NE(err.find("ReadEncoders"), std::string::npos) << err;
    EXPECT_NE(err.find("AA 02 7A 01"), std::string::npos) << err;
}

// Reads until count reply frames have come or ten seconds have passed.
std::vector<Bytes> readReplies(PosixSerialPort& port, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    Bytes received;
    std::uint8_t buffer[256];
    while (replyFrames(received).size() < count && std::chrono::steady_clock::now() < deadline) {
        const int n = port.read(buffer, sizeof buffer, 100);
        if (n < 0)
            break;
        received.insert(received.end(), buffer, buffer + n);
    }
    return replyFrames(received);
}

// Only lower bounds on the time taken: a paced line can never beat them,
// however slow or busy the machine is.
TEST(Kv7simTool, LineRatePacesBothWays)
{
    Child child = spawnTool({"--line-rate", "9600"});
    ASSERT_GT(child.pid, 0);
    Reaper reap{child};
    const std::string path = printedPath(child);
    ASSERT_FALSE(path.empty());
    PosixSerialPort port;
    ASSERT_TRUE(port.open(path.c_str(), 9600));
    using Clock = std::chrono::steady_clock;
    const auto byteTimes = [](std::size_t bytes) { return std::chrono::microseconds(bytes * 1000000 * 10 / 9600); };

    // In: 200 bytes of idle line before a request; it cannot be answered
    // before all 204 bytes have come through.
    Bytes late(200, 0x00);
    const Bytes read = frameByte(DeviceCommand::ReadEncoders, 1);
    late.insert(late.end(), read.begin(), read.end());
    auto start = Clock::now();
    ASSERT_TRUE(port.write(late.data(), late.size(), 1000));
    ASSERT_EQ(readReplies(port, 1).size(), 1u);
    EXPECT_GE(Clock::now() - start, byteTimes(204));

    // Out: twenty requests at once; their 220 reply bytes take their line time.
    Bytes many;
    for (int i = 0; i < 20; ++i)
        many.insert(many.end(), read.begin(), read.end());
    start = Clock::now();
    ASSERT_TRUE(port.write(many.data(), many.size(), 1000));
    ASSERT_EQ(readReplies(port, 20).size(), 20u);
    EXPECT_GE(Clock::now() - start, byteTimes(220));
    port.close();
    ::kill(child.pid, SIGTERM);
    EXPECT_EQ(waitExit(child), 0);
}

}  // namespace
}  // namespace kv7::sim::test
