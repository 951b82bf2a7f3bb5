// The whole program minus the desktop: the Qt window, the real link with
// its heartbeat, and the built-in simulator behind port 0.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include <cmath>
#include <regex>
#include <vector>

#include "QtTestSupport.h"
#include "cli/CliTestDir.h"
#include "entry/Application.h"
#include "link/LinkTypes.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "platform/AtomicFile.h"
#include "sim/BuiltInSimulator.h"
#include "support/TestSupport.h"
#include "ui/ControlIds.h"
#include "ui/DlgMain.h"
#include "ui/SnapshotDialog.h"
#include "ui/WritePreviewDialog.h"

namespace kv7::test {
namespace {

constexpr int linkLimitMs = 20000;

Application::Options quickOptions(PortCatalog* catalog, const iUtcClock* clock)
{
    Application::Options options;
    options.catalog = catalog;
    options.clock = clock;
    options.settleMs = 20;
    return options;
}

class QtLinkTest : public ::testing::Test {
protected:
    QtLinkTest()
    {
        catalog.setSimulator(&simulator);
        dialog.setPortChoices(catalogPortChoices(catalog.entries()));
        app.attachFrontEnd(&dialog, &dialog);
        app.start();
        window = host.open(dialog);
    }

    // The link's threads must be gone before the window and DlgMain are.
    ~QtLinkTest() override { app.shutdown(); }

    bool statusShows(const char* status, int limitMs = linkLimitMs)
    {
        return waitUntil([&] { return text(*window, MainId::StatusLine) == status; }, limitMs);
    }

    // Simulated time runs fast, so a slew of half a turn takes well under a
    // second of the test's.
    static sim::HostOptions quickSimulator()
    {
        sim::HostOptions options;
        options.timeScale = 100.0;
        return options;
    }

