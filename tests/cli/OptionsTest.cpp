// kv7ctl's command line: what is accepted, and what is refused before
// anything is sent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "astro/Astro.h"
#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "app/Codes.h"
#include "ui/TargetText.h"

namespace kv7::cli {
namespace {

ParseResult parse(std::initializer_list<const char*> args)
{
    std::vector<std::string> v;
    for (const char* a : args)
        v.emplace_back(a);
    return parseCommandLine(v);
}

TEST(CliOptions, AcceptsEachCommandWithItsArguments)
{
    auto r = parse({"--port", "sim", "--baud", "115200", "--json", "move", "E", "--speed", "31", "--for", "2.5"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, Command::Move);
    EXPECT_EQ(r.options.port, "sim");
    EXPECT_EQ(r.options.baud, 115200u);
    EXPECT_TRUE(r.options.json);
    EXPECT_EQ(r.options.direction, 3);   // east on the hand pad
    EXPECT_EQ(r.options.speed, 31);
    EXPECT_DOUBLE_EQ(r.options.forSeconds, 2.5);

    r = parse({"commission", "check", "Dec", "--speed", "9", "--steps", "50000"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.options.commissionCheck && r.options.commissionDec);
    EXPECT_EQ(r.options.speed, 9);
    EXPECT_EQ(r.options.steps, 50000);
    r = parse({"config", "restore", "before.json", "--yes"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.options.configAction == ConfigAction::Restore && r.options.yes);
    EXPECT_EQ(r.options.configFile, "before.json");
    r = parse({"--transcript", "line.kv7t", "info"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.transcriptPath, "line.kv7t");
    r = parse({"transcript", "show", "line.kv7t"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.command, Command::Transcript);
    EXPECT_EQ(r.options.transcriptFile, "line.kv7t");
    r = parse({"read-encoders", "--watch", "10", "--rate", "max", "--csv"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.options.rateMax && r.options.csv);

    r = parse({"goto", "12:30:00", "-10:30:00", "--no-flip"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.raArcsec, 675000u);
    EXPECT_EQ(r.options.decArcsec, -37800);
    EXPECT_EQ(r.options.flip, FlipChoice::NoFlip);

    r = parse({"encoder-format", "2", "12", "24", "0", "1", "10", "22", "3"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.format, (EncoderFormat{2, 1, 12, 24, 0, 10, 22, 3}));

    r = parse({"calibrate", "3", "4294967295", "0"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.raOffset, 4294967295u);

    r = parse({"--utc", "2024-02-29T23:59:59", "--longitude", "-70.5", "plan-goto", "1", "+89:59:59", "--pier",
               "west", "--ra-microsteps", "1000000"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.planPier, PierState::pierWest);
    EXPECT_EQ(r.options.utc->day, 29);
    EXPECT_EQ(r.options.raArcsec, 54000u);
    EXPECT_EQ(r.options.decArcsec, 89 * 3600 + 59 * 60 + 59);

    r = parse({"pier", "flip-west"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.pierAction, 4);
    r = parse({"track", "off"});
    ASSERT_TRUE(r.ok);
    EXPECT_FALSE(r.options.trackOn);
    r = parse({"goto", "--help"});
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.options.command, Command::Help);
    EXPECT_EQ(r.options.helpTopic, "goto");
}

TEST(CliOptions, RefusesBadUsageWithAMessageThatSaysWhat)
{
    struct Case {
        std::initializer_list<const char*> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{}, "no command"},
        {{"fly"}, "unknown command fly"},
        {{"--frobnicate", "info"}, "unknown option --frobnicate"},
        {{"--baud", "19200", "info"}, "9600 or 115200"},
        {{"--port"}, "--port"},
        {{"--utc", "2023-02-29T00:00:00", "lst"}, "--utc"},
        {{"--longitude", "200", "lst"}, "-180 and 180"},
        {{"move", "N"}, "--speed"},
        {{"move", "X", "--speed", "3"}, "direction"},
        {{"move", "N", "--speed", "32"}, "0 to 31"},
        {{"goto", "24:00:00", "0"}, "out of range"},
        {{"goto", "12:60:00", "0"}, "out of range"},
        {{"goto", "12h30m", "0"}, "not of the form"},
        {{"goto", "12:00:00", "90:00:01"}, "out of range"},
        {{"goto", "12:00:00", "-91"}, "out of range"},
        {{"goto", "12:00:00"}, "needs RA and DEC"},
        {{"goto", "1", "2", "--flip", "--cancel"}, "only one"},
        {{"plan-goto", "1", "2"}, "--pier"},
        {{"encoder-format", "0", "12", "33", "0", "0", "12", "25", "0"}, "1 to 32"},
        {{"encoder-format", "8", "12", "25", "0", "0", "12", "25", "0"}, "flags"},
        {{"encoder-format", "0", "12", "25"}, "eight numbers"},
        {{"encoder-format", "0", "32", "25", "0", "0", "12", "25", "0"}, "RA leading bits must be from 0 to 31"},
        {{"encoder-format", "0", "12", "25", "0", "0", "12", "25", "32"},
         "Dec bits for revolutions must be from 0 to 31"},
        {{"encoder-format", "0", "12", "25", "8", "0", "12", "25", "0"},
         "RA bits for revolutions and per revolution exceed 32"},
        {{"--timeout", "0.0009", "info"}, "0.001 seconds"},
        {{"--timeout", "1e-9", "info"}, "0.001 seconds"},
        {{"calibrate", "4", "0", "0"}, "reverse bits"},
        {{"calibrate", "1", "4294967296", "0"}, "RA offset"},
        {{"reverse-motor", "-1"}, "bits"},
        {{"save", "now"}, "takes no arguments"},
        {{"stop", "--speed", "3"}, "--speed belongs to move and commission"},
        {{"read-encoders", "--rate", "5"}, "need --watch SECONDS"},
        {{"read-encoders", "--watch", "2", "--rate", "fast"}, "or max"},
        {{"read-encoders", "--watch", "2", "--rate", "0"}, "above 0"},
        {{"info", "--csv"}, "--csv belongs to read-encoders"},
        {{"commission", "check"}, "detect-format or check, and an axis"},
        {{"commission", "calibrate", "ra"}, "detect-format or check"},
        {{"commission", "check", "alt"}, "the axis ra or dec, not alt"},
        {{"commission", "check", "ra", "--yes"}, "--yes belongs to commission detect-format"},
        {{"commission", "detect-format", "dec", "--steps", "100"}, "--steps belongs to commission check"},
        {{"commission", "check", "dec", "--steps", "5"}, "from 10 to 100000000"},
        {{"move", "N", "--speed", "3", "--yes"}, "--yes belongs to the commands that write"},
        {{"config", "save"}, "config needs save, show, diff or restore, and a FILE"},
        {{"config", "load", "a.json"}, "config needs save, show, diff or restore"},
        {{"config", "diff", "a.json", "b.json"}, "config needs save, show, diff or restore"},
        {{"config", "diff", "a.json", "--yes"}, "--yes belongs to config restore"},
        {{"info", "--watch", "3"}, "--watch belongs"},
        {{"help", "fly"}, "unknown command fly"},
        {{"sync"}, "needs RA and DEC, or --encoders"},
        {{"sync", "1", "2", "--encoders"}, "takes no RA and DEC"},
        {{"sync", "25:00:00", "0"}, "out of range"},
        {{"state", "--encoders"}, "--encoders belongs to sync"},
        {{"where", "now"}, "takes no arguments"},
        {{"site", "set", "91", "0"}, "latitude 91"},
        {{"site", "set", "0", "180:00:01"}, "longitude 180:00:01"},
        {{"site", "set", "0"}, "set LAT LON"},
        {{"site", "show"}, "set LAT LON"},
        {{"batch", "a", "b"}, "one file"},
        {{"transcript", "line.kv7t"}, "transcript needs show and a FILE"},
        {{"transcript", "show"}, "transcript needs show and a FILE"},
        {{"--transcript", "", "info"}, "--transcript needs a file name"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> v;
        for (const char* a : c.args)
            v.emplace_back(a);
        const ParseResult r = parseCommandLine(v);
        std::string joined;
        for (const auto& a : v)
            joined += a + " ";
        EXPECT_FALSE(r.ok) << joined;
        EXPECT_NE(r.error.find(c.mentions), std::string::npos) << joined << "-> " << r.error;
    }
}

TEST(CliOptions, CoordinatesConvertLikeTheWindowsTargetFields)
{
    std::uint32_t ra = 0;
    std::int32_t dec = 0;
    std::string error;
    EXPECT_TRUE(parseRaArcsec("23:59:59", ra, error));
    EXPECT_EQ(ra, 1295985u);
    EXPECT_TRUE(parseRaArcsec(" 5 ", ra, error));
    EXPECT_EQ(ra, 270000u);
    EXPECT_TRUE(parseDecArcsec("-89:59:59", dec, error));
    EXPECT_EQ(dec, -323999);
    EXPECT_TRUE(parseDecArcsec("-0:30", dec, error));
    EXPECT_EQ(dec, -1800);
    EXPECT_TRUE(parseDecArcsec("+90", dec, error));
    EXPECT_EQ(dec, 324000);
    EXPECT_FALSE(parseRaArcsec("", ra, error));
    EXPECT_FALSE(parseRaArcsec("1:2:3:4", ra, error));
    EXPECT_FALSE(parseDecArcsec("--5", dec, error));
    EXPECT_FALSE(parseDecArcsec("123:00", dec, error));
}

TEST(CliOptions, TakesTheTargetTextsTheWindowTakesAndNoOthers)
{
    // The window's check (ui/TargetText) decides; kv7ctl must agree both ways.
    const char* raTexts[] = {"0", "23:59:59", " 5:3:7 ", "05:34:32", "24", "12:60", "123", "12h30m", "", "1:2:3:4",
                             "-1", "12:", "\t7\t"};
    for (const char* text : raTexts) {
        std::uint32_t ra = 0;
        std::string error;
        EXPECT_EQ(parseRaArcsec(text, ra, error), checkRaText(text) == TargetTextCheck::Sound)
            << "RA \"" << text << "\"";
    }
    const char* decTexts[] = {"0", "+90", "-90:00:00", "090:00:00", "-089:59:59", "+005", "90:00:01", "091",
                              "0900", "123:00", "--5", "+-5", "1:60", "-0:30", " -10:30:00 ", "", "+"};
    for (const char* text : decTexts) {
        std::int32_t dec = 0;
        std::string error;
        EXPECT_EQ(parseDecArcsec(text, dec, error), checkDecText(text) == TargetTextCheck::Sound)
            << "Dec \"" << text << "\"";
    }

    std::int32_t dec = 0;
    std::string error;
    EXPECT_TRUE(parseDecArcsec("090:00:00", dec, error)) << error;
    EXPECT_EQ(dec, 324000);
    EXPECT_TRUE(parseDecArcsec("-045:30", dec, error)) << error;
    EXPECT_EQ(dec, -(45 * 3600 + 30 * 60));
    auto r = parse({"goto", "12:00:00", "090:00:00"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.options.decArcsec, 324000);
}

TEST(CliOptions, UtcLeapDaysFollowTheCalendarTheJulianDateCountsIn)
{
    struct Case {
        const char* utc;
        bool valid;
    };
    const Case cases[] = {
        {"2024-02-29T00:00:00", true},  {"2023-02-29T00:00:00", false}, {"2000-02-29T00:00:00", true},
        {"1900-02-29T00:00:00", false}, {"1600-02-29T00:00:00", true},  {"1500-02-29T00:00:00", true},
        {"1100-02-29T12:00:00", true},  {"1582-02-29T00:00:00", false}, {"0004-02-29T00:00:00", true},
        {"1582-10-04T23:59:59", true},  {"1582-10-05T00:00:00", false}, {"1582-10-14T12:00:00", false},
        {"1582-10-15T00:00:00", true},  {"1700-02-29T00:00:00", false}, {"1500-02-30T00:00:00", false},
    };
    for (const Case& c : cases) {
        UtcTime t;
        EXPECT_EQ(parseUtc(c.utc, t), c.valid) << c.utc;
    }
}

TEST(CliOptions, SiteDegreesAreDmsOrDecimal)
{
    struct Case {
        const char* text;
        double limit;
        bool taken;
        double degrees;
    };
    const Case cases[] = {
        {"48:12:30", 90, true, 48 + 12 / 60.0 + 30 / 3600.0},
        {"-0:30", 90, true, -0.5},
        {"+16:22", 180, true, 16 + 22 / 60.0},
        {"16.5", 180, true, 16.5},
        {"-180", 180, true, -180},
        {"10:00:30.5", 180, true, 10 + 30.5 / 3600},
        {"90:00:01", 90, false, 0},
        {"91", 90, false, 0},
        {"12:60", 90, false, 0},
        {"12:-5", 90, false, 0},
        {"1.5:30", 90, false, 0},
        {"1:2:3:4", 90, false, 0},
        {"12:", 90, false, 0},
        {"north", 90, false, 0},
        {"", 90, false, 0},
    };
    for (const Case& c : cases) {
        double degrees = 0;
        EXPECT_EQ(parseDegrees(c.text, c.limit, degrees), c.taken) << c.text;
        if (c.taken) {
            EXPECT_DOUBLE_EQ(degrees, c.degrees) << c.text;
        }
    }
}

TEST(CliOptions, TimeoutsDownToOneMillisecondAreTaken)
{
    for (const char* seconds : {"0.001", "0.0015", "600", "86400"}) {
        const auto r = parse({"--timeout", seconds, "info"});
        EXPECT_TRUE(r.ok) << seconds << ": " << r.error;
    }
}

TEST(CliOffline, HelpForEveryCommand)
{
    for (const char* c : {"ports", "info", "read-encoders", "move", "stop", "track", "goto", "pier", "encoder-format",
                          "calibrate", "reverse-motor", "save", "lst", "plan-goto", "state", "sync", "where", "site",
                          "batch", "commission", "config"}) {
        const std::string h = commandHelp(c);
        EXPECT_NE(h.find(std::string("kv7ctl [OPTIONS] ") + c), std::string::npos) << c;
        EXPECT_NE(usageText().find(std::string("  ") + c), std::string::npos) << c;
    }
}

struct Offline : ::testing::Test {
    int run(std::initializer_list<const char*> args)
    {
        std::vector<std::string> v;
        for (const char* a : args)
            v.emplace_back(a);
        const ParseResult r = parseCommandLine(v);
        EXPECT_TRUE(r.ok) << r.error;
        out.str("");
        err.str("");
        Environment env;
        env.out = &out;
        env.err = &err;
        return runCommand(r.options, env);
    }
    std::ostringstream out, err;
};

// The number after "key": in a JSON line, read back as a double; NaN when
// the key is missing.
double jsonNumber(const std::string& json, const std::string& key)
{
    const auto at = json.find("\"" + key + "\":");
    if (at == std::string::npos)
        return std::nan("");
    return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

TEST_F(Offline, SiderealTimeAtJ2000)
{
    EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "--longitude", "0", "--json", "lst"}), 0);
    EXPECT_NE(out.str().find("\"julianDate\":2451545,"), std::string::npos) << out.str();
    EXPECT_NEAR(jsonNumber(out.str(), "gmstHours"), 18.69737456, 5e-9) << out.str();
    EXPECT_NE(out.str().find("\"lst\":\"18:41:50\""), std::string::npos) << out.str();

    // The built-in site (19.5 degrees east) adds 1.3 hours.
    EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "lst"}), 0);
    EXPECT_NE(out.str().find("LST:  19.9973746 h  19:59:50"), std::string::npos) << out.str();
}

TEST_F(Offline, JsonNumbersKeepEveryDigitOfTheirValue)
{
    // Meeus, example 12.b: 1987-04-10 19:21:00 UT is JD 2446896.30625.
    EXPECT_EQ(run({"--utc", "1987-04-10T19:21:00", "--longitude", "-77.0651", "--json", "lst"}), 0);
    const std::string json = out.str();
    EXPECT_NE(json.find("\"julianDate\":2446896.30625,"), std::string::npos) << json;
    const double jd = julianDate(1987, 4, 10, 19, 21, 0);
    EXPECT_EQ(jsonNumber(json, "julianDate"), jd);
    EXPECT_EQ(jsonNumber(json, "gmstHours"), greenwichSiderealTime(jd)) << json;
    EXPECT_EQ(jsonNumber(json, "longitude"), -77.0651) << json;
    const double lst = localSiderealTimeAt(1987, 4, 10, 19, 21, 0, -77.0651);
    ASSERT_GE(lst, 0.0);   // within the day already: nothing to fold
    ASSERT_LT(lst, 24.0);
    EXPECT_EQ(jsonNumber(json, "lstHours"), lst) << json;
}

TEST_F(Offline, LocalSiderealTimeIsWithinOneDayInEveryOutput)
{
    // At J2000 noon the GMST is 18.6973746 h; the longitude moves it past
    // either end of the day.
    struct Case {
        const char* longitude;
        double lstHours;
        const char* clock;
    };
    const Case cases[] = {
        {"90", 0.6973746, "00:41:50"},
        {"180", 6.6973746, "06:41:50"},
        {"0", 18.6973746, "18:41:50"},
        {"-180", 6.6973746, "06:41:50"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "--longitude", c.longitude, "--json", "lst"}), 0);
        const double lst = jsonNumber(out.str(), "lstHours");
        EXPECT_NEAR(lst, c.lstHours, 1e-7) << c.longitude << ": " << out.str();
        EXPECT_NE(out.str().find(std::string("\"lst\":\"") + c.clock), std::string::npos) << out.str();

        EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "--longitude", c.longitude, "--json", "plan-goto", "12",
                       "0", "--pier", "east"}),
                  0);
        EXPECT_NEAR(jsonNumber(out.str(), "lstHours"), c.lstHours, 1e-7) << c.longitude << ": " << out.str();

        EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "--longitude", c.longitude, "lst"}), 0);
        char line[64];
        std::snprintf(line, sizeof line, "LST:  %.7f h  %s", c.lstHours, c.clock);
        EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
    }
}

TEST_F(Offline, PlanGotoDecidesAsTheLinkDoes)
{
    // At J2000 noon with longitude 0 the LST is 18.6973746 h. A target at
    // RA 18:41:50 is on the meridian: positions at once from either side.
    EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "--longitude", "0", "--json", "plan-goto", "18:41:50", "0",
                   "--pier", "east"}),
              0);
    EXPECT_NE(out.str().find("\"decision\":\"position\""), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"raPosition\":-59998"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"decPosition\":600000"), std::string::npos) << out.str();

    // One hour east of the meridian, seen from the east side: flip recommended.
    EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "--longitude", "0", "--json", "plan-goto", "19:41:50", "0",
                   "--pier", "east"}),
              0);
    EXPECT_NE(out.str().find("\"promptKind\":3"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"withoutFlip\""), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("\"withFlip\":{\"pier\":\"west\""), std::string::npos) << out.str();

    // Three hours west of the meridian from the west side: flip needed, no
    // positions without one.
    EXPECT_EQ(run({"--utc", "2000-01-01T12:00:00", "--longitude", "0", "plan-goto", "15:41:50", "0", "--pier",
                   "west"}),
              0);
    EXPECT_NE(out.str().find("prompt kind 4"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("without flip"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace kv7::cli
