// Every kv7ctl command against the built-in simulator, in process.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cli/CliOptions.h"
#include "cli/Runner.h"

#ifdef KV7_HAVE_SIM
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"

namespace kv7::cli {
namespace {

struct AgainstSimulator : ::testing::Test {
    AgainstSimulator() : simulator(simOptions()), catalog(std::vector<std::string>{})
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
        env.catalog = &catalog;
        env.addDevice = [&](const std::string& p) { return catalog.addDevice(p); };
        env.out = &out;
        env.err = &err;
        env.askOperator = ask ? ask : [](std::int32_t) { return -1; };
        env.settleMs = 50;
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
    EXPECT_GE(lines(), 2) << out.str();
    EXPECT_TRUE(says("\"raEncoderDms\":\"+")) << out.str();
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
