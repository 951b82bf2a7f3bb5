// What the link makes of a controller that misbehaves: one that never
// answers, answers as another device, sends noise, loses bytes, answers
// late, or disappears mid-session. Real threads, real serial code, the
// virtual controller on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "FaultHarness.h"
#include "link/LinkTypes.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"

namespace kv7::faults {
namespace {

std::uint64_t framesHandled(sim::PtyHost& host)
{
    return host.withController([](sim::VirtualController& c) { return c.framesHandled(); });
}

// Readings the encoders give once offset by these: distinctive, and free of
// the reply start byte 0x55, so a frame read out of step cannot match them.
constexpr std::uint32_t raOffset = 0x01234567;
constexpr std::uint32_t decOffset = 0x00ABCDEF;

// Sets the encoder offsets on the controller and waits for the link to be
// idle again; a frame lost on the way is sent again.
bool calibrate(SimLink& s)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        const std::size_t acks = countOf(s.listener.statuses(), Status::CalibrationUpdated);
        s.link->setEncoderCalibration(0, raOffset, decOffset);
        const auto deadline = std::chrono::steady_clock::now() + 1s;
        while (countOf(s.listener.statuses(), Status::CalibrationUpdated) == acks &&
               std::chrono::steady_clock::now() < deadline)
            s.listener.waitForStatusCount(s.listener.statuses().size() + 1, 50ms);
        // Applied without the acknowledgement: that was lost, and the next
        // request moves the link on.
        const bool applied = s.host.withController([](sim::VirtualController& c) {
            return c.settings().ra.encoderOffset == raOffset && c.settings().dec.encoderOffset == decOffset;
        });
        if (applied)
            return true;
    }
    return false;
}

TEST(DeviceFaults, SilentDeviceTimesOutOnTheFortiethTickAndClosesThePort)
{
    sim::FaultConfig f;
    f.silent = true;
    SimLink s(f);
    s.link->connect(1, 9600);
    ASSERT_TRUE(s.listener.waitForStatus(Status::Connecting));
    ASSERT_TRUE(s.tap.waitForFramesWritten(1, 5s));   // identify is out

    for (int i = 0; i < 39; ++i)
        s.link->onHeartBeat();
    ASSERT_TRUE(s.barrier());
    EXPECT_EQ(countOf(s.listener.statuses(), Status::CannotConnect), 0u) << "timed out before the fortieth tick";
    EXPECT_TRUE(s.link->isPortOpen());

    s.link->onHeartBeat();
    ASSERT_TRUE(s.barrier());
    const std::vector<std::uint32_t> expected{Status::OpeningPort, Status::Connecting, Status::NotConnectedYet,
                                              Status::CannotConnect, Status::NotConnectedYet};
    EXPECT_EQ(s.listener.statuses(), expected);
    EXPECT_FALSE(s.link->isPortOpen());
    EXPECT_EQ(s.tap.framesWritten(), 1u) << "only the identify request goes out";

    // The next attempt starts from scratch and times out the same way.
    s.listener.clear();
    s.link->connect(1, 9600);
    ASSERT_TRUE(s.tap.waitForFramesWritten(2, 5s));
    for (int i = 0; i < 40; ++i)
        s.link->onHeartBeat();
    ASSERT_TRUE(s.barrier());
    EXPECT_EQ(countOf(s.listener.statuses(), Status::CannotConnect), 1u);
    EXPECT_FALSE(s.link->isPortOpen());
}

TEST(DeviceFaults, WrongIdentifyIsRefusedAndNothingElseIsSent)
{
    sim::FaultConfig f;
    f.wrongIdentify = true;
    SimLink s(f);
    for (int attempt = 1; attempt <= 2; ++attempt) {
        s.listener.clear();
        s.link->connect(1, 9600);
        ASSERT_TRUE(s.listener.waitForStatus(Status::NotSupportedDevice)) << "attempt " << attempt;
        ASSERT_TRUE(s.barrier());
        const std::vector<std::uint32_t> expected{Status::OpeningPort, Status::Connecting,
                                                  Status::NotSupportedDevice, Status::NotConnectedYet};
        EXPECT_EQ(s.listener.statuses(), expected) << "attempt " << attempt;
        EXPECT_FALSE(s.link->isPortOpen());
        EXPECT_EQ(s.tap.framesWritten(), static_cast<std::size_t>(attempt)) << "identify only";
    }
    EXPECT_EQ(framesHandled(s.host), 2u);
    EXPECT_TRUE(s.listener.configurations().empty());
}

