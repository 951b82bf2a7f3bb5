// The kv7sim command line and the option texts it shares with tests.
#include <gtest/gtest.h>

#include "sim/kv7sim/SimOptions.h"

namespace kv7::sim::test {
namespace {

ParseOutcome parse(std::vector<std::string> args, SimToolOptions& options, std::string& error)
{
    return parseSimCommandLine(args, options, error);
}

TEST(SimOptions, EveryOptionInBothSpellings)
{
    SimToolOptions o;
    std::string error;
    ASSERT_EQ(parse({"--state", "/tmp/s", "--link=/tmp/kv7", "--time-scale", "20", "--line-rate=9600", "--verbose", "--seed=9",
                     "--fault", "noise", "--fault=drop=0.25", "--fault", "vanish=12", "--fault=quiet-after=6", "--fault", "short=122", "--encoder-format",
                     "gray,leading=10,bits=24", "--encoder-format=dec:inverted,revolutions=3", "--transcript", "/tmp/t.kv7t",
                     "--replay=/tmp/r.kv7t"},
                    o, error),
              ParseOutcome::Run)
        << error;
    EXPECT_EQ(o.statePath, "/tmp/s");
    EXPECT_EQ(o.linkPath, "/tmp/kv7");
    EXPECT_EQ(o.transcriptPath, "/tmp/t.kv7t");
    EXPECT_EQ(o.replayPath, "/tmp/r.kv7t");
    EXPECT_DOUBLE_EQ(o.timeScale, 20.0);
    EXPECT_EQ(o.lineRate, 9600u);
    EXPECT_TRUE(o.verbose);
    EXPECT_EQ(o.config.faults.seed, 9u);
    EXPECT_TRUE(o.config.faults.noise);
    EXPECT_DOUBLE_EQ(o.config.faults.dropProbability, 0.25);
    EXPECT_EQ(o.config.faults.vanishAfterFrames, 12);
    EXPECT_EQ(o.config.faults.quietAfterFrames, 6);
    EXPECT_EQ(o.config.faults.shortReplyCode, 122);
    EXPECT_EQ(o.config.raEncoder.format, (EncoderFormatBytes{encoderFlagGray, 10, 24, 0}));
    EXPECT_EQ(o.config.decEncoder.format, (EncoderFormatBytes{encoderFlagGray | encoderFlagInvert, 10, 24, 3}));
}

TEST(SimOptions, SlowIsWallClockWhateverTheScale)
{
    SimToolOptions o;
    std::string error;
    ASSERT_EQ(parse({"--fault", "slow=300", "--time-scale", "10"}, o, error), ParseOutcome::Run);
    EXPECT_DOUBLE_EQ(o.config.faults.replyDelay, 3.0);   // simulated seconds = 0.3 s of wall time
    SimToolOptions plain;
    ASSERT_EQ(parse({"--fault=slow=250"}, plain, error), ParseOutcome::Run);
    EXPECT_DOUBLE_EQ(plain.config.faults.replyDelay, 0.25);
}

TEST(SimOptions, EncoderFitPerAxis)
{
    struct Case {
        std::vector<std::string> args;
        EncoderFit ra;
        EncoderFit dec;
    };
    const Case cases[] = {
        {{"--encoder-fit", "scale-ppm=-150,backlash=30.5,noise=2"}, {-150.0, false, 30.5, 2}, {-150.0, false, 30.5, 2}},
        {{"--encoder-fit=dec:reversed"}, {}, {0.0, true, 0.0, 0}},
        {{"--encoder-fit", "reversed", "--encoder-fit", "ra:forward,scale-ppm=100000"},
         {100000.0, false, 0.0, 0},
         {0.0, true, 0.0, 0}},
        {{"--encoder-fit", "scale-ppm=-100000,backlash=3600,noise=1000"},
         {-100000.0, false, 3600.0, 1000},
         {-100000.0, false, 3600.0, 1000}},
        {{"--encoder-fit", "dec:bit-errors=0.01"}, {}, {0.0, false, 0.0, 0, 0.01}},
    };
    for (const Case& c : cases) {
        SimToolOptions o;
        std::string error;
        ASSERT_EQ(parse(c.args, o, error), ParseOutcome::Run) << error;
        EXPECT_EQ(o.config.raEncoder.fit, c.ra) << c.args.back();
        EXPECT_EQ(o.config.decEncoder.fit, c.dec) << c.args.back();
    }
    // A wrong item anywhere changes neither axis.
    EncoderPhysics ra;
    EncoderPhysics dec;
    std::string error;
    EXPECT_FALSE(applyEncoderFitText("noise=2,backlash=9999", ra, dec, error));
    EXPECT_EQ(ra.fit, EncoderFit{});
    EXPECT_EQ(dec.fit, EncoderFit{});
}

TEST(SimOptions, BadCommandLinesSayWhatWasWrong)
{
    struct Case {
        std::vector<std::string> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--frobnicate"}, "--frobnicate"},
        {{"stray"}, "stray"},
        {{"--state"}, "--state"},
        {{"--link="}, "--link"},
        {{"--transcript"}, "--transcript"},
        {{"--replay="}, "--replay"},
        {{"--time-scale", "0"}, "--time-scale"},
        {{"--time-scale", "fast"}, "fast"},
        {{"--time-scale", "nan"}, "--time-scale"},
        {{"--fault", "explode"}, "explode"},
        {{"--fault", "drop=1.5"}, "drop"},
        {{"--fault", "drop"}, "drop"},
        {{"--fault", "slow=-3"}, "slow"},
        {{"--fault", "vanish=many"}, "vanish"},
        {{"--fault", "quiet-after=-1"}, "quiet-after"},
        {{"--fault", "short=256"}, "short"},
        {{"--fault", "silent=1"}, "silent"},
        {{"--encoder-format", "bits=0"}, "bits per revolution"},
        {{"--encoder-format", "bits=33"}, "bits=33"},
        {{"--encoder-format", "sparkly"}, "sparkly"},
        {{"--encoder-format", "ra:"}, "empty"},
        {{"--encoder-fit", "scale-ppm=100001"}, "scale-ppm"},
        {{"--encoder-fit", "scale-ppm=lots"}, "lots"},
        {{"--encoder-fit", "backlash=-1"}, "backlash"},
        {{"--encoder-fit", "backlash=3600.5"}, "backlash"},
        {{"--encoder-fit", "noise=1.5"}, "noise"},
        {{"--encoder-fit", "noise=1001"}, "1001"},
        {{"--encoder-fit", "bit-errors=1.5"}, "bit-errors"},
        {{"--encoder-fit", "bit-errors=-0.1"}, "bit-errors"},
        {{"--encoder-fit", "reversed=yes"}, "takes no value"},
        {{"--encoder-fit", "wobbly"}, "wobbly"},
        {{"--encoder-fit", "tilt=3"}, "tilt"},
        {{"--encoder-fit", "dec:"}, "empty"},
        {{"--line-rate", "-1"}, "--line-rate"},
        {{"--line-rate", "9600.5"}, "9600.5"},
        {{"--line-rate", "4000001"}, "4000001"},
        {{"--line-rate"}, "--line-rate"},
        {{"--seed", "-1"}, "--seed"},
        {{"--verbose=yes"}, "--verbose"},
    };
    for (const Case& c : cases) {
        SimToolOptions o;
        std::string error;
        EXPECT_EQ(parse(c.args, o, error), ParseOutcome::Error) << c.args[0];
        EXPECT_NE(error.find(c.mentions), std::string::npos) << "\"" << error << "\" should mention " << c.mentions;
    }
    SimToolOptions o;
    std::string error;
    EXPECT_EQ(parse({"--help"}, o, error), ParseOutcome::Help);
}

}  // namespace
}  // namespace kv7::sim::test
