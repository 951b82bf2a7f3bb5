// The real link (CommControl with its worker and serial reader threads, the
// POSIX serial port) against the simulator on a pseudo-terminal. Heartbeat
// ticks are fed by hand and each tick moves the simulator's clock on by the
// same 250 ms, so a slew of half a minute takes a fraction of a second.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "SimTestUtil.h"
#include "app/AppModel.h"
#include "link/CommControl.h"
#include "link/LinkTypes.h"
#include "platform/posix/PosixSerialPort.h"
#include "sim/BuiltInSimulator.h"
#include "sim/hosts/PtyHost.h"
#include "support/TestSupport.h"

namespace kv7::sim::test {
namespace {

using namespace std::chrono_literals;
using kv7::test::FixedClock;
using kv7::test::RecordingListener;
using kv7::test::TestCatalog;

// Counts the command frames the simulator takes, by code.
class CommandCounter final : public FrameObserver {
public:
    void onCommandFrame(const std::uint8_t* frame, std::size_t length) override
    {
        if (length > 2)
            ++counts[frame[2]];
    }
    void onReplyFrame(std::uint8_t, const std::uint8_t*, std::size_t) override {}
    int count(DeviceCommand c) const
    {
        const auto it = counts.find(static_cast<std::uint8_t>(c));
        return it == counts.end() ? 0 : it->second;
    }

private:
    std::map<std::uint8_t, int> counts;
};

SimConfig mountConfig(const std::string& stateFile = {})
{
    SimConfig config = stateFile.empty() ? SimConfig{} : withStateFile(stateFile);
    // Encoders whose zero is not where the axes start, so readings are not 0.
    config.raEncoder.zeroTurns = 0.1;
    config.decEncoder.zeroTurns = 0.7;
    return config;
}

// Link and simulator on port 1. Members are destroyed bottom-up: the link's
// threads stop before the port closes and the simulator goes.
struct SimLink {
    explicit SimLink(const SimConfig& config = mountConfig())
        : host(PtyHost::Options{config, 0.0, 100}),
          started(host.start()),
          link(&listener, &model, &catalog, CommControl::Options{20, true})
    {
        catalog.add(1, &port, host.path());
        host.withController([this](VirtualController& c) {
            c.setFrameObserver(&counter);
            return 0;
        });
    }
    ~SimLink()
    {
        link.stopThreads();
        host.withController([](VirtualController& c) {
            c.setFrameObserver(nullptr);
            return 0;
        });
    }

    void tick()
    {
        host.advance(0.25);
        link.onHeartBeat();
    }

    int frames(DeviceCommand c)
    {
        return host.withController([&](VirtualController&) { return counter.count(c); });
    }

    // Connect needs two ticks once the identify reply is in: the link pauses.
    bool connect()
    {
        link.connect(1, 115200);
        if (!host.waitUntil([](const VirtualController& c) { return c.framesHandled() >= 1; }, 5s))
            return false;
        for (int i = 0; i < 10 && !listener.waitForConfiguration(20ms); ++i)
            tick();
        return listener.waitForConfiguration(2s);
    }

    // Ticks until status arrives; each tick gives the link a moment to act.
    bool tickUntilStatus(std::uint32_t status, int maxTicks)
    {
        for (int i = 0; i < maxTicks; ++i) {
            if (listener.waitForStatus(status, 2ms))
                return true;
            tick();
        }
        return listener.waitForStatus(status, 1s);
    }

    template <class T>
    T sim(T (*read)(const VirtualController&))
    {
        return host.withController([read](VirtualController& c) { return read(c); });
    }