TEST(DeviceFaults, NoiseBetweenFramesChangesNoReadingAndNoSetting)
{
    sim::FaultConfig f;
    f.noise = true;
    SimLink s(f);
    ASSERT_TRUE(s.connectAndConfigure());
    const auto c = s.listener.configurations().back();
    const sim::ControllerSettings device = s.host.withController([](sim::VirtualController& v) { return v.settings(); });
    EXPECT_EQ(c.parameters.deviceId, device.deviceId);
    EXPECT_EQ(c.parameters.deviceWord, device.deviceWord);
    EXPECT_EQ(c.parameters.raMicrosteps, device.ra.microsteps);
    EXPECT_EQ(c.parameters.decBaseSpeed, device.dec.baseSpeed);
    EXPECT_EQ(c.parameters.motorExtraByte, device.motorExtraByte);
    EXPECT_EQ(c.axes.encoderFormat.raBitsPerRevolution, device.ra.encoderFormat.bitsPerRevolution);

    ASSERT_TRUE(calibrate(s));
    const MountState expected = s.expectedReading();
    ASSERT_EQ(expected.raEncoderPosition, raOffset);
    for (int i = 0; i < 40; ++i) {
        s.link->readEncoders(0);
        ASSERT_TRUE(s.listener.waitForMountStates(static_cast<std::size_t>(i) + 1)) << "reading " << i;
        const MountState m = s.listener.mountStates().back();
        EXPECT_EQ(m.raEncoderPosition, expected.raEncoderPosition) << "reading " << i;
        EXPECT_EQ(m.decEncoderPosition, expected.decEncoderPosition) << "reading " << i;
    }
    // The line really carried more than the frames: 48 replies of known
    // length went out, and more bytes than those came in.
    const std::size_t frameBytes = 7 + 4 + 7 + 30 + 60 + 11 + 12 + 3 + 40 * 11;
    EXPECT_GT(s.tap.receivedCount(), frameBytes);
}

// Bytes lost at random, both ways. There is no checksum, so a damaged
// reply can be read as a wrong reading; what must hold is that the link
// never hangs, stays connected, and reads right again as soon as whole
// replies come in step: a whole reply that follows a whole, rightly read
// one is always read right.
TEST(DeviceFaults, DroppedBytesNeverWedgeTheLinkAndWholeRepliesReadRight)
{
    sim::FaultConfig f;
    f.dropProbability = 0.006;
    f.seed = 11;
    SimLink s(f);
    bool connected = false;
    for (int attempt = 0; attempt < 20 && !connected; ++attempt) {
        connected = s.connectAndConfigure(1s);
        if (!connected) {
            // A lost reply ends in the connect time-out, a damaged identify
            // in "not supported"; either way the port closes.
            for (int i = 0; i < 40 && s.link->isPortOpen(); ++i)
                s.link->onHeartBeat();
            ASSERT_TRUE(s.barrier());
            ASSERT_FALSE(s.link->isPortOpen());
        }
    }
    ASSERT_TRUE(connected) << "20 connect attempts at 0.6 % loss all failed";
    ASSERT_TRUE(calibrate(s));

    struct Request {
        Bytes segment;         // what the link read while this request was out
        bool delivered = false;
        bool right = false;
    };
    std::vector<Request> requests;
    const MountState expected = s.expectedReading();
    Bytes whole{0x55, 9, 122};
    whole.resize(11);
    writeU32le(whole.data() + 3, expected.raEncoderPosition);
    writeU32le(whole.data() + 7, expected.decEncoderPosition);
    ASSERT_EQ(std::count(whole.begin(), whole.end(), 0x55), 1);

    for (int i = 0; i < 150; ++i) {
        const std::size_t bytesBefore = s.tap.receivedCount();
        const std::size_t readingsBefore = s.listener.mountStates().size();
        s.link->readEncoders(0);
        Request r;
        // A lost command byte leaves the controller waiting; it gives up on
        // the partial frame after 100 ms of quiet, so the next request
        // starts clean.
        r.delivered = s.listener.waitForMountStates(readingsBefore + 1, 150ms);
        if (r.delivered) {
            const MountState m = s.listener.mountStates().back();
            r.right = m.raEncoderPosition == expected.raEncoderPosition &&
                      m.decEncoderPosition == expected.decEncoderPosition;
        }
        const Bytes all = s.tap.received();
        r.segment.assign(all.begin() + static_cast<std::ptrdiff_t>(bytesBefore), all.end());
        requests.push_back(r);
    }

    std::size_t damaged = 0;
    std::size_t wrong = 0;
    bool rightAfterDamage = false;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const Request& r = requests[i];
        damaged += r.segment != whole;
        wrong += r.delivered && !r.right;
        rightAfterDamage = rightAfterDamage || (damaged > 0 && r.right);
        if (i > 0 && requests[i - 1].segment == whole && requests[i - 1].right && r.segment == whole) {
            EXPECT_TRUE(r.delivered && r.right) << "request " << i << ": a whole reply in step was not read right";
        }
    }
    EXPECT_GT(damaged, 0u) << "the fault never struck; the test proves nothing";
    EXPECT_TRUE(rightAfterDamage);
    EXPECT_TRUE(s.link->isLinkReady());
    RecordProperty("damaged_replies", static_cast<int>(damaged));
    RecordProperty("wrong_readings", static_cast<int>(wrong));

    s.link->disconnect();
    EXPECT_TRUE(s.listener.waitForStatus(Status::ConnectionClosed));
}

