// Parameters written and stored survive a restart; unstored ones do not,
// and a store that could not keep them says so.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "SimTestUtil.h"

namespace kv7::sim::test {
namespace {

SimConfig withState(const std::string& path) { return withStateFile(path); }

// A store in memory whose outcomes the test chooses.
class ScriptedStore final : public StateStore {
public:
    Loaded loadOutcome = Loaded::Nothing;
    bool saveWorks = true;
    int saves = 0;

    Loaded load(std::string&, std::string& error) override
    {
        if (loadOutcome == Loaded::Failed)
            error = "scripted: unreadable";
        return loadOutcome;
    }
    bool save(const std::string&, std::string& error) override
    {
        ++saves;
        if (!saveWorks)
            error = "scripted: disk full";
        return saveWorks;
    }
};

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Persistence, StoredValuesSurviveARestartUnstoredDoNot)
{
    TempDir dir;
    const std::string state = dir.file("kv7.state");
    const EncoderFormatBytes storedRa{encoderFlagGray, 10, 24, 2};
    const EncoderFormatBytes storedDec{encoderFlagInvert, 11, 23, 0};
    {
        VirtualController c(withState(state));
        c.receive(frameFormat(storedRa, storedDec).data(), 12);
        transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0x02, 4242, 77777));
        c.receive(frameMotorFlags(0x01, 0x33).data(), 7);
        EXPECT_EQ(transact(c, frameByte(DeviceCommand::StoreParameters, 1)).size(), 1u);
        EXPECT_TRUE(c.lastStoreSucceeded());

        // Changed after the store: lost at power-off.
        c.receive(frameFormat({}, {}).data(), 12);
        transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0, 1, 1));
        c.receive(frameMotorFlags(0x02, 0x00).data(), 7);
        EXPECT_EQ(c.settings().ra.encoderOffset, 1u);
    }
    VirtualController restarted(withState(state));
    EXPECT_TRUE(restarted.loadProblems().empty());
    const ControllerSettings& s = restarted.settings();
    EXPECT_EQ(s.ra.encoderFormat, storedRa);
    EXPECT_EQ(s.dec.encoderFormat, storedDec);
    EXPECT_EQ(s.reverseEncoderBits, 0x02);
    EXPECT_EQ(s.ra.encoderOffset, 4242u);
    EXPECT_EQ(s.dec.encoderOffset, 77777u);
    EXPECT_EQ(s.reverseMotorBits, 0x01);
    EXPECT_EQ(s.motorExtraByte, 0x33);
    // What it reports is what it loaded.
    EXPECT_EQ(ask(restarted, frameCode(DeviceCommand::ReadEncoderFormat)),
              (Bytes{0x55, 9, 23, encoderFlagGray, 10, 24, 2, encoderFlagInvert, 11, 23, 0}));
}

TEST(Persistence, WithoutAStateFileEveryRestartIsFactoryFresh)
{
    {
        VirtualController c;
        transact(c, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 3, 5, 6));
        transact(c, frameByte(DeviceCommand::StoreParameters, 1));
        EXPECT_EQ(c.storedSettings().ra.encoderOffset, 5u);
    }
    VirtualController again;
    EXPECT_EQ(again.settings(), factorySettings());
}

