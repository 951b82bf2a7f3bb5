// Fault modes, and a command parser that survives any input.
#include <gtest/gtest.h>

#include <random>

#include "SimTestUtil.h"
#include "sim/hosts/MemoryHost.h"

namespace kv7::sim::test {
namespace {

SimConfig withFaults(const FaultConfig& faults)
{
    SimConfig config;
    config.faults = faults;
    return config;
}

TEST(Faults, SilentDeviceNeverAnswersButStillMoves)
{
    FaultConfig f;
    f.silent = true;
    VirtualController c(withFaults(f));
    EXPECT_TRUE(transact(c, frameCode(DeviceCommand::Identify)).empty());
    transact(c, framePositions(DeviceCommand::GoToAxisPositions, 1, axisBoth, 1000, 0));
    c.advance(30.0);
    EXPECT_FALSE(c.hasQueuedOutput());
    EXPECT_EQ(c.axisPosition(Axis::Ra), 1000);
}

TEST(Faults, WrongIdentifyIsAnotherDeviceType)
{
    FaultConfig f;
    f.wrongIdentify = true;
    VirtualController c(withFaults(f));
    const Bytes r = ask(c, frameCode(DeviceCommand::Identify));
    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r[1], 5);
    EXPECT_NE(r[2], 1);
    // Everything else still answers normally.
    EXPECT_EQ(ask(c, frameCode(DeviceCommand::ReadDeviceWord)).size(), 7u);
}

TEST(Faults, NoiseComesBetweenFramesOnly)
{
    FaultConfig f;
    f.noise = true;
    VirtualController noisy(withFaults(f));
    VirtualController clean;
    for (const Bytes& frame : {frameCode(DeviceCommand::Identify), frameCode(DeviceCommand::ReadMotorSettings),
                               frameByte(DeviceCommand::ReadEncoders, 1)}) {
        noisy.receive(frame.data(), frame.size());
        const Bytes raw = noisy.readAll();
        const std::vector<Bytes> framed = replyFrames(raw);
        const Bytes expected = ask(clean, frame);
        ASSERT_EQ(framed.size(), 1u);
        EXPECT_EQ(framed[0], expected);
        EXPECT_GT(raw.size(), expected.size());   // there was noise
        EXPECT_NE(raw[0], replyStartByte);        // in front of the frame
    }
}

TEST(Faults, DroppedBytesAreRandomButRepeatable)
{
    auto run = [](double p, std::uint32_t seed) {
        FaultConfig f;
        f.dropProbability = p;
        f.seed = seed;
        VirtualController c(withFaults(f));
        Bytes received;
        for (int i = 0; i < 200; ++i) {
            const Bytes frame = frameCode(DeviceCommand::ReadMotorSettings);
            c.receive(frame.data(), frame.size());
            const Bytes out = c.readAll();
            received.insert(received.end(), out.begin(), out.end());
        }
        return received;
    };
    const std::size_t full = 200 * 60;
    EXPECT_EQ(run(0.0, 1).size(), full);
    EXPECT_TRUE(run(1.0, 1).empty());
    const Bytes lossy = run(0.05, 7);
    // Losses hit both ways (a lost command byte costs a whole reply), so
    // expect clearly fewer bytes, but most of them.
    EXPECT_LT(lossy.size(), full * 97 / 100);
    EXPECT_GT(lossy.size(), full / 2);
    EXPECT_EQ(run(0.05, 7), lossy);
    EXPECT_NE(run(0.05, 8), lossy);
}

TEST(Faults, SlowRepliesWaitForTheirTime)
{
    FaultConfig f;
    f.replyDelay = 0.3;
    VirtualController c(withFaults(f));
    EXPECT_TRUE(transact(c, frameCode(DeviceCommand::Identify)).empty());
    EXPECT_TRUE(c.hasQueuedOutput());
    EXPECT_DOUBLE_EQ(c.nextReleaseTime(), 0.3);
    c.advance(0.29);
    EXPECT_TRUE(c.readAll().empty());
    c.advance(0.02);
    EXPECT_EQ(replyFrames(c.readAll()).size(), 1u);
}

TEST(Faults, VanishingDeviceAnswersNFramesThenNothing)
{
    FaultConfig f;
    f.vanishAfterFrames = 3;
    MemoryHost host(withFaults(f));
    ASSERT_TRUE(host.open("mem", 9600));
    const Bytes identify = frameCode(DeviceCommand::Identify);
    std::uint8_t buffer[256];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(host.write(identify.data(), identify.size(), 100));
        EXPECT_EQ(host.read(buffer, sizeof buffer, 0), 7) << "frame " << i;
    }
    EXPECT_TRUE(host.withController([](VirtualController& c) { return c.vanished(); }));
    EXPECT_FALSE(host.write(identify.data(), identify.size(), 100));
    EXPECT_EQ(host.read(buffer, sizeof buffer, 0), -1);
    host.close();
    EXPECT_FALSE(host.open("mem", 9600));
}