// True once count bytes wait unread on the terminal at path.
bool waitForWaitingInput(const std::string& path, int count, std::chrono::milliseconds limit)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int waiting = 0;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while ((::ioctl(fd, FIONREAD, &waiting) != 0 || waiting < count) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ::close(fd);
    return waiting >= count;
}

// A controller that takes longer than the connect time-out. Simulated time
// moves only when the test says, so "late" is exact. The time-out strikes
// while the motor settings are awaited; their late reply must not reach
// the next connection, where it would be taken for the identify reply.
TEST(DeviceFaults, ReplyLaterThanTheTimeOutFailsCleanlyAndDoesNotLeakIntoTheNextConnect)
{
    sim::FaultConfig f;
    f.replyDelay = 2.0;
    SimLink s(f, 0.0);

    // Lets the controller answer request k of this connection: once it has
    // the frame, its clock moves past the delay.
    std::size_t framesBefore = 0;
    std::uint64_t handledBefore = 0;
    auto release = [&](std::size_t k) {
        if (!s.tap.waitForFramesWritten(framesBefore + k, 5s))
            return false;
        if (!s.host.waitUntil([&](const sim::VirtualController& c) { return c.framesHandled() == handledBefore + k; },
                              5s))
            return false;
        const std::size_t bytes = s.tap.receivedCount();
        s.host.advance(2.0);
        if (k == 1) {
            // The identify reply must be handled before the pause's ticks.
            if (!s.tap.waitForReceived(bytes + 7, 5s))
                return false;
            for (int i = 0; i < 30 && s.tap.framesWritten() < framesBefore + 2; ++i) {
                s.link->onHeartBeat();
                s.tap.waitForFramesWritten(framesBefore + 2, 5ms);
            }
        }
        return true;
    };

    s.link->connect(1, 9600);
    for (std::size_t k = 1; k <= 4; ++k)
        ASSERT_TRUE(release(k)) << "request " << k;
    ASSERT_TRUE(s.tap.waitForFramesWritten(5, 5s));   // ReadMotorSettings, never answered in time
    ASSERT_TRUE(s.host.waitUntil([](const sim::VirtualController& c) { return c.framesHandled() == 5; }, 5s));
    for (int i = 0; i < 40; ++i)
        s.link->onHeartBeat();
    ASSERT_TRUE(s.listener.waitForStatus(Status::CannotConnect));
    ASSERT_TRUE(s.barrier());
    EXPECT_FALSE(s.link->isPortOpen());

    // The late reply goes out now, onto a line nobody reads, and waits
    // there for whoever opens the port next.
    s.host.advance(2.0);
    ASSERT_TRUE(waitForWaitingInput(s.host.path(), 60, 5s)) << "the late motor settings reply never reached the line";

    s.listener.clear();
    framesBefore = s.tap.framesWritten();
    handledBefore = 5;
    s.link->connect(1, 9600);
    for (std::size_t k = 1; k <= 7; ++k)
        ASSERT_TRUE(release(k)) << "request " << k << " of the second connect";
    ASSERT_TRUE(s.listener.waitForConfiguration());
    const std::vector<std::uint32_t> expected{Status::OpeningPort, Status::Connecting, Status::ConnectionEstablished};
    EXPECT_EQ(s.listener.statuses(), expected);
    const auto c = s.listener.configurations().back();
    const sim::ControllerSettings device = s.host.withController([](sim::VirtualController& v) { return v.settings(); });
    EXPECT_EQ(c.parameters.deviceId, device.deviceId);
    EXPECT_EQ(c.parameters.raSpeedFactor, device.ra.speedFactor);
}

