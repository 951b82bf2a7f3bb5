// kv7ctl config against the built-in simulator, in process: a snapshot
// saved, the controller changed, the difference seen and put back.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CliTestDir.h"
#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "platform/AtomicFile.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "protocol/DeviceProtocol.h"
#include "sim/BuiltInSimulator.h"

namespace kv7::cli {
namespace {

// The simulator's port, whose writes of one device command can be made to
// fail, as when the cable is pulled the moment it is sent.
class BreakingPort final : public SerialPort {
public:
    bool open(const char* device, std::uint32_t baud) override { return inner->open(device, baud); }
    OpenError openError() const override { return inner->openError(); }
    void close() override { inner->close(); }
    std::size_t discardedAtClose() const override { return inner->discardedAtClose(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override
    {
        if (breaksLeft > 0 && length > 2 && data[2] == breakingCode) {
            --breaksLeft;
            return false;
        }
        return inner->write(data, length, timeoutMs);
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        return inner->read(buffer, capacity, timeoutMs);
    }
    void wakeReader() override { inner->wakeReader(); }

    SerialPort* inner = nullptr;
    std::uint8_t breakingCode = 0;
    int breaksLeft = 0;
};

class BreakingCatalog final : public PortCatalog {
public:
    explicit BreakingCatalog(PortCatalog& inner) : inner(inner) {}
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
    BreakingPort port;
};

struct Snapshots : ::testing::Test {
    Snapshots() : simulator(simOptions()), catalog(std::vector<std::string>{}), breaking(catalog)
    {
        catalog.setSimulator(&simulator);
    }
    static sim::PtyHost::Options simOptions()
    {
        sim::PtyHost::Options o;
        o.timeScale = 10;
        return o;
    }
    int run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"--port", "sim"});
        const ParseResult r = parseCommandLine(args);
        EXPECT_TRUE(r.ok) << r.error;
        out.str("");
        err.str("");
        Environment env;
        env.catalog = &breaking;
        env.out = &out;
        env.err = &err;
        env.settleMs = 50;
        env.confirm = [this](const std::string&) { return answer; };
        env.readFile = [](const std::string& path, std::size_t maxBytes, std::string& text, std::string& error) {
            return atomicfile::readBounded(path, maxBytes, "snapshot file", text, error) == atomicfile::Read::Text;
        };
        env.writeFile = atomicfile::replace;
        return runCommand(r.options, env);
    }
    // The controller changed as an operator would, with kv7ctl.
    void changeController()
    {
        ASSERT_EQ(run({"encoder-format", "2", "10", "22", "0", "0", "12", "24", "0", "--yes"}), 0) << err.str();
        ASSERT_EQ(run({"calibrate", "1", "1000", "2000", "--yes"}), 0) << err.str();
        ASSERT_EQ(run({"reverse-motor", "2", "--yes"}), 0) << err.str();
    }
    // The fields config diff --json names, one an object.
    std::set<std::string> differingFields()
    {
        const int exitCode = run({"--json", "config", "diff", file});
        EXPECT_EQ(exitCode, out.str().empty() ? 0 : 1) << err.str();
        std::set<std::string> names;
        std::istringstream lines(out.str());
        for (std::string line; std::getline(lines, line);) {
            const std::size_t at = line.find("{\"field\":\"");
            names.insert(at == 0 ? line.substr(10, line.find('"', 10) - 10) : "? " + line);
        }
        return names;
    }
    void editFile(const std::string& from, const std::string& to)
    {
        std::string text, error;
        ASSERT_EQ(atomicfile::readBounded(file, 65536, "snapshot", text, error), atomicfile::Read::Text) << error;
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        std::ofstream(file) << text.replace(at, from.size(), to);
    }
    bool says(const std::string& text) const { return out.str().find(text) != std::string::npos; }
    bool complains(const std::string& text) const { return err.str().find(text) != std::string::npos; }

