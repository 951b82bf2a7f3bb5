// Every kv7ctl command against the built-in simulator, in process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Runner.h"

#ifdef KV7_HAVE_SIM
#include "protocol/PortCatalog.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"

namespace kv7::cli {
namespace {

// The simulator's port as the link sees it, with two faults a test can
// switch on: frames that start with a given prefix vanish on the way out,
// and the close reports bytes it had to discard.
class FaultyPort final : public SerialPort {
public:
    bool open(const char* device, std::uint32_t baud) override { return inner->open(device, baud); }
    OpenError openError() const override { return inner->openError(); }
    void close() override { inner->close(); }
    std::size_t discardedAtClose() const override { return discardedBytes + inner->discardedAtClose(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override
    {
        if (!swallowed.empty() && length >= swallowed.size() && std::equal(swallowed.begin(), swallowed.end(), data))
            return true;
        return inner->write(data, length, timeoutMs);
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        return inner->read(buffer, capacity, timeoutMs);
    }
    void wakeReader() override { inner->wakeReader(); }

    SerialPort* inner = nullptr;
    std::vector<std::uint8_t> swallowed;
    std::size_t discardedBytes = 0;
};

class FaultyCatalog final : public PortCatalog {
public:
    explicit FaultyCatalog(PortCatalog& inner) : inner(inner) {}
    std::vector<PortEntry> entries() const override { return inner.entries(); }
    bool resolve(std::uint32_t number, PortBinding& binding) override
    {
        if (!inner.resolve(number, binding))
            return false;
        port.inner = binding.port;
        binding.port = &port;
        return true;
    }

    PortCatalog& inner;
    FaultyPort port;
};

struct AgainstSimulator : ::testing::Test {
    AgainstSimulator() : simulator(simOptions()), catalog(std::vector<std::string>{}), faulty(catalog)
    {
        catalog.setSimulator(&simulator);
    }
    static sim::PtyHost::Options simOptions()
    {
        sim::PtyHost::Options o;
        o.timeScale = 40;   // slews take seconds, not minutes
        return o;
    }
    int run(std::vector<std::string> args, std::function<int(std::int32_t)> ask = {})
    {
        args.insert(args.begin(), {"--port", "sim"});
        const ParseResult r = parseCommandLine(args);
        EXPECT_TRUE(r.ok) << r.error;
        out.str("");
        err.str("");
        Environment env;
        env.catalog = &faulty;
        env.addDevice = [&](const std::string& p) { return catalog.addDevice(p); };
        env.out = &out;
        env.err = &err;
        env.askOperator = ask ? ask : [](std::int32_t) { return -1; };
        env.settleMs = 50;
        env.watchPeriod = std::chrono::milliseconds(20);
        return runCommand(r.options, env);
    }
    bool says(const std::string& text) const { return out.str().find(text) != std::string::npos; }
    long lines() const
    {
        const std::string s = out.str();
        return std::count(s.begin(), s.end(), '\n');
    }

    sim::BuiltInSimulator simulator;
    LinuxPortCatalog catalog;
    FaultyCatalog faulty;
    std::ostringstream out, err;
};

TEST_F(AgainstSimulator, PortsAndInfoShowTheSimulatorsConfiguration)
{
    EXPECT_EQ(run({"ports"}), 0);
    EXPECT_TRUE(says("  0  Simulator")) << out.str();

    EXPECT_EQ(run({"--json", "info"}), 0) << err.str();
    EXPECT_TRUE(says("\"raMicrosteps\":")) << out.str();
    EXPECT_TRUE(says("\"encoderFormat\":{\"raFlags\":")) << out.str();
    EXPECT_TRUE(says("\"startCode\":7")) << out.str();
    EXPECT_EQ(lines(), 1);   // one object per result
}

TEST_F(AgainstSimulator, ReadEncodersOnceAndWatching)
{
    EXPECT_EQ(run({"read-encoders"}), 0) << err.str();
    EXPECT_TRUE(says("RA encoder:")) << out.str();
    EXPECT_TRUE(says("Dec encoder:")) << out.str();
    EXPECT_EQ(run({"--json", "read-encoders", "--watch", "1.5"}), 0) << err.str();
    EXPECT_TRUE(says("\"raEncoderDms\":\"+")) << out.str();
}

TEST_F(AgainstSimulator, WatchingReadsOnceAPeriodForTheSecondsGiven)
{
    struct Case {
        const char* seconds;
        long readings;
    };
    const Case cases[] = {{"1", 1}, {"3", 3}, {"1.5", 2}, {"0.2", 1}};
    for (const Case& c : cases) {
        EXPECT_EQ(run({"--json", "read-encoders", "--watch", c.seconds}), 0) << err.str();
        EXPECT_EQ(lines(), c.readings) << "--watch " << c.seconds << "\n" << out.str();
    }
}

TEST_F(AgainstSimulator, MoveStopAndTrack)
{
    EXPECT_EQ(run({"move", "N", "--speed", "20", "--for", "0.5"}), 0) << err.str();
    EXPECT_TRUE(says("Manual movement\nReady")) << out.str();
    EXPECT_EQ(run({"stop"}), 0) << err.str();
    EXPECT_TRUE(says("Ready")) << out.str();
    EXPECT_EQ(run({"--json", "track", "on"}), 0) << err.str();
    EXPECT_TRUE(says("{\"command\":\"track\",\"ok\":true}")) << out.str();
}

TEST_F(AgainstSimulator, GotoRunsToReadyAndTheFlipQuestionIsAnswered)
{
    // Zero hour offset is on the meridian: no question from either side.
    EXPECT_EQ(run({"--json", "lst"}), 0);
    const std::string lstJson = out.str();
    const auto at = lstJson.find("\"lst\":\"") + 7;
    const std::string lst = lstJson.substr(at, 8);

    EXPECT_EQ(run({"goto", lst, "+30:00:00"}), 0) << err.str();
    EXPECT_TRUE(says("Positioning\nReady")) << out.str();

    // Three hours east of the meridian from the east side: a flip is needed.
    const int h = (std::stoi(lst.substr(0, 2)) + 3) % 24;
    const std::string east = (h < 10 ? "0" : "") + std::to_string(h) + lst.substr(2);
    EXPECT_EQ(run({"goto", east, "0"}), 1);
    EXPECT_NE(err.str().find("Meridian flip needed."), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("--flip"), std::string::npos) << err.str();
    EXPECT_EQ(run({"goto", east, "0", "--no-flip"}), 1);
    EXPECT_NE(err.str().find("not offered"), std::string::npos) << err.str();
    EXPECT_EQ(run({"goto", east, "0", "--cancel"}), 0);
    EXPECT_TRUE(says("Positioning cancelled")) << out.str();
    int asked = 0;
    EXPECT_EQ(run({"goto", east, "0"}, [&](std::int32_t kind) { asked = kind; return 2; }), 0) << err.str();
    EXPECT_EQ(asked, 5);
    EXPECT_TRUE(says("Positioning\nReady")) << out.str();
    EXPECT_EQ(run({"goto", east, "0", "--flip"}), 0) << err.str();
}

TEST_F(AgainstSimulator, PierActions)
{
    EXPECT_EQ(run({"pier", "set-west"}), 0) << err.str();
    EXPECT_EQ(run({"pier", "flip-east"}), 0) << err.str();
    EXPECT_TRUE(says("Ready")) << out.str();
    EXPECT_EQ(run({"--json", "pier", "set-east"}), 0) << err.str();
    EXPECT_TRUE(says("\"command\":\"pier\"")) << out.str();
}

TEST_F(AgainstSimulator, SettingsAreWrittenAndReadBack)
{
    EXPECT_EQ(run({"encoder-format", "2", "10", "22", "0", "0", "12", "24", "0"}), 0) << err.str();
    EXPECT_EQ(run({"calibrate", "1", "1000", "2000"}), 0) << err.str();
    EXPECT_TRUE(says("Encoder calibration parameters updated.")) << out.str();
    EXPECT_EQ(run({"reverse-motor", "2"}), 0) << err.str();
    EXPECT_EQ(run({"save"}), 0) << err.str();
    EXPECT_TRUE(says("Parameters stored...")) << out.str();

    EXPECT_EQ(run({"--json", "info"}), 0) << err.str();
    EXPECT_TRUE(says("\"raFlags\":2,\"decFlags\":0,\"raLeadingBits\":10,\"raBitsPerRevolution\":22")) << out.str();
    EXPECT_TRUE(says("\"decBitsPerRevolution\":24")) << out.str();
    EXPECT_TRUE(says("\"reverseEncoderBits\":1,\"raEncoderOffset\":1000,\"decEncoderOffset\":2000")) << out.str();
    EXPECT_TRUE(says("\"reverseMotorBits\":2")) << out.str();
}

TEST_F(AgainstSimulator, FramesTheCloseDiscardedFailTheCommandWhateverTheStatusesSaid)
{
    faulty.port.discardedBytes = 17;
    for (const char* json : {"", "--json"}) {
        std::vector<std::string> args = {"track", "on"};
        if (*json)
            args.insert(args.begin(), json);
        EXPECT_EQ(run(args), 1) << json;
        EXPECT_EQ(err.str(), "kv7ctl: 17 bytes of commands were not sent before the port closed\n") << json;
    }
    faulty.port.discardedBytes = 0;
    EXPECT_EQ(run({"track", "on"}), 0) << err.str();
}

TEST_F(AgainstSimulator, AReadingThatNeverComesFailsWithTheLinksStatus)
{
    // The encoder reading request (AA 02 7A ..) never reaches the controller;
    // the link gives up on the reply and says so.
    faulty.port.swallowed = {0xAA, 0x02, 0x7A};
    EXPECT_EQ(run({"--timeout", "8", "read-encoders"}), 1);
    EXPECT_EQ(err.str(), "Error: No reply from the controller.\n");
    EXPECT_EQ(out.str(), "");
}

TEST_F(AgainstSimulator, PortThatCannotOpenExitsOneWithTheStatusText)
{
    EXPECT_EQ(run({"--port", "/dev/kv7-no-such-device", "info"}), 1);
    EXPECT_EQ(err.str(), "Error: Cannot open port.\n");
    EXPECT_EQ(run({"--port", "17", "stop"}), 1);
    EXPECT_EQ(err.str(), "Error: Cannot open port.\n");
}

}  // namespace
}  // namespace kv7::cli
#endif
