// Every kv7ctl command against the built-in simulator, in process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Runner.h"

#ifdef KV7_HAVE_SIM
#include <fstream>

#include "CliTestDir.h"
#include "platform/SettingsFile.h"
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
        ++resolves;
        if (!inner.resolve(number, binding))
            return false;
        port.inner = binding.port;
        binding.port = &port;
        return true;
    }

    PortCatalog& inner;
    FaultyPort port;
    int resolves = 0;   // one a connection
};

struct AgainstSimulator : ::testing::Test {
    AgainstSimulator()
        : simulator(simOptions()), catalog(std::vector<std::string>{}), faulty(catalog),
          settings(settingsDir.file("kv7/settings.ini"))
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
        env.in = &in;
        env.out = &out;
        env.err = &err;
        env.settings = &settings;
        env.settingsPath = settings.path();
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
    std::istringstream in;
    test::TestDir settingsDir;   // the settings file lives here, never in the user's folder
    SettingsFile settings;
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
    EXPECT_EQ(run({"encoder-format", "2", "10", "22", "0", "0", "12", "24", "0", "--yes"}), 0) << err.str();
    EXPECT_EQ(run({"calibrate", "1", "1000", "2000", "--yes"}), 0) << err.str();
    EXPECT_TRUE(says("Encoder calibration parameters updated.")) << out.str();
    EXPECT_EQ(run({"reverse-motor", "2", "--yes"}), 0) << err.str();
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

TEST_F(AgainstSimulator, StateShowsTheAxesTheirMotionAndTheSideOfThePier)
{
    // The side of the pier is the link's, kept for one connection: each
    // case is a batch.
    struct Case {
        const char* lines;
        const char* text;
        const char* json;
    };
    const Case cases[] = {
        {"stop\nstate\n", "Dec axis: 0 microsteps  at rest\nPier:     east\n", "\"decMoving\":false,\"pierState\":7"},
        {"move N --speed 31\nstate\nstop\n", "microsteps  moving\nPier:     east\n", "\"decMoving\":true,\"pierState\":7"},
        {"stop\npier set-west\nstate\n", "Pier:     west\n", "\"pierState\":6,\"pier\":\"west\"}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        in.clear();
        in.str(c.lines);
        EXPECT_EQ(run({"batch"}), 0) << err.str();
        EXPECT_TRUE(says("RA axis:  ")) << out.str();
        EXPECT_TRUE(says(c.text)) << out.str();
        in.clear();
        in.str(c.lines);
        EXPECT_EQ(run({"--json", "batch"}), 0) << err.str();
        EXPECT_TRUE(says(c.json)) << out.str();
        EXPECT_TRUE(says("{\"raAxisPosition\":")) << out.str();
    }
}

TEST_F(AgainstSimulator, WhereGivesBackTheTargetASyncSet)
{
    struct Case {
        const char* ra;
        const char* dec;
        const char* raText;
        const char* decText;
    };
    // The clock stands still and the mount does not track: the sky
    // position is the target's, to a second of rounding.
    const Case cases[] = {
        {"05:00:00", "+20:00:00", "RA:  05:00:0", "Dec: +20:00:0"},
        {"23:30:00", "-45:30:00", "RA:  23:30:0", "Dec: -45:30:0"},
        {"12:00:00", "0", "RA:  12:00:0", "Dec: +00:00:0"},
    };
    const std::string utc = "2026-12-07T22:00:00";
    ASSERT_EQ(run({"stop"}), 0) << err.str();
    ASSERT_EQ(run({"track", "off"}), 0) << err.str();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ra);
        EXPECT_EQ(run({"--utc", utc, "sync", c.ra, c.dec}), 0) << err.str();
        EXPECT_TRUE(says("Synchronised to the target.")) << out.str();
        EXPECT_EQ(run({"--utc", utc, "where"}), 0) << err.str();
        EXPECT_TRUE(says(c.raText)) << out.str();
        EXPECT_TRUE(says(c.decText)) << out.str();
        EXPECT_EQ(run({"--utc", utc, "--json", "where"}), 0) << err.str();
        EXPECT_TRUE(says("{\"known\":true,\"raArcsec\":")) << out.str();
    }
}

TEST_F(AgainstSimulator, SyncToTheEncodersReadsThemFirstOnTheSameConnection)
{
    EXPECT_EQ(run({"sync", "--encoders"}), 0) << err.str();
    EXPECT_EQ(out.str(), "Synchronised to the encoders.\n");
    EXPECT_EQ(run({"--json", "sync", "--encoders"}), 0) << err.str();
    EXPECT_EQ(out.str(), "{\"command\":\"sync\",\"ok\":true}\n");

    // Without the reading there is nothing to sync from: the link's words.
    faulty.port.swallowed = {0xAA, 0x02, 0x7A};
    EXPECT_EQ(run({"--timeout", "8", "sync", "--encoders"}), 1);
    EXPECT_EQ(err.str(), "Error: No reply from the controller.\n");
}