TEST(Faults, VanishAfterZeroIsGoneFromTheStart)
{
    FaultConfig f;
    f.vanishAfterFrames = 0;
    VirtualController c(withFaults(f));
    EXPECT_TRUE(c.vanished());
    EXPECT_TRUE(transact(c, frameCode(DeviceCommand::Identify)).empty());
}

TEST(CommandParser, ShortUnknownAndEmptyFramesAreIgnored)
{
    VirtualController c;
    // GoToAxisPositions cut to its code: carried out it would read 10 missing bytes.
    EXPECT_TRUE(transact(c, Bytes{0xAA, 0x01, 0x25}).empty());
    EXPECT_TRUE(transact(c, Bytes{0xAA, 0x03, 0x23, 0x00, 0x80}).empty());   // MoveAtSpeed without a speed
    EXPECT_TRUE(transact(c, Bytes{0xAA, 0x00}).empty());
    EXPECT_TRUE(transact(c, Bytes{0xAA, 0x01, 0x63}).empty());
    c.advance(10.0);
    EXPECT_EQ(c.axisPosition(Axis::Ra), 0);
    EXPECT_EQ(c.motionStatus(Axis::Ra), MotionStatus::Stopped);
    // Garbage before a frame is skipped; the frame is answered.
    EXPECT_EQ(transact(c, Bytes{0x00, 0x55, 0x13, 0xAA, 0x01, 0x01}).size(), 1u);
    // Longer frames than needed are fine: extra bytes are ignored.
    EXPECT_EQ(transact(c, Bytes{0xAA, 0x03, 0x01, 0x00, 0x00}).size(), 1u);
    EXPECT_EQ(c.framesHandled(), 6u);
}

TEST(CommandParser, SurvivesRandomBytes)
{
    std::mt19937 rng(20240320);
    for (int run = 0; run < 50; ++run) {
        FaultConfig f;
        f.noise = run % 2 == 0;
        f.dropProbability = run % 3 == 0 ? 0.1 : 0.0;
        f.seed = static_cast<std::uint32_t>(run);
        VirtualController c(withFaults(f));
        for (int chunk = 0; chunk < 200; ++chunk) {
            Bytes bytes(rng() % 40);
            for (std::uint8_t& b : bytes) {
                // Mostly frame-like input, so commands are actually parsed.
                const unsigned r = rng() % 8;
                b = static_cast<std::uint8_t>(r == 0 ? 0xAA : r == 1 ? rng() % 12 : r == 2 ? rng() % 130 : rng());
            }
            c.receive(bytes.data(), bytes.size());
            c.advance((rng() % 100) / 50.0);
            c.readAll();
        }
        // Still answers a clean command afterwards, once any partial frame
        // has been dropped (hosts do that after a quiet spell).
        if (f.dropProbability == 0.0 && !c.vanished()) {
            c.dropPartialFrame();
            const std::vector<Bytes> replies = transact(c, frameCode(DeviceCommand::Identify));
            ASSERT_EQ(replies.size(), 1u) << "run " << run;
            EXPECT_EQ(replies[0][2], 1);
        }
    }
}

}  // namespace
}  // namespace kv7::sim::test