    sim::BuiltInSimulator simulator;
    LinuxPortCatalog catalog;
    BreakingCatalog breaking;
    std::ostringstream out, err;
    int answer = -1;   // the operator's answer to the question; -1: no terminal
    test::TestDir dir;
    std::string file = dir.file("before.json");
};

const std::set<std::string> changedFields = {
    "encoderFormat.raFlags",
    "encoderFormat.raLeadingBits",
    "encoderFormat.raBitsPerRevolution",
    "encoderFormat.decBitsPerRevolution",
    "encoderCalibration.reverseEncoderBits",
    "encoderCalibration.raEncoderOffset",
    "encoderCalibration.decEncoderOffset",
    "motor.reverseMotorBits",
};

TEST_F(Snapshots, ARestoreUndoesExactlyWhatWasChanged)
{
    ASSERT_EQ(run({"config", "save", file}), 0) << err.str();
    ASSERT_EQ(run({"config", "show", file}), 0) << err.str();
    EXPECT_TRUE(says("  saved ")) << out.str();
    EXPECT_TRUE(says("  motorExtraByte: 16\n")) << out.str();
    EXPECT_TRUE(differingFields().empty());

    changeController();
    EXPECT_EQ(differingFields(), changedFields);

    ASSERT_EQ(run({"config", "restore", file, "--yes"}), 0) << err.str() << out.str();
    for (const std::string& field : changedFields)
        EXPECT_TRUE(says(field + ": written and verified\n")) << field << "\n" << out.str();
    EXPECT_TRUE(differingFields().empty());
    EXPECT_EQ(run({"config", "diff", file}), 0);
    EXPECT_EQ(out.str(), "");
}

TEST_F(Snapshots, AFileThatCannotBeUsedHereLeavesTheControllerAlone)
{
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        const char* said;
    };
    const Case cases[] = {
        {"another model", "\"deviceId\": ", "\"deviceId\": 1", "saved from another controller model (deviceId 1"},
        {"a newer version", "\"version\": 1", "\"version\": 2", "the file's version 2 is newer than this program"},
        {"a corrupt field", "\"motorExtraByte\": 16", "\"motorExtraByte\": 256",
         "motor.motorExtraByte: 256 is above 255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(run({"config", "save", file}), 0) << err.str();
        editFile(c.from, c.to);
        changeController();
        EXPECT_EQ(run({"config", "restore", file, "--yes"}), 1);
        EXPECT_TRUE(complains(c.said)) << err.str();
        EXPECT_EQ(out.str().find("written"), std::string::npos) << out.str();
        ASSERT_EQ(run({"--json", "info"}), 0) << err.str();
        EXPECT_TRUE(says("\"raFlags\":2,")) << out.str();
        EXPECT_TRUE(says("\"reverseMotorBits\":2,")) << out.str();
    }
}

TEST_F(Snapshots, ARestoreWritesOnlyWhenTheOperatorAgrees)
{
    struct Case {
        int answer;
        int exitCode;
        bool written;
    };
    const Case cases[] = {{-1, 1, false}, {0, 0, false}, {1, 0, true}};
    ASSERT_EQ(run({"config", "save", file}), 0) << err.str();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        changeController();
        answer = c.answer;
        EXPECT_EQ(run({"config", "restore", file}), c.exitCode) << err.str();
        EXPECT_TRUE(says("differs from the controller:\nencoderFormat.raFlags  snapshot 0  controller 2\n"))
            << out.str();
        EXPECT_EQ(differingFields().empty(), c.written);
    }
}

TEST_F(Snapshots, ALostConnectionLeavesAReportOfWhatWasAndWasNotWritten)
{
    ASSERT_EQ(run({"config", "save", file}), 0) << err.str();
    changeController();
    // The calibration's frame fails once: the link loses the connection
    // there; the restore reads back over a new one.
    breaking.port.breakingCode = static_cast<std::uint8_t>(DeviceCommand::WriteEncoderCalibration);
    breaking.port.breaksLeft = 1;
    EXPECT_EQ(run({"config", "restore", file, "--yes"}), 1);
    EXPECT_TRUE(complains("Error: Connection lost.")) << err.str();
    EXPECT_TRUE(says("encoderFormat.raFlags: written and verified\n")) << out.str();
    EXPECT_TRUE(says("encoderCalibration.raEncoderOffset: not written (the connection failed as it was sent); "
                     "the controller holds 1000\n"))
        << out.str();
    EXPECT_TRUE(says("motor.reverseMotorBits: not written (the restore stopped before it)\n")) << out.str();
    EXPECT_EQ(differingFields().size(), 4u);
}

TEST_F(Snapshots, AWriteShowsWhatChangesAndGoesOnlyWhenTheOperatorAgrees)
{
    struct Case {
        std::vector<std::string> write;
        const char* shown;     // the line of the change
        const char* changed;   // in info --json once written
    };
    const Case cases[] = {
        {{"encoder-format", "2", "12", "25", "0", "0", "12", "25", "0"}, "encoderFormat.raFlags  0 -> 2\n",
         "\"raFlags\":2,"},
        {{"calibrate", "0", "0", "77"}, "encoderCalibration.decEncoderOffset  0 -> 77\n", "\"decEncoderOffset\":77"},
        {{"reverse-motor", "1"}, "motor.reverseMotorBits  0 -> 1\n", "\"reverseMotorBits\":1,"},
    };
    struct Answer {
        int answer;
        int exitCode;
        const char* said;
    };
    const Answer answers[] = {{-1, 1, "give --yes to write"}, {0, 0, "Nothing was written."}, {1, 0, nullptr}};
    for (const Case& c : cases) {
        for (const Answer& a : answers) {
            SCOPED_TRACE(c.write.front() + " answered " + std::to_string(a.answer));
            answer = a.answer;
            EXPECT_EQ(run(c.write), a.exitCode) << err.str();
            EXPECT_TRUE(says(c.shown)) << out.str();
            if (a.said) {
                EXPECT_TRUE(says(a.said) || complains(a.said)) << out.str() << err.str();
            }
            ASSERT_EQ(run({"--json", "info"}), 0) << err.str();
            EXPECT_EQ(says(c.changed), a.answer == 1) << out.str();
        }
        // The same values again change nothing: nothing to ask.
        answer = -1;
        EXPECT_EQ(run(c.write), 0) << err.str();
        EXPECT_FALSE(says("changes on the controller")) << out.str();
    }
}

TEST_F(Snapshots, ASaveInABatchShowsWhatTheBatchChangedSinceItConnected)
{
    answer = -1;
    EXPECT_EQ(run({"save"}), 0) << "nothing changed since connect: nothing to ask\n" << err.str();
    const std::string batch = dir.file("batch.txt");
    std::ofstream(batch) << "reverse-motor 3 --yes\nsave\n";
    EXPECT_EQ(run({"batch", batch}), 1);
    EXPECT_TRUE(says("save changes on the controller:\n  motor.reverseMotorBits  0 -> 3\n")) << out.str();
    EXPECT_TRUE(complains("give --yes to write")) << err.str();
    std::ofstream(batch) << "reverse-motor 0 --yes\nsave --yes\n";
    EXPECT_EQ(run({"batch", batch}), 0) << err.str();
}

}  // namespace
}  // namespace kv7::cli