TEST_F(AgainstSimulator, TheSiteInUseIsTheSettingsFilesUnlessLongitudeIsGiven)
{
    struct Case {
        std::vector<std::string> args;
        const char* longitude;   // in lst --json
    };
    const std::string utc = "2026-12-07T22:00:00";
    EXPECT_EQ(run({"site"}), 0) << err.str();
    EXPECT_EQ(out.str(), "Site: the built-in default, longitude 19.5 (" + settings.path() + ")\n");
    EXPECT_EQ(run({"site", "set", "48:12:30", "-16:30"}), 0) << err.str();
    EXPECT_EQ(out.str(), "Site saved: latitude 48.208333333333336, longitude -16.5 (" + settings.path() + ")\n");

    const Case cases[] = {
        {{"--utc", utc, "--json", "lst"}, "\"longitude\":-16.5,"},
        {{"--longitude", "7.25", "--utc", utc, "--json", "lst"}, "\"longitude\":7.25,"},
        {{"--json", "site"}, "\"longitude\":-16.5,\"settingsFile\""},
        {{"--longitude", "7.25", "--json", "site"}, "\"longitudeInUse\":7.25}"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.args), 0) << err.str();
        EXPECT_TRUE(says(c.longitude)) << out.str();
    }
    EXPECT_EQ(run({"--longitude", "7.25", "site"}), 0) << err.str();
    EXPECT_TRUE(says("In use: longitude 7.25 (--longitude)\n")) << out.str();
}

TEST_F(AgainstSimulator, ASettingsFileThatCannotBeReadLeavesTheBuiltInSiteAndSaysSo)
{
    const struct {
        const char* name;
        bool directory;
        const char* said;
    } cases[] = {
        {"corrupt", false, "line 2: latitude=north"},
        {"a directory in its place", true, "is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(settings.path());
        const std::filesystem::path path(settings.path());
        std::filesystem::create_directories(c.directory ? path : path.parent_path());
        if (!c.directory)
            std::ofstream(settings.path()) << "[site]\nlatitude=north\nlongitude=3\n";
        EXPECT_EQ(run({"--utc", "2026-12-07T22:00:00", "--json", "lst"}), 0) << err.str();
        EXPECT_TRUE(says("\"longitude\":19.5,")) << out.str();
        EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
        EXPECT_NE(err.str().find("the built-in site is used"), std::string::npos) << err.str();
        // Saving into a directory fails with a message, not a crash.
        EXPECT_EQ(run({"site", "set", "1", "2"}), c.directory ? 1 : 0) << err.str();
    }
}

TEST_F(AgainstSimulator, ABatchRunsItsLinesOverOneConnection)
{
    in.str("pier set-east\n"
           "# the axes, then a sync and where it put them\n"
           "state\n"
           "\n"
           "sync 05:00:00 +20:00:00   # the target\n"
           "where\n"
           "lst\n"
           "sync --encoders\n");
    EXPECT_EQ(run({"--utc", "2026-12-07T22:00:00", "batch"}), 0) << err.str();
    EXPECT_EQ(faulty.resolves, 1);
    for (const char* text : {"Pier:     east\n", "Synchronised to the target.\n", "RA:  05:00:0", "LST:  ",
                             "Synchronised to the encoders.\n"})
        EXPECT_TRUE(says(text)) << text << "\n" << out.str();

    // --json: a line for each command.
    in.clear();
    in.str("stop\nstate\nwhere\ntrack on\n");
    EXPECT_EQ(run({"--json", "batch", "-"}), 0) << err.str();
    EXPECT_EQ(lines(), 4) << out.str();
    EXPECT_TRUE(says("{\"command\":\"stop\",\"ok\":true,\"status\":13,")) << out.str();

    // From a file.
    const std::string file = settingsDir.file("commands.txt");
    std::ofstream(file) << "stop\nstate\n";
    EXPECT_EQ(run({"batch", file}), 0) << err.str();
    EXPECT_TRUE(says("Ready\nRA axis:")) << out.str();
}

TEST_F(AgainstSimulator, ABatchStopsAtTheFirstFailureAndNamesItsLine)
{
    struct Case {
        const char* name;
        const char* lines;
        int exitCode;
        const char* said;
        int connections;
    };
    const Case cases[] = {
        {"a command fails", "stop\nread-encoders\nstop\n", 1, "kv7ctl: the batch stopped at line 2 (read-encoders)\n",
         1},
        {"a line is not a command", "stop\ngoto 25:00:00 0\n", 2, "kv7ctl: line 2: RA \"25:00:00\" is out of range",
         0},
        {"a line names the port", "stop\n\n--port sim stop\n", 2, "kv7ctl: line 3: --port,", 0},
        {"a batch in a batch", "batch\n", 2, "kv7ctl: line 1: a batch cannot run another batch", 0},
    };
    faulty.port.swallowed = {0xAA, 0x02, 0x7A};   // the encoder reading never comes
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        faulty.resolves = 0;
        in.clear();
        in.str(c.lines);
        EXPECT_EQ(run({"--timeout", "8", "batch"}), c.exitCode);
        EXPECT_NE(err.str().find(c.said), std::string::npos) << err.str();
        EXPECT_EQ(faulty.resolves, c.connections);
        // Nothing after the failing line ran.
        EXPECT_LE(lines(), 1) << out.str();
    }

    // With --json the failing command has its line too.
    in.clear();
    in.str("stop\nread-encoders\nstop\n");
    EXPECT_EQ(run({"--timeout", "8", "--json", "batch"}), 1);
    EXPECT_TRUE(says("\n{\"line\":2,\"command\":\"read-encoders\",\"ok\":false}\n")) << out.str();
    EXPECT_EQ(lines(), 2) << out.str();
}

}  // namespace
}  // namespace kv7::cli
#endif