    PtyHost host;
    bool started;
    CommandCounter counter;
    PosixSerialPort port;
    TestCatalog catalog;
    FixedClock clock{UtcTime{2024, 3, 20, 22, 0, 0}};
    RecordingListener listener;
    AppModel model{&clock};
    CommControl link;
};

TEST(EndToEnd, ConnectsWithTheSimulatorsConfigurationAndReadsEncoders)
{
    SimLink s;
    ASSERT_TRUE(s.started);
    ASSERT_TRUE(s.connect());
    const auto configurations = s.listener.configurations();
    ASSERT_EQ(configurations.size(), 1u);
    const RecordingListener::Configuration& got = configurations[0];
    EXPECT_EQ(got.status, Status::ConnectionEstablished);

    const ControllerSettings sim = s.host.withController([](VirtualController& c) { return c.settings(); });
    EXPECT_EQ(got.parameters.deviceId, sim.deviceId);
    EXPECT_EQ(got.parameters.deviceWord, sim.deviceWord);
    EXPECT_EQ(got.parameters.deviceByte, sim.deviceByte);
    EXPECT_EQ(got.parameters.raMicrosteps, sim.ra.microsteps);
    EXPECT_EQ(got.parameters.decMicrosteps, sim.dec.microsteps);
    EXPECT_EQ(got.parameters.raGearRatio, sim.ra.gearRatio);
    EXPECT_EQ(got.parameters.decBaseSpeed, sim.dec.baseSpeed);
    EXPECT_EQ(got.parameters.raSpeedFactor, sim.ra.speedFactor);
    EXPECT_EQ(got.parameters.raMaxSpeed, sim.ra.baseSpeed * sim.ra.speedFactor);
    EXPECT_EQ(got.parameters.motorExtraByte, sim.motorExtraByte);
    EXPECT_EQ(got.parameters.motorSettingI[1], readU32le(sim.dec.motorBytes.data() + 21));
    EXPECT_EQ(got.axes.encoderFormat.raBitsPerRevolution, sim.ra.encoderFormat.bitsPerRevolution);
    EXPECT_EQ(got.axes.encoderFormat.decLeadingBits, sim.dec.encoderFormat.leadingBits);
    EXPECT_EQ(got.axes.raEncoderResolution, std::uint64_t{1} << sim.ra.encoderFormat.bitsPerRevolution);

    s.link.readEncoders(0);
    ASSERT_TRUE(s.listener.waitForMountStates(1, 5s));
    const MountState m = s.listener.mountStates().back();
    EXPECT_EQ(m.valid, 1);
    // 0.1 and 0.7 of a turn of 2^25 counts, as the encoders sit.
    const auto raCount = static_cast<std::uint32_t>(0.1 * (1 << 25));
    const auto decCount = static_cast<std::uint32_t>(0.7 * (1 << 25));
    EXPECT_EQ(m.raEncoderPosition, raCount);
    EXPECT_EQ(m.decEncoderPosition, decCount);
    EXPECT_NEAR(m.raEncoderArcsec, 0.1 * 1296000, 1.0);
    EXPECT_NEAR(m.decEncoderArcsec, 0.7 * 1296000, 1.0);
}

TEST(EndToEnd, GotoRunsBothPassesToReady)
{
    SimLink s;
    ASSERT_TRUE(s.connect());
    ASSERT_EQ(s.link.currentPierState(), PierState::pierEast);

    // A target one hour past the meridian positions at once from the east side.
    const double lst = s.model.localSiderealTime();
    const double raHours = std::fmod(lst - 1.0 + 48.0, 24.0);
    const auto raArcsec = static_cast<std::uint32_t>(std::lround(raHours * 54000.0));
    const std::int32_t decArcsec = 30 * 3600;
    s.link.gotoTarget(raArcsec, decArcsec);
    ASSERT_TRUE(s.listener.waitForStatus(Status::Positioning, 5s));
    ASSERT_TRUE(s.tickUntilStatus(Status::Ready, 1000));

    EXPECT_EQ(s.link.currentPierState(), PierState::pierEast);
    EXPECT_EQ(s.frames(DeviceCommand::GoToAxisPositions), 2);   // the slew and its correcting pass
    EXPECT_GE(s.frames(DeviceCommand::ReadMotionStatus), 2);
    const std::int32_t ra = s.sim<std::int32_t>([](const VirtualController& c) { return c.axisPosition(Axis::Ra); });
    const std::int32_t dec = s.sim<std::int32_t>([](const VirtualController& c) { return c.axisPosition(Axis::Dec); });
    EXPECT_EQ(ra, s.link.targetRaSteps());
    EXPECT_EQ(dec, s.link.targetDecSteps());
    // East of the pier, one hour past the meridian: RA at -(1 h before + 6 h) of
    // 1/24 turn each, Dec 60 degrees from the pole.
    const double stepsPerHour = s.link.linkParameters().raMicrosteps / 24.0;
    EXPECT_NEAR(ra, -5.0 * stepsPerHour, 2.0);
    EXPECT_NEAR(dec, 60.0 * s.link.linkParameters().decMicrosteps / 360.0, 1.0);
    EXPECT_LE(s.sim<int>([](const VirtualController& c) { return int(c.motionStatus(Axis::Ra)); }), 2);
}

TEST(EndToEnd, MeridianFlipTurnsRaHalfARevolutionAndChangesSides)
{
    SimLink s;
    ASSERT_TRUE(s.connect());
    s.link.pierSideAction(1);   // "Set East": the meridian at Dec 0, seen from the east
    const std::uint32_t raSteps = s.link.linkParameters().raMicrosteps;
    const std::uint32_t decSteps = s.link.linkParameters().decMicrosteps;
    ASSERT_TRUE(s.host.waitUntil([&](const VirtualController& c) { return c.axisPosition(Axis::Ra) != 0; }, 5s));
    const double turnsBefore = s.sim<double>([](const VirtualController& c) { return c.axisTurns(Axis::Ra); });

    s.link.pierSideAction(4);   // "Flip West"
    ASSERT_TRUE(s.tickUntilStatus(Status::Ready, 1000));
    EXPECT_EQ(s.link.currentPierState(), PierState::pierWest);
    EXPECT_EQ(s.frames(DeviceCommand::ReadAxisPositions), 1);
    EXPECT_EQ(s.frames(DeviceCommand::GoToAxisPositions), 1);   // a flip makes one pass
    EXPECT_EQ(s.sim<std::int32_t>([](const VirtualController& c) { return c.axisPosition(Axis::Ra); }),
              static_cast<std::int32_t>(raSteps / 4));
    EXPECT_EQ(s.sim<std::int32_t>([](const VirtualController& c) { return c.axisPosition(Axis::Dec); }),
              -static_cast<std::int32_t>(decSteps / 4));
    const double turnsAfter = s.sim<double>([](const VirtualController& c) { return c.axisTurns(Axis::Ra); });
    EXPECT_NEAR(turnsAfter - turnsBefore, 0.5, 1e-6);
}

TEST(EndToEnd, HandPadMovesAndStopsTheMount)
{
    SimLink s;
    ASSERT_TRUE(s.connect());
    s.link.setTracking(1);
    s.link.manualMove(0, 2);   // North at the base speed; on the east side Dec runs backwards
    ASSERT_TRUE(s.listener.waitForStatus(Status::ManualMovement, 5s));
    ASSERT_TRUE(s.host.waitUntil([](const VirtualController& c) { return c.motionStatus(Axis::Dec) > 2; }, 5s));
    s.host.advance(2.0);
    const double decBase = s.link.linkParameters().decBaseSpeed;
    EXPECT_DOUBLE_EQ(s.sim<double>([](const VirtualController& c) { return c.axisVelocity(Axis::Dec); }), -decBase);
    EXPECT_TRUE(s.sim<bool>([](const VirtualController& c) { return c.trackingOn(); }));

    s.link.stopMotion(4);
    ASSERT_TRUE(s.listener.waitForStatus(Status::Ready, 5s));
    ASSERT_TRUE(s.host.waitUntil([](const VirtualController& c) { return c.motionStatus(Axis::Dec) != 3; }, 5s));
    s.host.advance(2.0);
    EXPECT_EQ(s.sim<int>([](const VirtualController& c) { return int(c.motionStatus(Axis::Dec)); }),
              MotionStatus::Stopped);
    EXPECT_EQ(s.sim<int>([](const VirtualController& c) { return int(c.motionStatus(Axis::Ra)); }),
              MotionStatus::Tracking);
}

TEST(EndToEnd, StoredSettingsAreThereAfterARestartUnstoredAreNot)
{
    TempDir dir;
    const std::string state = dir.file("controller.state");
    {
        SimLink s(mountConfig(state));
        ASSERT_TRUE(s.connect());
        s.link.setEncoderFormat(2, 10, 24, 3, 1, 11, 23, 0);
        s.link.setMotorReversal(0x02, 0x44);
        s.link.setEncoderCalibration(0x01, 1234567, 7654321);
        ASSERT_TRUE(s.listener.waitForStatus(Status::CalibrationUpdated, 5s));
        s.link.storeParameters();
        ASSERT_TRUE(s.listener.waitForStatus(Status::ParametersStored, 5s));
        s.listener.clear();
        s.link.setEncoderCalibration(0x03, 1, 1);   // after the store
        ASSERT_TRUE(s.listener.waitForStatus(Status::CalibrationUpdated, 5s));
        s.link.disconnect();
    }
    SimLink again(mountConfig(state));
    ASSERT_TRUE(again.connect());
    const RecordingListener::Configuration got = again.listener.configurations().at(0);
    EXPECT_EQ(got.axes.encoderFormat,
              (EncoderFormat{2, 1, 10, 24, 3, 11, 23, 0}));   // the model's field order
    EXPECT_EQ(got.axes.reverseEncoderBits, 0x01);
    EXPECT_EQ(got.axes.raEncoderOffset, 1234567u);
    EXPECT_EQ(got.axes.decEncoderOffset, 7654321u);
    EXPECT_EQ(got.parameters.reverseMotorBits, 0x02);
    EXPECT_EQ(got.parameters.motorExtraByte, 0x44);
    EXPECT_EQ(got.axes.raEncoderResolution, std::uint64_t{1} << 24);
}

TEST(EndToEnd, StoreTheSimulatorCouldNotKeepIsReportedAsFailed)
{
    TempDir dir;
    SimLink s(mountConfig(dir.file("missing/controller.state")));
    ASSERT_TRUE(s.connect());
    s.link.storeParameters();
    EXPECT_TRUE(s.listener.waitForStatus(Status::StoreFailed, 5s));
    EXPECT_FALSE(s.listener.waitForStatus(Status::ParametersStored, 0ms));
}

TEST(EndToEnd, SilentDeviceTimesOutAndWrongIdentifyIsRefused)
{
    {
        SimConfig config = mountConfig();
        config.faults.silent = true;
        SimLink s(config);
        s.link.connect(1, 9600);
        ASSERT_TRUE(s.host.waitUntil([](const VirtualController& c) { return c.framesHandled() >= 1; }, 5s));
        ASSERT_TRUE(s.tickUntilStatus(Status::CannotConnect, 60));
        const auto statuses = s.listener.statuses();
        EXPECT_EQ(std::count(statuses.begin(), statuses.end(), Status::ConnectionEstablished), 0);
        EXPECT_TRUE(s.listener.configurations().empty());
    }
    {
        SimConfig config = mountConfig();
        config.faults.wrongIdentify = true;
        SimLink s(config);
        s.link.connect(1, 9600);
        ASSERT_TRUE(s.listener.waitForStatus(Status::NotSupportedDevice, 5s));
        EXPECT_TRUE(s.listener.configurations().empty());
        // The link has closed the port after refusing the device, so a
        // disconnect, handled after that, finds nothing to close.
        s.link.disconnect();
        EXPECT_TRUE(s.listener.waitForStatus(Status::NotConnectedYet, 5s));
        EXPECT_FALSE(s.link.isPortOpen());
    }
}

TEST(EndToEnd, VanishingDeviceHangsUpTheLine)
{
    SimConfig config = mountConfig();
    config.faults.vanishAfterFrames = 8;   // the connect sequence is seven frames
    SimLink s(config);
    ASSERT_TRUE(s.connect());
    const std::string device = s.host.path();
    s.link.readEncoders(0);
    // The eighth frame is still answered, and the answer arrives before the line goes.
    ASSERT_TRUE(s.listener.waitForMountStates(1, 5s))
        << "frames taken: " << s.sim<std::uint64_t>([](const VirtualController& c) { return c.framesHandled(); });
    ASSERT_TRUE(s.host.waitForHangUp(5s));
    EXPECT_FALSE(std::filesystem::exists(device));      // gone like an unplugged adapter
}

// Port 0 through the built-in simulator, as the desktop program wires it.
class SimulatorCatalog final : public PortCatalog {
public:
    explicit SimulatorCatalog(SimulatorProvider* p) : provider(p) {}
    std::vector<PortEntry> entries() const override { return {PortEntry{0, "Simulator", "", ""}}; }
    bool resolve(std::uint32_t number, PortBinding& binding) override
    {
        return number == 0 && provider->bind(binding);
    }

private:
    SimulatorProvider* provider;
};

TEST(EndToEnd, BuiltInSimulatorOnPortZero)
{
    PtyHost::Options options;
    options.timeScale = 20.0;
    BuiltInSimulator simulator(options);
    SimulatorCatalog catalog(&simulator);
    FixedClock clock{UtcTime{2024, 3, 20, 22, 0, 0}};
    RecordingListener listener;
    AppModel model{&clock};
    CommControl link(&listener, &model, &catalog, CommControl::Options{20, true});

    for (int round = 0; round < 2; ++round) {
        listener.clear();
        PtyHost* before = simulator.host();
        const std::uint64_t framesBefore =
            before ? before->withController([](VirtualController& c) { return c.framesHandled(); }) : 0;
        link.connect(0, 115200);
        ASSERT_TRUE(listener.waitForStatus(Status::Connecting, 5s));
        PtyHost* host = simulator.host();
        ASSERT_NE(host, nullptr);
        EXPECT_TRUE(round == 0 || host == before);   // started once, then reused
        ASSERT_TRUE(host->waitUntil(
            [&](const VirtualController& c) { return c.framesHandled() > framesBefore; }, 5s));
        for (int i = 0; i < 10 && !listener.waitForConfiguration(20ms); ++i)
            link.onHeartBeat();
        ASSERT_TRUE(listener.waitForConfiguration(2s)) << "round " << round;
        const auto statuses = listener.statuses();
        EXPECT_NE(std::find(statuses.begin(), statuses.end(), Status::TestingWithoutPort), statuses.end());
        EXPECT_EQ(std::find(statuses.begin(), statuses.end(), Status::OpeningPort), statuses.end());
        link.disconnect();
        ASSERT_TRUE(listener.waitForStatus(Status::ConnectionClosed, 5s));
    }
    link.stopThreads();
}

}  // namespace
}  // namespace kv7::sim::test
