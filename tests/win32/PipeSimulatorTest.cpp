// The real link with its worker and serial reader threads, over the Win32
// serial port, against the simulator on its named pipe: what "Simulator"
// in the port list does. Ticks are fed by hand and move the simulator's
// clock by the same 250 ms.
#include <gtest/gtest.h>

#include "app/AppModel.h"
#include "link/CommControl.h"
#include "link/LinkTypes.h"
#include "platform/win32/WindowsPortCatalog.h"
#include "sim/hosts/win32/PipeSimulator.h"
#include "support/TestSupport.h"

namespace kv7::test {
namespace {

using namespace std::chrono_literals;
using sim::Axis;
using sim::VirtualController;

sim::PipeHost::Options frozenMount(long long vanishAfterFrames = -1)
{
    sim::PipeHost::Options o;
    o.timeScale = 0.0;
    // Encoders whose zero is not where the axes start, so readings are not 0.
    o.config.raEncoder.zeroTurns = 0.25;
    o.config.decEncoder.zeroTurns = 0.6;
    o.config.faults.vanishAfterFrames = vanishAfterFrames;
    return o;
}

struct PipeLink {
    explicit PipeLink(const sim::PipeHost::Options& options = frozenMount())
        : simulator(options), link(&listener, &model, &catalog, CommControl::Options{20, true})
    {
        catalog.setSimulator(&simulator);
    }
    ~PipeLink() { link.stopThreads(); }

    void tick()
    {
        if (sim::PipeHost* host = simulator.host())
            host->advance(0.25);
        link.onHeartBeat();
    }

    bool connect()
    {
        listener.clear();
        link.connect(0, 9600);
        for (int i = 0; i < 40 && !listener.waitForConfiguration(50ms); ++i)
            tick();
        return listener.waitForConfiguration(1s);
    }

    sim::PipeSimulator simulator;
    WindowsPortCatalog catalog;
    FixedClock clock{UtcTime{2024, 3, 20, 22, 0, 0}};
    RecordingListener listener;
    AppModel model{&clock};
    CommControl link;
};

TEST(PipeSimulator, ConnectsAsTheSimulatorAndReadsTheEncodersItReports)
{
    PipeLink p;
    ASSERT_TRUE(p.connect());
    const std::vector<std::uint32_t> statuses = p.listener.statuses();
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], Status::TestingWithoutPort);   // not "Opening port"
    EXPECT_EQ(statuses[1], Status::Connecting);
    EXPECT_EQ(p.listener.configurations().back().status, Status::ConnectionEstablished);

    p.link.readEncoders(0);
    ASSERT_TRUE(p.listener.waitForMountStates(1, 5s));
    const MountState m = p.listener.mountStates().back();
    sim::PipeHost* host = p.simulator.host();
    ASSERT_NE(host, nullptr);
    const auto ra = host->withController([](VirtualController& c) { return c.encoderReading(Axis::Ra); });
    const auto dec = host->withController([](VirtualController& c) { return c.encoderReading(Axis::Dec); });
    EXPECT_EQ(m.valid, 1);
    EXPECT_EQ(m.raEncoderPosition, ra);
    EXPECT_EQ(m.decEncoderPosition, dec);
    EXPECT_NE(ra, dec);
}

TEST(PipeSimulator, TakesTheNextClientAfterADisconnect)
{
    PipeLink p;
    ASSERT_TRUE(p.connect());
    p.link.disconnect();
    ASSERT_TRUE(p.listener.waitForStatus(Status::ConnectionClosed, 5s));
    // The same simulator, heard through a fresh open of the same pipe.
    const std::string pipe = p.simulator.host()->path();
    ASSERT_TRUE(p.connect());
    EXPECT_EQ(p.simulator.host()->path(), pipe);
    p.link.readEncoders(0);
    EXPECT_TRUE(p.listener.waitForMountStates(1, 5s));
}

TEST(PipeSimulator, AVanishedDeviceIsReplacedByAFreshOneAtTheNextConnect)
{
    // Gone after three frames: in the middle of the connect sequence.
    PipeLink p(frozenMount(3));
    p.link.connect(0, 9600);
    // The hang-up is noticed as the device going away, not as a silent one.
    for (int i = 0; i < 60 && !p.listener.waitForStatus(Status::ConnectionLost, 20ms); ++i)
        p.tick();
    ASSERT_TRUE(p.listener.waitForStatus(Status::ConnectionLost, 1s));
    EXPECT_FALSE(p.link.isPortOpen());
    sim::PipeHost* gone = p.simulator.host();
    ASSERT_NE(gone, nullptr);
    ASSERT_TRUE(gone->waitForHangUp(5s));
    const std::string gonePipe = gone->path();

    p.listener.clear();
    p.link.connect(0, 9600);
    ASSERT_TRUE(p.listener.waitForStatus(Status::Connecting, 5s));
    // A new device on a pipe of its own (the old host's memory may be reused).
    ASSERT_NE(p.simulator.host(), nullptr);
    EXPECT_NE(p.simulator.host()->path(), gonePipe);
    EXPECT_FALSE(p.simulator.host()->hungUp());
}

}  // namespace
}  // namespace kv7::test
