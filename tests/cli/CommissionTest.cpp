// The encoder monitor and the commissioning assistant of kv7ctl against the
// built-in simulator, its mount fitted with encoders as a test asks.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"

namespace kv7::cli {
namespace {

struct Fitted : ::testing::Test {
    // A new simulator for each mount; the fixture's default is a perfect one.
    void fit(const sim::EncoderFormatBytes& format, const sim::EncoderFit& imperfection = {})
    {
        sim::PtyHost::Options o;
        o.timeScale = 10;
        o.config.raEncoder.format = format;
        o.config.raEncoder.fit = imperfection;
        o.config.decEncoder.format = format;
        o.config.decEncoder.fit = imperfection;
        simulator = std::make_unique<sim::BuiltInSimulator>(o);
        catalog = std::make_unique<LinuxPortCatalog>(std::vector<std::string>{});
        catalog->setSimulator(simulator.get());
    }
    int run(std::vector<std::string> args)
    {
        if (!simulator)
            fit(sim::EncoderFormatBytes{});
        args.insert(args.begin(), {"--port", "sim"});
        const ParseResult r = parseCommandLine(args);
        EXPECT_TRUE(r.ok) << r.error;
        out.str("");
        err.str("");
        Environment env;
        env.catalog = catalog.get();
        env.out = &out;
        env.err = &err;
        env.settleMs = 50;
        env.watchPeriod = std::chrono::milliseconds(100);
        env.interrupted = interrupt;
        return runCommand(r.options, env);
    }
    bool says(const std::string& text) const { return out.str().find(text) != std::string::npos; }
    // The RA encoder format the controller holds, as info prints it.
    std::string raFormat()
    {
        EXPECT_EQ(run({"info"}), 0) << err.str();
        const std::string s = out.str();
        std::string f;
        for (const char* key : {"raFlags: ", "raLeadingBits: ", "raBitsPerRevolution: ", "raBitsForRevolutions: "}) {
            const std::size_t at = s.find(key);
            f += at == std::string::npos ? "?" : s.substr(at + std::string(key).size(), s.find('\n', at) - at - std::string(key).size());
            f += " ";
        }
        return f;
    }

    std::unique_ptr<sim::BuiltInSimulator> simulator;
    std::unique_ptr<LinuxPortCatalog> catalog;
    std::ostringstream out, err;
    std::function<bool()> interrupt;
};

sim::EncoderFormatBytes format(std::uint8_t flags, std::uint8_t leading, std::uint8_t bits)
{
    sim::EncoderFormatBytes f;
    f.flags = flags;
    f.leadingBits = leading;
    f.bitsPerRevolution = bits;
    return f;
}

TEST_F(Fitted, DetectionProposesTheFittedFormatAndWritesItWithYes)
{
    struct Case {
        sim::EncoderFormatBytes physical;
        const char* proposed;
        const char* held;   // flags, leading, bits, revolutions
    };
    const Case cases[] = {
        {format(sim::encoderFlagGray | sim::encoderFlagInvert, 5, 19), "gray,inverted,leading=5,revolutions=0,bits=19",
         "3 5 19 0 "},
        {format(0, 0, 31), "binary,plain,leading=0,revolutions=0,bits=31", "0 0 31 0 "},
        {format(sim::encoderFlagGray, 12, 12), "gray,plain,leading=12,revolutions=0,bits=12", "2 12 12 0 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.proposed);
        fit(c.physical);
        ASSERT_EQ(run({"--json", "commission", "detect-format", "ra", "--yes"}), 0) << err.str() << out.str();
        EXPECT_TRUE(says(std::string("\"format\":\"") + c.proposed + "\"")) << out.str();
        EXPECT_TRUE(says("\"written\":true")) << out.str();
        EXPECT_EQ(raFormat(), c.held);
    }
}

TEST_F(Fitted, WithoutYesNothingIsWrittenAndTheFormatFromBeforeIsBack)
{
    fit(format(sim::encoderFlagGray, 3, 22));
    EXPECT_EQ(run({"commission", "detect-format", "ra"}), 0) << err.str();
    EXPECT_TRUE(says("Proposed: gray,plain,leading=3,revolutions=0,bits=22")) << out.str();
    EXPECT_TRUE(says("The format was not written")) << out.str();
    EXPECT_EQ(raFormat(), "0 12 25 0 ");
}

TEST_F(Fitted, CtrlCStopsTheAxisAndPutsTheFormatBack)
{
    fit(format(0, 12, 25));
    int asked = 0;
    interrupt = [&] { return ++asked > 3; };
    EXPECT_EQ(run({"commission", "detect-format", "dec"}), 1);
    EXPECT_NE(err.str().find("cancelled; the axis was stopped and nothing was written"), std::string::npos) << err.str();
    interrupt = nullptr;
    EXPECT_EQ(raFormat(), "0 12 25 0 ");
    ASSERT_EQ(run({"state"}), 0);
    EXPECT_TRUE(says("Dec axis: ")) << out.str();
    EXPECT_EQ(out.str().find("moving"), std::string::npos) << out.str();
}

TEST_F(Fitted, TheCheckFindsScaleBacklashAndSense)
{
    struct Case {
        sim::EncoderFit fit;
        bool good;
    };
    const Case cases[] = {
        {{0.0, false, 0.0, 0}, true},
        {{500.0, true, 60.0, 0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fit.scalePpm);
        fit(format(0, 12, 25), c.fit);
        ASSERT_EQ(run({"--json", "commission", "check", "dec"}), 0) << err.str();
        const std::string s = out.str();
        auto number = [&](const char* key) {
            const std::size_t at = s.find(std::string("\"") + key + "\":");
            return at == std::string::npos ? 1e9 : std::stod(s.substr(at + std::string(key).size() + 3));
        };
        EXPECT_NEAR(number("scalePpm"), c.fit.scalePpm, 50.0) << s;
        EXPECT_NEAR(number("backlashArcsec"), c.fit.backlashArcsec, 6.0) << s;
        EXPECT_TRUE(says(std::string("\"senseAgrees\":") + (c.fit.reversed ? "false" : "true"))) << s;
        EXPECT_TRUE(says(std::string("\"good\":") + (c.good ? "true" : "false"))) << s;
    }
}

TEST_F(Fitted, TheMonitorWritesALineAReadingAndCountsWhatCannotBeRight)
{
    EXPECT_EQ(run({"read-encoders", "--watch", "3", "--rate", "10", "--csv"}), 0) << err.str();
    std::istringstream lines(out.str());
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "seconds,ra_counts,dec_counts,ra_motor_steps,dec_motor_steps,implausible");
    int rows = 0;
    while (std::getline(lines, line)) {
        ++rows;
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 5) << line;
    }
    EXPECT_EQ(rows, 30);
    EXPECT_NE(err.str().find("30 readings"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("cannot be right: RA 0, Dec 0"), std::string::npos) << err.str();

    EXPECT_EQ(run({"--json", "read-encoders", "--watch", "1", "--rate", "max"}), 0) << err.str();
    EXPECT_TRUE(says("\"implausible\":\"\"")) << out.str();
    EXPECT_TRUE(says("{\"readings\":")) << out.str();
}

}  // namespace
}  // namespace kv7::cli