TEST(Persistence, StateFileRoundTripsAndSurvivesDamage)
{
    ControllerSettings s = factorySettings();
    s.deviceId = 0xDEADBEEF;
    s.ra.microsteps = 4000000;
    s.dec.motorBytes[24] = 0xEE;
    s.dec.encoderFormat = {3, 0, 32, 7};
    ControllerSettings parsed;
    std::vector<std::string> problems;
    parseSettings(formatSettings(s), parsed, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(parsed, s);

    // A damaged file: good lines apply, bad ones are reported and skipped.
    ControllerSettings damaged = factorySettings();
    parseSettings("# comment\n"
                  "ra.gearRatio = 180\n"
                  "dec.microsteps=-5\n"
                  "deviceByte=256\n"
                  "ra.motorBytes=zz\n"
                  "colour=blue\n"
                  "no equals sign\n"
                  "dec.encoderOffset=0x10\r\n",
                  damaged, problems);
    EXPECT_EQ(damaged.ra.gearRatio, 180u);
    EXPECT_EQ(damaged.dec.encoderOffset, 16u);
    EXPECT_EQ(damaged.dec.microsteps, factorySettings().dec.microsteps);
    EXPECT_EQ(damaged.deviceByte, factorySettings().deviceByte);
    EXPECT_EQ(damaged.ra.motorBytes, factorySettings().ra.motorBytes);
    EXPECT_EQ(problems.size(), 5u);
}

TEST(Persistence, GeometryFromTheStateFileIsWhatTheControllerReports)
{
    TempDir dir;
    const std::string state = dir.file("geometry.state");
    std::ofstream(state) << "ra.microsteps=2400000\nra.baseSpeed=1200\n";
    VirtualController c(withState(state));
    const Bytes r = ask(c, frameCode(DeviceCommand::ReadAxisParameters));
    EXPECT_EQ(u32At(r, 9), 2400000u);
    EXPECT_EQ(u32At(r, 13), 1200u);
}

// The usual acknowledgement when the parameters were kept; when they were
// not, the same frame with one more byte, non-zero, and the earlier stored
// set (in the controller and on the disk) stays as it was.
TEST(Persistence, StoreReplySaysWhetherTheParametersWereKept)
{
    TempDir dir;
    const std::string directory = dir.file("a-directory");
    const Bytes stored{0x55, 0x01, 0x0D};
    const Bytes notStored{0x55, 0x02, 0x0D, 0x01};
    auto scripted = [](bool works) {
        auto store = std::make_shared<ScriptedStore>();
        store->saveWorks = works;
        return store;
    };
    const struct {
        const char* name;
        std::function<std::shared_ptr<StateStore>()> store;
        bool directoryAppears;   // at the state file's path, after the start
        Bytes reply;
    } cases[] = {
        {"no state file", [] { return std::shared_ptr<StateStore>(); }, false, stored},
        {"a writable file", [&] { return withState(dir.file("kv7.state")).stateStore; }, false, stored},
        {"a store that works", [&] { return scripted(true); }, false, stored},
        {"a store that fails", [&] { return scripted(false); }, false, notStored},
        {"a missing directory", [&] { return withState(dir.file("missing/kv7.state")).stateStore; }, false, notStored},
        // Refused even to root, who may write anywhere else.
        {"a directory in the file's place", [&] { return withState(directory).stateStore; }, true, notStored},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config;
        config.stateStore = c.store();
        VirtualController controller(config);
        ASSERT_TRUE(controller.stateError().empty()) << controller.stateError();
        if (c.directoryAppears)
            std::filesystem::create_directory(directory);
        transact(controller, framePositions(DeviceCommand::WriteEncoderCalibration, 1, 0x03, 4242, 77777));

        const std::vector<Bytes> replies = transact(controller, frameByte(DeviceCommand::StoreParameters, 1));
        ASSERT_EQ(replies.size(), 1u);
        EXPECT_EQ(replies[0], c.reply);
        const bool kept = c.reply == stored;
        EXPECT_EQ(controller.lastStoreSucceeded(), kept);
        EXPECT_EQ(controller.failedStores(), kept ? 0u : 1u);
        EXPECT_EQ(controller.lastStoreError().empty(), kept) << controller.lastStoreError();
        EXPECT_EQ(controller.storedSettings().ra.encoderOffset, kept ? 4242u : factorySettings().ra.encoderOffset);
    }
    EXPECT_TRUE(std::filesystem::is_directory(directory));
    EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

// A state the controller could not read may be anybody's data: it runs
// factory fresh, and refuses to store over it rather than destroy it.
TEST(Persistence, UnreadableStateIsNeverStoredOver)
{
    auto store = std::make_shared<ScriptedStore>();
    store->loadOutcome = StateStore::Loaded::Failed;
    SimConfig config;
    config.stateStore = store;
    VirtualController c(config);
    EXPECT_EQ(c.stateError(), "scripted: unreadable");
    EXPECT_EQ(c.settings(), factorySettings());

    EXPECT_EQ(ask(c, frameByte(DeviceCommand::StoreParameters, 1)), (Bytes{0x55, 0x02, 0x0D, 0x01}));
    EXPECT_EQ(store->saves, 0);
    EXPECT_NE(c.lastStoreError().find("scripted: unreadable"), std::string::npos) << c.lastStoreError();
}

// What the file store reads is bounded, so neither memory nor time grows
// with whatever the path names.
TEST(Persistence, StateFileLargerThanTheBoundIsRefused)
{
    TempDir dir;
    const struct {
        const char* name;
        std::uintmax_t size;
        StateStore::Loaded outcome;
    } cases[] = {
        {"at the bound", maxStateBytes, StateStore::Loaded::Text},
        {"a byte over", maxStateBytes + 1, StateStore::Loaded::Failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(std::string(c.name) + ".state");
        std::ofstream(path, std::ios::binary) << std::string(c.size, '#');
        ASSERT_EQ(std::filesystem::file_size(path), c.size);
        FileStateStore store(path);
        std::string text;
        std::string error;
        EXPECT_EQ(store.load(text, error), c.outcome) << error;
        if (c.outcome == StateStore::Loaded::Text) {
            EXPECT_EQ(text.size(), c.size);
        } else {
            EXPECT_NE(error.find(path), std::string::npos) << error;
        }
    }
}

TEST(Persistence, SavedTextIsWhatTheNextLoadReads)
{
    TempDir dir;
    const std::string path = dir.file("kv7.state");
    std::ofstream(path) << "old contents\n";
    FileStateStore store(path);
    std::string error;
    ASSERT_TRUE(store.save("ra.gearRatio=180\n", error)) << error;
    EXPECT_EQ(fileText(path), "ra.gearRatio=180\n");
    std::string text;
    EXPECT_EQ(store.load(text, error), StateStore::Loaded::Text);
    EXPECT_EQ(text, "ra.gearRatio=180\n");
    // Nothing but the file itself is left in the directory.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.file("")))
        ++entries;
    EXPECT_EQ(entries, 1);
}

}  // namespace
}  // namespace kv7::sim::test