// Slow, but inside the time-out: everything works, only later. Simulated
// time moves only when the test says, and the heartbeat ticks that elapse
// meanwhile are fed as the timer would feed them.
TEST(DeviceFaults, SlowRepliesInsideTheTimeOutStillConnectAndReadRight)
{
    sim::PtyHost::Options options = SimLink::hostOptions({}, 0.0);
    options.config.faults.replyDelay = 0.3;
    options.config.factory.ra.encoderOffset = raOffset;
    options.config.factory.dec.encoderOffset = decOffset;
    SimLink s(options);
    double simulated = 0.0;
    int ticks = 0;
    auto elapse = [&](double seconds) {
        s.host.advance(seconds);
        simulated += seconds;
        for (; ticks < static_cast<int>(simulated / 0.25); ++ticks)
            s.link->onHeartBeat();
    };
    // Once the controller has request k, its reply is due 0.3 s later.
    auto answer = [&](std::uint64_t k) {
        if (!s.host.waitUntil([&](const sim::VirtualController& c) { return c.framesHandled() == k; }, 5s))
            return false;
        const std::size_t bytes = s.tap.receivedCount();
        elapse(0.3);
        return s.tap.waitForReceived(bytes + 1, 5s);
    };

    s.link->connect(1, 9600);
    ASSERT_TRUE(answer(1));
    // The pause after the identify reply: the ticks of the next half second.
    for (int i = 0; i < 4 && s.tap.framesWritten() < 2; ++i) {
        elapse(0.125);
        s.tap.waitForFramesWritten(2, 20ms);
    }
    for (std::uint64_t k = 2; k <= 7; ++k)
        ASSERT_TRUE(answer(k)) << "request " << k;
    ASSERT_TRUE(s.listener.waitForConfiguration());
    const std::vector<std::uint32_t> expected{Status::OpeningPort, Status::Connecting, Status::ConnectionEstablished};
    EXPECT_EQ(s.listener.statuses(), expected);
    EXPECT_LT(ticks, 40) << "the connect took the whole time-out";
    RecordProperty("connect_ticks", ticks);

    s.link->readEncoders(0);
    ASSERT_TRUE(answer(8));
    ASSERT_TRUE(s.listener.waitForMountStates(1));
    const MountState m = s.listener.mountStates().back();
    EXPECT_EQ(m.raEncoderPosition, raOffset);
    EXPECT_EQ(m.decEncoderPosition, decOffset);
}

// The device disappears mid-session, as when a USB adapter is pulled: the
// built-in simulator hangs up its terminal after a number of frames.
TEST(DeviceFaults, VanishingDeviceHangsNothingAndAFreshConnectWorks)
{
    sim::PtyHost::Options options;
    options.config.faults.vanishAfterFrames = 9;   // the connect sequence, then two readings
    sim::BuiltInSimulator simulator(options);
    LinuxPortCatalog catalog(std::vector<std::string>{});
    catalog.setSimulator(&simulator);
    test::RecordingListener listener;
    AppModel model;
    CommControl::Options o;
    o.settleMs = 5;
    CommControl link(&listener, &model, &catalog, o);

    auto connect = [&] {
        listener.clear();
        link.connect(0, 9600);
        for (int i = 0; i < 200 && !listener.waitForConfiguration(10ms); ++i)
            link.onHeartBeat();
        return listener.waitForConfiguration(1ms);
    };
    ASSERT_TRUE(connect());
    const std::size_t threadsConnected = threadCount();
    for (std::size_t i = 1; i <= 2; ++i) {
        link.readEncoders(0);
        ASSERT_TRUE(listener.waitForMountStates(i));
    }
    ASSERT_TRUE(simulator.host()->waitForHangUp(5s));

    // The hang-up is noticed without a request or a tick: the port closes
    // and the operator is told, instead of a link that looks healthy.
    const auto hungUp = std::chrono::steady_clock::now();
    ASSERT_TRUE(listener.waitForStatus(Status::ConnectionLost, 2s));
    RecordProperty("noticed_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - hungUp)
                                     .count()));
    EXPECT_FALSE(link.isPortOpen());
    EXPECT_FALSE(link.isLinkReady());
    EXPECT_EQ(listener.mountStates().size(), 2u);
    link.readEncoders(0);
    ASSERT_TRUE(listener.waitForStatus(Status::NotConnectedYet));
    EXPECT_EQ(threadCount(), threadsConnected - 1) << "the serial reader is gone";

    ASSERT_TRUE(connect()) << "a fresh simulator behind port 0";
    const std::vector<std::uint32_t> expected{Status::TestingWithoutPort, Status::Connecting,
                                              Status::ConnectionEstablished};
    EXPECT_EQ(listener.statuses(), expected);
    link.readEncoders(0);
    EXPECT_TRUE(listener.waitForMountStates(1));
    link.stopThreads();
}