    sim::BuiltInSimulator simulator{quickSimulator()};
    LinuxPortCatalog catalog{std::vector<std::string>{}};   // no real device: the simulator only
    FixedClock clock{UtcTime{2024, 3, 20, 21, 30, 0}};
    RecordingQtHost host;
    Application app{quickOptions(&catalog, &clock)};
    DlgMain dialog{&app.control(), &app.model(), &host};
    QtDialog* window = nullptr;
};

TEST_F(QtLinkTest, ConnectReadEncodersAndGotoBeyondTheMeridianAgainstTheSimulator)
{
    auto* ports = qobject_cast<QComboBox*>(window->control(MainId::PortList));
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(ports->currentText(), "Simulator") << "with no device the simulator is preselected";

    click(*window, MainId::Connect);
    ASSERT_TRUE(statusShows("Connection established."));
    for (int id : MainId::operatingControls)
        EXPECT_TRUE(window->control(id)->isEnabled()) << id;
    for (int id : {MainId::RaGearRatio, MainId::RaMicrosteps, MainId::RaBitsPerRevolution, MainId::RaEncoderResolution,
                   MainId::DecGearRatio, MainId::DecMicrosteps, MainId::DecBitsPerRevolution,
                   MainId::DecEncoderResolution, MainId::RaEncoderOffset, MainId::DecEncoderOffset})
        EXPECT_FALSE(text(*window, id).empty()) << id;
    EXPECT_NE(text(*window, MainId::RaMicrosteps), "0");

    click(*window, MainId::ReadEncoders);
    ASSERT_TRUE(waitUntil([&] { return !text(*window, MainId::DecEncoderDms).empty(); }, linkLimitMs));
    const std::regex number("[0-9]+");
    const std::regex dms("[+-][0-9]{2,3}:[0-5][0-9]:[0-5][0-9]");
    for (int id : {MainId::RaEncoderSystem, MainId::RaEncoderArcsec, MainId::DecEncoderSystem, MainId::DecEncoderArcsec})
        EXPECT_TRUE(std::regex_match(text(*window, id), number)) << id << ": " << text(*window, id);
    EXPECT_TRUE(std::regex_match(text(*window, MainId::RaEncoderDms), dms)) << text(*window, MainId::RaEncoderDms);
    EXPECT_TRUE(std::regex_match(text(*window, MainId::DecEncoderDms), dms)) << text(*window, MainId::DecEncoderDms);

    // The link starts east of the pier; a target one hour east of the
    // meridian lies beyond it and must be asked about.
    const double lst = std::fmod(std::fmod(app.model().localSiderealTime(), 24.0) + 24.0, 24.0);
    const int seconds = static_cast<int>((lst + 1.0) * 3600.0) % 86400;
    const QString ra = QString::asprintf("%02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60, seconds % 60);
    type(*window, MainId::TargetRa, ra);
    type(*window, MainId::TargetDec, "+10:00:00");
    bool asked = false;
    onNextModal([&](QtDialog& prompt) {
        asked = true;
        EXPECT_EQ(text(prompt, PromptId::Present), "East side: Scope looks to west.");
        EXPECT_EQ(text(prompt, PromptId::Optional), "Meridian flip recommended.");
        click(prompt, PromptId::WithFlip);
    });
    click(*window, MainId::Goto);
    ASSERT_TRUE(statusShows("Positioning"));
    EXPECT_TRUE(asked);

    app.shutdown();
    // With the threads stopped the link's state can be read: the answer
    // started the flip to the west side (or it has already arrived there).
    const std::int32_t pier = app.control().currentPierState();
    EXPECT_TRUE(pier == PierState::flippingToWest || pier == PierState::pierWest) << pier;
}

TEST_F(QtLinkTest, AFlipAgainstTheSimulatorNamesItselfOnTheStatusLineUntilItHasArrived)
{
    std::vector<std::string> shown;
    auto* statusLine = qobject_cast<QLineEdit*>(window->control(MainId::StatusLine));
    ASSERT_NE(statusLine, nullptr);
    EXPECT_EQ(statusLine->text(), "Not connected");
    QObject::connect(statusLine, &QLineEdit::textChanged, [&](const QString& t) { shown.push_back(t.toStdString()); });

    click(*window, MainId::Connect);
    ASSERT_TRUE(statusShows("Connection established."));
    EXPECT_EQ(text(*window, MainId::MessageLine), "Testing without using COM port.");
    shown.clear();
    click(*window, MainId::FlipWest);
    ASSERT_TRUE(statusShows("Ready"));
    EXPECT_EQ(shown, (std::vector<std::string>{"Meridian flip to the west side under way...", "Ready"}));
    app.shutdown();
    EXPECT_EQ(app.control().currentPierState(), PierState::pierWest);
}

// A snapshot saved from the window, the calibration changed after its
// preview, and the snapshot restored: written, confirmed by a reading, and
// read back over a new connection to the simulator.
TEST_F(QtLinkTest, ASnapshotRestoredFromTheWindowIsWrittenAndReadBackFromTheSimulator)
{
    cli::test::TestDir dir;
    host.file = dir.file("before.json");
    dialog.setFileAccess({atomicfile::readNamed, atomicfile::replace});
    click(*window, MainId::Connect);
    ASSERT_TRUE(statusShows("Connection established."));
    const std::string offset = text(*window, MainId::RaEncoderOffset);

    onNextModal([](QtDialog& snapshot) { click(snapshot, SnapshotId::Save); });
    click(*window, MainId::Snapshot);
    EXPECT_EQ(text(*window, MainId::MessageLine), "Snapshot saved: before.json");

    type(*window, MainId::RaEncoderOffset, "1234");
    onNextModal([](QtDialog& preview) { click(preview, PreviewId::Ok); });
    click(*window, MainId::EncoderCalibration);
    ASSERT_TRUE(statusShows("Encoder calibration parameters updated."));

    onNextModal([](QtDialog& snapshot) {
        onNextModal([](QtDialog& preview) { click(preview, PreviewId::Ok); });
        click(snapshot, SnapshotId::Restore);
    });
    click(*window, MainId::Snapshot);
    EXPECT_TRUE(waitUntil([&] { return text(*window, MainId::MessageLine) == "Snapshot restored and read back."; },
                          linkLimitMs))
        << text(*window, MainId::MessageLine);
    EXPECT_EQ(text(*window, MainId::RaEncoderOffset), offset);
}

}  // namespace
}  // namespace kv7::test