// A port that never stops sending, faster than the link reads: as when the
// port chosen is not the controller's but a device streaming at full speed.
class StreamingPort final : public SerialPort {
public:
    explicit StreamingPort(Bytes pattern) : bytes(std::move(pattern)) {}
    bool open(const char*, std::uint32_t) override { return true; }
    void close() override {}
    bool write(const std::uint8_t*, std::size_t, int) override { return true; }
    int read(std::uint8_t* buffer, std::size_t capacity, int) override
    {
        for (std::size_t i = 0; i < capacity; ++i)
            buffer[i] = bytes[next++ % bytes.size()];
        return static_cast<int>(capacity);
    }

private:
    Bytes bytes;
    std::size_t next = 0;
};

bool becomesClosed(const CommControl& link, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (link.isPortOpen() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return !link.isPortOpen();
}

// Records notifications after a pause, as a slow window would take them:
// the worker is then busy long enough for the serial reader to fill the
// channel and wait for room.
class SlowListener final : public iNotificationListener {
public:
    void onStatus(std::uint32_t status) override
    {
        std::this_thread::sleep_for(20ms);
        record.onStatus(status);
    }
    void onConfiguration(std::uint32_t status, std::uint32_t extra, const ControllerParameters& p,
                         const AxisConfiguration& a) override
    {
        record.onConfiguration(status, extra, p, a);
    }
    void onMeridianFlipPrompt(std::int32_t kind) override { record.onMeridianFlipPrompt(kind); }
    void onMountState(const MountState& m) override { record.onMountState(m); }

    test::RecordingListener record;
};

// Closing the port joins the serial reader. A reader waiting for room in a
// full channel must not be waited for forever: only the worker, the thread
// that is waiting for it, would ever make room.
TEST(DeviceFaults, DeviceThatNeverStopsSendingCannotFreezeTheLink)
{
    // The channel fills while the worker sleeps through the settle delay;
    // the first frame then found (55 00) is a wrong identify reply, and
    // while its status is taken the reader fills the channel again.
    StreamingPort frames(test::unhex("55 00"));
    test::TestCatalog catalog;
    catalog.add(1, &frames);
    SlowListener listener;
    AppModel model;
    CommControl::Options o;
    o.settleMs = 50;
    CommControl link(&listener, &model, &catalog, o);
    link.connect(1, 115200);
    ASSERT_TRUE(listener.record.waitForStatus(Status::NotSupportedDevice));
    EXPECT_TRUE(becomesClosed(link, 3s)) << "the link froze closing the port";
    if (link.isPortOpen())
        return;   // frozen; the destructor's stop of the channel releases it

    // A stream with no frame at all, and the operator gives up.
    StreamingPort zeros(Bytes{0});
    catalog.add(1, &zeros);
    link.connect(1, 115200);
    ASSERT_TRUE(listener.record.waitForStatusCount(5));   // 1, 2, 9, and now 1, 2
    link.disconnect();
    EXPECT_TRUE(listener.record.waitForStatus(Status::ConnectionClosed, 3s)) << "the link froze on disconnect";
}

// Extra frames in the same read as a reply that ends the connect sequence,
// one way or the other, must not undo its outcome.
TEST(DeviceFaults, StrayFrameBehindTheDecisiveConnectReplyDoesNotUndoIt)
{
    test::FakeController device;
    test::TestCatalog catalog;
    catalog.add(1, &device);
    test::RecordingListener listener;
    AppModel model;
    CommControl::Options o;
    o.settleMs = 0;
    CommControl link(&listener, &model, &catalog, o);

    // The last connect reply with a stray empty frame right behind it.
    device.scriptConnect();
    device.silence(123);
    device.respond(123, [] {
        Bytes b = test::unhex("55 0A 7B 01 E8 03 00 00 D0 07 00 00 55 00");
        return b;
    }());
    link.connect(1, 9600);
    ASSERT_TRUE(device.waitForFrames(1));
    for (int i = 0; i < 30 && device.frameCount() < 2; ++i) {
        link.onHeartBeat();
        device.waitForFrames(2, 5ms);
    }
    ASSERT_TRUE(listener.waitForConfiguration());
    link.readEncoders(0);
    ASSERT_TRUE(device.waitForFrames(8)) << "shown as connected, yet the reading was refused";
    EXPECT_EQ(test::hex(device.lastFrame()), "AA 02 7A 01");
    link.disconnect();
    ASSERT_TRUE(listener.waitForStatus(Status::ConnectionClosed));

    // A wrong identify reply with more bytes behind it in the same read.
    listener.clear();
    device.clearScript();
    device.respond(1, test::unhex("55 05 02 00 00 00 00 55 00 55 00"));
    link.connect(1, 9600);
    ASSERT_TRUE(listener.waitForStatus(Status::NotSupportedDevice));
    EXPECT_TRUE(becomesClosed(link, 3s)) << "\"Not supported device\" shown, and the port left open";
    link.connect(1, 9600);
    ASSERT_TRUE(listener.waitForStatusCount(6));
    EXPECT_EQ(countOf(listener.statuses(), Status::AlreadyConnected), 0u);
}

// A controller that answers the connect requests but never the calibration
// read used to leave the window "Connecting..." for good.
TEST(DeviceFaults, ControllerQuietAtTheLastConnectRequestTimesOut)
{
    sim::FaultConfig f;
    f.quietAfterFrames = 6;   // identify .. encoder format answered, calibration not
    SimLink s(f);
    s.link->connect(1, 9600);
    ASSERT_TRUE(s.tap.waitForFramesWritten(1, 5s));
    for (int tick = 0; tick < 60 && s.link->isPortOpen(); ++tick) {
        s.link->onHeartBeat();
        s.tap.waitForFramesWritten(7, 5ms);
    }
    ASSERT_TRUE(s.listener.waitForStatus(Status::CannotConnect, 2s));
    EXPECT_TRUE(s.barrier());
    EXPECT_FALSE(s.link->isPortOpen());
    EXPECT_EQ(s.tap.framesWritten(), 7u);
    EXPECT_TRUE(s.listener.configurations().empty());
}

// A reading reply cut to its echoed code is no reading: nothing is shown as
// measured, and the operator hears that no reply came.
TEST(DeviceFaults, ShortReadingRepliesAreNeverShownAsMeasured)
{
    sim::FaultConfig f;
    f.shortReplyCode = 122;
    SimLink s(f);
    ASSERT_TRUE(s.connectAndConfigure());
    s.listener.clear();
    const std::size_t bytes = s.tap.receivedCount();
    s.link->readEncoders(0);
    ASSERT_TRUE(s.tap.waitForReceived(bytes + 3, 2s));   // 55 01 7A arrived
    for (int tick = 0; tick < 12; ++tick)
        s.link->onHeartBeat();
    ASSERT_TRUE(s.listener.waitForStatus(Status::NoReply, 2s));
    EXPECT_TRUE(s.listener.mountStates().empty());
    EXPECT_TRUE(s.link->isLinkReady());
}

// Two programs on one port would each take the other's replies: the second
// is refused, and the first goes on reading right.
TEST(DeviceFaults, SecondProgramOnTheSamePortIsRefusedAndTheFirstReadsRight)
{
    SimLink s;
    ASSERT_TRUE(s.connectAndConfigure());
    const MountState expected = s.expectedReading();

    test::RecordingListener otherListener;
    AppModel otherModel;
    LinuxPortCatalog otherCatalog(std::vector<std::string>{s.host.path()});
    CommControl::Options o;
    o.settleMs = 5;
    CommControl other(&otherListener, &otherModel, &otherCatalog, o);
    other.connect(1, 9600);
    ASSERT_TRUE(otherListener.waitForStatus(Status::PortInUse));
    EXPECT_FALSE(other.isPortOpen());
    other.stopThreads();

    s.link->readEncoders(0);
    ASSERT_TRUE(s.listener.waitForMountStates(1));
    EXPECT_EQ(s.listener.mountStates()[0].raEncoderPosition, expected.raEncoderPosition);
    EXPECT_EQ(s.listener.mountStates()[0].decEncoderPosition, expected.decEncoderPosition);
}

}  // namespace
}  // namespace kv7::faults
