// The main window's logic against a fake surface, a recording link and the
// real model, with notifications taking the posted road.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FakeDialogs.h"
#include "app/AppModel.h"
#include "app/Codes.h"
#include "app/StatusText.h"
#include "app/UserSettings.h"
#include "astro/TextConvert.h"
#include "support/TestSupport.h"
#include "ui/Branding.h"
#include "ui/CommissioningDialog.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/DlgMain.h"
#include "ui/FieldText.h"
#include "ui/SnapshotDialog.h"
#include "ui/WritePreviewDialog.h"

namespace kv7::test {
namespace {

using Calls = std::vector<std::string>;

// What the Windows catalogue lists: COM1 to COM255, then the simulator.
std::vector<PortEntry> windowsCatalogEntries()
{
    std::vector<PortEntry> entries;
    for (std::uint32_t n = 1; n <= 255; ++n)
        entries.push_back({n, "COM" + std::to_string(n), "\\\\.\\COM" + std::to_string(n), "", false});
    entries.push_back({0, "Simulator", "", "Built-in virtual KV7 controller", false});
    return entries;
}

class MainDialogTest : public ::testing::Test {
protected:
    MainDialogTest()
    {
        model.setControl(&control);
        model.setSender(&dialog);
        model.setMainDialog(&dialog);
    }

    void open(PortChoices ports = comPortChoices(windowsCatalogEntries()))
    {
        dialog.setPortChoices(std::move(ports));
        EXPECT_TRUE(dialog.onInit(window));
    }

    // The user-interface thread's share of a notification: what the link
    // posted reaches the model's dispatcher.
    void deliver()
    {
        const auto posted = std::move(window.posted);
        window.posted.clear();
        for (const auto& [code, value] : posted)
            dialog.onUserMessage(code, value);
    }

    void connectWith(const ControllerParameters& p, const AxisConfiguration& a, std::uint32_t status = 3)
    {
        model.onConfiguration(status, 1, p, a);
        deliver();
    }

    bool click(int id) { return window.click(dialog, id); }

    // For the tests of what a write sends: the operator turned the preview off.
    void previewOff()
    {
        store.text = "[writes]\npreview=off\n";
        dialog.setOptionsStore(&store);
    }

    void enableControls()
    {
        connectWith(ControllerParameters{}, AxisConfiguration{});
        control.calls.clear();
    }

    // The answer to the reading out: both parts of the record filled.
    void answer()
    {
        MountState m;
        m.valid = 1;
        m.axesValid = 1;
        model.onMountState(m);
        deliver();
    }

    // n runs of the window's timer.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i)
            dialog.onTimer(window);
    }

    std::string lst()
    {
        char text[64];
        formatSiderealTime(model.localSiderealTime(), text);
        return text;
    }

    RecordingControl control;
    MemorySettingsStore store;
    FixedClock clock{UtcTime{2024, 3, 20, 21, 30, 0}};
    AppModel model{&clock};
    FakeHost host;
    DlgMain dialog{&control, &model, &host};
    FakeSurface window{mainDialogLayout()};
};

TEST_F(MainDialogTest, OpensWithOperatingControlsDisabledTrackOffSpeedTenAndArrows)
{
    open();
    for (int id : MainId::operatingControls)
        EXPECT_FALSE(window.at(id).enabled) << id;
    for (int id : {MainId::Connect, MainId::Disconnect, MainId::About, MainId::SaveIntoKv7, MainId::RaAdjust,
                   MainId::TimeGet, MainId::GetState})
        EXPECT_TRUE(window.at(id).enabled) << id;
    EXPECT_TRUE(window.at(MainId::TrackOff).checked);
    EXPECT_FALSE(window.at(MainId::TrackOn).checked);
    EXPECT_EQ(window.at(MainId::Speed).sliderMin, 0);
    EXPECT_EQ(window.at(MainId::Speed).sliderMax, 31);
    EXPECT_EQ(window.sliderPosition(MainId::Speed), 10);
    EXPECT_EQ(window.at(MainId::North).image, ArrowImage::Up);
    EXPECT_EQ(window.at(MainId::South).image, ArrowImage::Down);
    EXPECT_EQ(window.at(MainId::East).image, ArrowImage::Left);
    EXPECT_EQ(window.at(MainId::West).image, ArrowImage::Right);
    EXPECT_EQ(window.text(MainId::StatusLine), "Not connected");
    EXPECT_EQ(std::string(mainDialogLayout().caption),
              std::string("TN2,WB6 Encoder setup 1.0 beta 1. (") + makerWebAddress + ")");
}

TEST_F(MainDialogTest, WindowsPortListEndsWithTheSimulatorWhereComTwoFiftySixWouldBe)
{
    open();
    const auto& list = window.at(MainId::PortList).list;
    ASSERT_EQ(list.size(), 256u);
    EXPECT_EQ(list.front(), "COM1");
    EXPECT_EQ(list[254], "COM255");
    EXPECT_EQ(list.back(), "Simulator");
    // No COM port exists on this machine: the simulator is preselected.
    EXPECT_EQ(window.selectedListEntry(MainId::PortList), 255);

    EXPECT_TRUE(click(MainId::Connect));
    window.selectListEntry(MainId::PortList, 4);
    window.setCheck(MainId::Baud115200, true);
    click(MainId::Connect);
    window.selectListEntry(MainId::PortList, 0);
    window.setCheck(MainId::Baud115200, false);
    click(MainId::Connect);
    EXPECT_EQ(control.calls, (Calls{"connect 0 9600", "connect 5 115200", "connect 1 9600"}));
}

TEST_F(MainDialogTest, WindowsPortsThatExistNameTheirDeviceAndTheFirstIsPreselected)
{
    std::vector<PortEntry> entries = windowsCatalogEntries();
    entries[2].description = "Serial0";     // COM3
    entries[6].description = "USBSER000";   // COM7
    open(comPortChoices(entries));
    const auto& list = window.at(MainId::PortList).list;
    ASSERT_EQ(list.size(), 256u);
    EXPECT_EQ(list[1], "COM2");
    EXPECT_EQ(list[2], "COM3 - Serial0");
    EXPECT_EQ(list[6], "COM7 - USBSER000");
    EXPECT_EQ(list.back(), "Simulator");
    EXPECT_EQ(window.selectedListEntry(MainId::PortList), 2);
    click(MainId::Connect);
    EXPECT_EQ(control.calls, (Calls{"connect 3 9600"}));
}

TEST_F(MainDialogTest, CataloguePortListOffersDevicesThenSimulatorAndConnectSendsTheirNumbers)
{
    std::vector<PortEntry> entries = {
        {0, "Simulator", "", "", false},
        {1, "ttyS0", "/dev/ttyS0", "", false},
        {2, "ttyUSB0", "/dev/ttyUSB0", "FTDI FT232R", true},
    };
    open(catalogPortChoices(entries));
    EXPECT_EQ(window.at(MainId::PortList).list,
              (std::vector<std::string>{"ttyS0", "ttyUSB0 (FTDI FT232R)", "Simulator"}));
    EXPECT_EQ(window.selectedListEntry(MainId::PortList), 1);   // the adapter, not the built-in port
    window.selectListEntry(MainId::PortList, 0);
    click(MainId::Connect);
    window.selectListEntry(MainId::PortList, 1);
    click(MainId::Connect);
    window.selectListEntry(MainId::PortList, 2);
    click(MainId::Connect);
    EXPECT_EQ(control.calls, (Calls{"connect 1 9600", "connect 2 9600", "connect 0 9600"}));

    // With no adapter at all the operator need not pick anything.
    for (const auto& only : {std::vector<PortEntry>{}, std::vector<PortEntry>{{1, "ttyS0", "/dev/ttyS0", "", false}}}) {
        FakeSurface bare(mainDialogLayout());
        DlgMain other(&control, &model, &host);
        other.setPortChoices(catalogPortChoices(only));
        other.onInit(bare);
        EXPECT_EQ(bare.at(MainId::PortList).list.back(), "Simulator");
        EXPECT_EQ(bare.selectedListEntry(MainId::PortList), static_cast<int>(only.size()));
    }
}

TEST_F(MainDialogTest, PostedMessagesAreDroppedBeforeTheWindowExistsAndRouteThroughItAfter)
{
    model.onStatus(3);
    EXPECT_TRUE(window.posted.empty());
    open();
    model.onStatus(7);
    model.onMountState(MountState{});
    EXPECT_EQ(window.posted, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{10, 7}, {13, 0}}));
}

TEST_F(MainDialogTest, StatusLineShowsKnownCodesAndKeepsItsTextForUnknownOnes)
{
    open();
    model.onStatus(7);
    deliver();
    EXPECT_EQ(window.text(MainId::StatusLine), "Error: Cannot connect to device.");
    model.onStatus(statusCount);   // the first code without a text
    deliver();
    EXPECT_EQ(window.text(MainId::StatusLine), "Error: Cannot connect to device.");
}

TEST_F(MainDialogTest, AnErrorOnTheStatusLineGivesWayToTheNextSuccessAndANewErrorAlwaysShows)
{
    MountState reading;
    reading.valid = 1;
    MountState stale;
    stale.valid = 0;
    struct Event {
        enum Kind { Status, Configuration, Reading, StaleReading } kind;
        std::uint16_t status = 0;
    };
    struct Case {
        const char* name;
        std::vector<Event> events;
        const char* shown;
    };
    using E = Event;
    const Case cases[] = {
        {"a reading after a refused connect", {{E::Status, 3}, {E::Status, 11}, {E::Reading}},
         "Connection established."},
        {"a reading after a refused GOTO", {{E::Status, 15}, {E::Status, 23}, {E::Reading}}, "Positioning"},
        {"a configuration whose status has no text", {{E::Status, 3}, {E::Status, 10}, {E::Configuration, statusCount}},
         "Connection established."},
        {"a non-error status", {{E::Status, 3}, {E::Status, 21}, {E::Status, 13}}, "Ready"},
        {"an error with no success before it", {{E::Status, 6}, {E::Reading}}, "Not connected"},
        {"a stale reading is no success", {{E::Status, 3}, {E::Status, 21}, {E::StaleReading}},
         "Error: No reply from the controller."},
        {"a new error after a success", {{E::Status, 11}, {E::Reading}, {E::Status, 18}}, "Error: Connection lost."},
        {"an error a configuration brings", {{E::Status, 3}, {E::Configuration, 22}}, "Error: Parameters not stored."},
        {"an error after an error", {{E::Status, 3}, {E::Status, 11}, {E::Status, 20}},
         "Error: Port closed before every command was sent."},
        {"a success text of its own is not replaced", {{E::Status, 3}, {E::Status, 16}, {E::Reading}},
         "Encoder calibration parameters updated."},
    };
    for (const Case& c : cases) {
        FakeSurface surface(mainDialogLayout());
        AppModel caseModel(&clock);
        DlgMain caseDialog(&control, &caseModel, &host);
        caseModel.setSender(&caseDialog);
        caseModel.setMainDialog(&caseDialog);
        caseDialog.onInit(surface);
        for (const Event& e : c.events) {
            switch (e.kind) {
            case E::Status: caseModel.onStatus(e.status); break;
            case E::Configuration:
                caseModel.onConfiguration(e.status, 1, ControllerParameters{}, AxisConfiguration{});
                break;
            case E::Reading: caseModel.onMountState(reading); break;
            case E::StaleReading: caseModel.onMountState(stale); break;
            }
            for (const auto& [code, value] : surface.posted)
                caseDialog.onUserMessage(code, value);
            surface.posted.clear();
        }
        EXPECT_EQ(surface.text(MainId::StatusLine), c.shown) << c.name;
    }
}

TEST_F(MainDialogTest, ConfigurationEnablesControlsForGoodAndFillsTheFields)
{
    open();
    ControllerParameters p;
    p.raGearRatio = 144;
    p.decGearRatio = 180;
    p.raMicrosteps = 2000000;
    p.decMicrosteps = 1000000;
    p.reverseMotorBits = 2;
    AxisConfiguration a;
    a.encoderFormat.raBitsPerRevolution = 32;
    a.encoderFormat.decBitsPerRevolution = 24;
    a.raEncoderResolution = 4294967296u;
    a.decEncoderResolution = 16777216;
    a.raEncoderOffset = 4000000000u;
    a.decEncoderOffset = 77;
    a.reverseEncoderBits = 3;
    connectWith(p, a);

    for (int id : MainId::operatingControls)
        EXPECT_TRUE(window.at(id).enabled) << id;
    EXPECT_EQ(window.text(MainId::StatusLine), "Connection established.");
    EXPECT_EQ(window.text(MainId::RaGearRatio), "144");
    EXPECT_EQ(window.text(MainId::DecGearRatio), "180");
    EXPECT_EQ(window.text(MainId::RaMicrosteps), "2000000");
    EXPECT_EQ(window.text(MainId::DecMicrosteps), "1000000");
    EXPECT_EQ(window.text(MainId::RaBitsPerRevolution), "32");
    // A full 32-bit turn, not its low half (0).
    EXPECT_EQ(window.text(MainId::RaEncoderResolution), "4294967296");
    EXPECT_EQ(window.text(MainId::DecBitsPerRevolution), "24");
    EXPECT_EQ(window.text(MainId::DecEncoderResolution), "16777216");
    EXPECT_EQ(window.text(MainId::RaEncoderOffset), "4000000000");
    EXPECT_EQ(window.text(MainId::DecEncoderOffset), "77");
    EXPECT_FALSE(window.at(MainId::RaReverseMotor).checked);
    EXPECT_TRUE(window.at(MainId::DecReverseMotor).checked);
    EXPECT_TRUE(window.at(MainId::RaReverseEncoder).checked);
    EXPECT_TRUE(window.at(MainId::DecReverseEncoder).checked);

    // A status beyond the table still refreshes everything but the status line;
    // a closed connection does not disable the controls again.
    p.raGearRatio = 90;
    connectWith(p, a, statusCount);
    EXPECT_EQ(window.text(MainId::StatusLine), "Connection established.");
    EXPECT_EQ(window.text(MainId::RaGearRatio), "90");
    model.onStatus(4);
    deliver();
    for (int id : MainId::operatingControls)
        EXPECT_TRUE(window.at(id).enabled) << id;
}

TEST_F(MainDialogTest, MountStateShowsOnlyValidReadings)
{
    open();
    MountState m;
    m.valid = 1;
    m.raEncoderPosition = 16777216;
    m.raEncoderArcsec = 0;
    m.decEncoderPosition = 1234;
    m.decEncoderArcsec = 3723;
    model.onMountState(m);
    deliver();
    EXPECT_EQ(window.text(MainId::RaEncoderSystem), "16777216");
    EXPECT_EQ(window.text(MainId::RaEncoderArcsec), "0");
    EXPECT_EQ(window.text(MainId::RaEncoderDms), "+00:00:00");
    EXPECT_EQ(window.text(MainId::DecEncoderSystem), "1234");
    EXPECT_EQ(window.text(MainId::DecEncoderArcsec), "3723");
    EXPECT_EQ(window.text(MainId::DecEncoderDms), "+01:02:03");

    for (std::uint8_t valid : {0, 2}) {
        MountState stale;
        stale.valid = valid;
        stale.raEncoderPosition = 99;
        stale.decEncoderArcsec = 99;
        model.onMountState(stale);
        deliver();
        EXPECT_EQ(window.text(MainId::RaEncoderSystem), "16777216");
        EXPECT_EQ(window.text(MainId::DecEncoderArcsec), "3723");
        EXPECT_EQ(window.text(MainId::DecEncoderDms), "+01:02:03");
    }
}

TEST_F(MainDialogTest, HandPadSendsDirectionAndSliderSpeedAndStopAlwaysStopsBothAxes)
{
    open();
    enableControls();
    window.setSliderPosition(MainId::Speed, 0);
    click(MainId::North);
    click(MainId::South);
    click(MainId::West);
    click(MainId::East);
    window.setSliderPosition(MainId::Speed, 31);
    click(MainId::North);
    click(MainId::Stop);
    EXPECT_EQ(control.calls, (Calls{"manualMove 0 0", "manualMove 1 0", "manualMove 2 0", "manualMove 3 0",
                                    "manualMove 0 31", "stopMotion 4"}));
}

TEST_F(MainDialogTest, ByDefaultPressingAndLettingGoSendNothingAndTheClickMoves)
{
    open();
    enableControls();
    EXPECT_FALSE(window.at(MainId::HoldToMove).checked);
    dialog.onPress(window, MainId::North);
    dialog.onRelease(window, MainId::North);
    EXPECT_TRUE(control.calls.empty());
    click(MainId::North);
    EXPECT_EQ(control.calls, (Calls{"manualMove 0 10"}));
}

TEST_F(MainDialogTest, WithHoldTickedTheMountMovesWhileAButtonIsDownAndItsAxisStopsWhenItComesUp)
{
    struct Case {
        int id;
        const char* move;
        const char* stop;
    };
    const Case cases[] = {
        {MainId::North, "manualMove 0 10", "stopMotion 0"},
        {MainId::South, "manualMove 1 10", "stopMotion 1"},
        {MainId::West, "manualMove 2 10", "stopMotion 2"},
        {MainId::East, "manualMove 3 10", "stopMotion 3"},
    };
    open();
    enableControls();
    click(MainId::HoldToMove);
    for (const Case& c : cases) {
        control.calls.clear();
        dialog.onPress(window, c.id);
        EXPECT_EQ(control.calls, (Calls{c.move})) << c.id;
        // Let go (or the focus gone): the axis stops; the click that follows
        // a release over the button sends nothing more.
        dialog.onRelease(window, c.id);
        click(c.id);
        EXPECT_EQ(control.calls, (Calls{c.move, c.stop})) << c.id;
        // A release without a press (the focus leaving an idle button) is nothing.
        dialog.onRelease(window, c.id);
        EXPECT_EQ(control.calls.size(), 2u) << c.id;
    }
    dialog.onPress(window, MainId::Stop);
    EXPECT_EQ(control.calls.size(), 2u);
}

TEST_F(MainDialogTest, TheHoldOptionIsKeptForTheNextStart)
{
    dialog.setOptionsStore(&store);
    open();
    click(MainId::HoldToMove);
    EXPECT_NE(store.text.find("move=hold"), std::string::npos) << store.text;

    FakeSurface next(mainDialogLayout());
    DlgMain restarted(&control, &model, &host);
    restarted.setOptionsStore(&store);
    restarted.onInit(next);
    EXPECT_TRUE(next.at(MainId::HoldToMove).checked);
    next.click(restarted, MainId::HoldToMove);
    EXPECT_NE(store.text.find("move=click"), std::string::npos) << store.text;

    // Without a readable store, or with text it does not know, clicks move.
    for (const char* text : {"", "[hand-pad]\nmove=sideways\n", "[site]\nmove=hold\n"}) {
        store.text = text;
        DlgMain fresh(&control, &model, &host);
        fresh.setOptionsStore(&store);
        FakeSurface surface(mainDialogLayout());
        fresh.onInit(surface);
        EXPECT_FALSE(surface.at(MainId::HoldToMove).checked) << text;
    }
}

TEST_F(MainDialogTest, AnOptionThatCannotBeKeptStillHoldsAndTheLineSaysSo)
{
    store.saveError = "disk full";
    dialog.setOptionsStore(&store);
    open();
    enableControls();
    click(MainId::HoldToMove);
    EXPECT_EQ(window.text(MainId::MessageLine), "Option not kept for the next start");
    dialog.onPress(window, MainId::West);
    EXPECT_EQ(control.calls, (Calls{"manualMove 2 10"}));
}

TEST_F(MainDialogTest, MotorReversalSendsBothAxesWithTheControllersExtraByte)
{
    previewOff();
    open();
    ControllerParameters p;
    p.motorExtraByte = 0x5A;
    connectWith(p, AxisConfiguration{});
    control.calls.clear();
    click(MainId::DecReverseMotor);
    click(MainId::RaReverseMotor);
    click(MainId::DecReverseMotor);
    click(MainId::RaReverseMotor);
    EXPECT_EQ(control.calls, (Calls{"setMotorReversal 2 90", "setMotorReversal 3 90", "setMotorReversal 1 90",
                                    "setMotorReversal 0 90"}));
}

// What the preview dialog listed, row by row, and how it was answered.
struct PreviewSeen {
    std::string heading;
    std::vector<std::string> rows;   // "field now after"
};

FakeHost::Script answerPreview(PreviewSeen& seen, int button, bool keepPreviewing = true)
{
    return [&seen, button, keepPreviewing](FakeSurface& preview, iDialogHandler& handler) {
        seen.heading = preview.text(PreviewId::Heading);
        for (int row = 0; row < static_cast<int>(PreviewId::rows) && !preview.text(PreviewId::FieldFirst + row).empty();
             ++row)
            seen.rows.push_back(preview.text(PreviewId::FieldFirst + row) + " " + preview.text(PreviewId::NowFirst + row) +
                                " " + preview.text(PreviewId::AfterFirst + row));
        if (!keepPreviewing)
            preview.click(handler, PreviewId::KeepPreviewing);
        preview.click(handler, button);
    };
}

TEST_F(MainDialogTest, EachWriteShowsWhatChangesAndIsSentOnlyWhenTheOperatorSaysWrite)
{
    struct Case {
        const char* name;
        std::function<void()> prepare;
        int button;
        const char* row;
        const char* sent;
        int unchangedField;          // shows what the controller holds after a Cancel
        const char* unchangedText;
    };
    const Case cases[] = {
        {"encoder setup",
         [this] {
             host.expect([](FakeSurface& setup, iDialogHandler& handler) {
                 setup.type(EncoderSetupId::RaBitsPerRevolution, "24");
                 setup.click(handler, EncoderSetupId::Ok);
             });
         },
         MainId::EncoderSetup, "encoderFormat.raBitsPerRevolution 25 24", "setEncoderFormat 0 12 24 0 0 12 25 0",
         MainId::RaBitsPerRevolution, "25"},
        {"calibration", [this] { window.type(MainId::DecEncoderOffset, "1000"); }, MainId::EncoderCalibration,
         "encoderCalibration.decEncoderOffset 0 1000", "setEncoderCalibration 0 0 1000", MainId::MessageLine,
         "Nothing was sent."},
        {"motor reversal", [] {}, MainId::DecReverseMotor, "motor.reverseMotorBits 0 2", "setMotorReversal 2 0",
         MainId::DecReverseMotor, ""},
    };
    for (const Case& c : cases) {
        for (const int answer : {PreviewId::Cancel, PreviewId::Ok}) {
            open();
            enableControls();
            PreviewSeen seen;
            c.prepare();
            host.expect(answerPreview(seen, answer));
            click(c.button);
            EXPECT_EQ(seen.rows, (std::vector<std::string>{c.row})) << c.name;
            if (answer == PreviewId::Ok) {
                EXPECT_EQ(control.calls, (Calls{c.sent})) << c.name;
                continue;
            }
            EXPECT_TRUE(control.calls.empty()) << c.name;
            if (c.unchangedField == MainId::DecReverseMotor)
                EXPECT_FALSE(window.at(MainId::DecReverseMotor).checked) << c.name;
            else
                EXPECT_EQ(window.text(c.unchangedField), c.unchangedText) << c.name;
        }
    }
}

TEST_F(MainDialogTest, SaveIntoKv7ShowsEveryChangeSinceConnectAndTheOptionToStopPreviewingIsKept)
{
    dialog.setOptionsStore(&store);
    open();
    enableControls();
    // Nothing changed since connect: nothing to preview.
    click(MainId::SaveIntoKv7);
    EXPECT_EQ(control.calls, (Calls{"storeParameters"}));

    PreviewSeen write;
    host.expect(answerPreview(write, PreviewId::Ok));
    click(MainId::RaReverseMotor);
    PreviewSeen cancelled;
    host.expect(answerPreview(cancelled, PreviewId::Cancel));
    click(MainId::SaveIntoKv7);
    EXPECT_EQ(cancelled.rows, (std::vector<std::string>{"motor.reverseMotorBits 0 1"}));
    EXPECT_EQ(control.calls, (Calls{"storeParameters", "setMotorReversal 1 0"}));

    // Unticked, the box turns the preview off for this write and the next start.
    PreviewSeen last;
    host.expect(answerPreview(last, PreviewId::Ok, false));
    click(MainId::SaveIntoKv7);
    EXPECT_EQ(control.calls.back(), "storeParameters");
    EXPECT_NE(store.text.find("preview=off"), std::string::npos) << store.text;
    click(MainId::RaReverseMotor);
    EXPECT_EQ(control.calls.back(), "setMotorReversal 0 0");
    EXPECT_EQ(host.captions.size(), 3u);
}

// Snapshot files kept in memory, read and written as the window does.
struct MemoryFiles {
    std::map<std::string, std::string> files;
    FileAccess access()
    {
        return {[this](const std::string& path, std::size_t, std::string& text, std::string& error) {
                    const auto it = files.find(path);
                    if (it == files.end())
                        error = "no such file";
                    else
                        text = it->second;
                    return it != files.end();
                },
                [this](const std::string& path, const std::string& text, std::string&) {
                    files[path] = text;
                    return true;
                }};
    }
};

FakeHost::Script pressInSnapshotDialog(int id)
{
    return [id](FakeSurface& snapshot, iDialogHandler& handler) { snapshot.click(handler, id); };
}

TEST_F(MainDialogTest, ASnapshotSavedFromTheWindowIsRestoredAfterThePreviewAndReadBack)
{
    MemoryFiles disk;
    dialog.setFileAccess(disk.access());
    open();
    ControllerParameters p;
    p.motorExtraByte = 16;
    AxisConfiguration a;
    connectWith(p, a);
    host.expect(pressInSnapshotDialog(SnapshotId::Save));
    host.files = {"/field/before.json"};
    click(MainId::Snapshot);
    EXPECT_EQ(window.text(MainId::MessageLine), "Snapshot saved: before.json");
    ASSERT_NE(disk.files["/field/before.json"].find("\"kv7-configuration\""), std::string::npos);

    // Changed since (read again at a reconnect), then put back.
    ControllerParameters changedP = p;
    changedP.reverseMotorBits = 2;
    AxisConfiguration changedA = a;
    changedA.raEncoderOffset = 1000;
    connectWith(changedP, changedA);
    control.calls.clear();
    PreviewSeen seen;
    host.expect(pressInSnapshotDialog(SnapshotId::Restore));
    host.expect(answerPreview(seen, PreviewId::Ok));
    host.files = {"/field/before.json"};
    click(MainId::Snapshot);
    EXPECT_EQ(seen.rows, (std::vector<std::string>{"encoderCalibration.raEncoderOffset 1000 0", "motor.reverseMotorBits 2 0"}));
    EXPECT_EQ(control.calls, (Calls{"setEncoderCalibration 0 0 0", "setMotorReversal 0 16", "readEncoders 3"}));
    // The reading answered means the controller took the writes: read back.
    answer();
    EXPECT_EQ(control.calls.back(), "connect 0 9600");

    struct Case {
        const char* name;
        ControllerParameters readBack;
        const char* said;
    };
    const Case cases[] = {{"as written", p, "Snapshot restored and read back."},
                          {"not taken", changedP, "Restore not verified: motor.reverseMotorBits"}};
    for (const Case& c : cases) {
        if (&c != cases) {
            host.expect(pressInSnapshotDialog(SnapshotId::Restore));
            host.expect(answerPreview(seen, PreviewId::Ok));
            host.files = {"/field/before.json"};
            connectWith(changedP, a);
            click(MainId::Snapshot);
            answer();
        }
        connectWith(c.readBack, a);
        EXPECT_EQ(window.text(MainId::MessageLine), c.said) << c.name;
    }
}

TEST_F(MainDialogTest, ASnapshotThatCannotBeUsedHereWritesNothing)
{
    MemoryFiles disk;
    dialog.setFileAccess(disk.access());
    open();
    ControllerParameters p;
    p.deviceId = 459267;
    connectWith(p, AxisConfiguration{});
    host.expect(pressInSnapshotDialog(SnapshotId::Save));
    host.files = {"good.json"};
    click(MainId::Snapshot);
    const std::string good = disk.files["good.json"];
    auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    struct Case {
        const char* name;
        std::string text;
        const char* said;
    };
    const Case cases[] = {
        {"missing", "", "Not restored: no such file"},
        {"another model", edited("\"deviceId\": 459267", "\"deviceId\": 1"), "Not restored: the file was saved from another controller model"},
        {"a corrupt field", edited("\"raFlags\": 0", "\"raFlags\": 9"), "Not restored: line "},
        {"the same", good, "The controller holds the snapshot already."},
    };
    for (const Case& c : cases) {
        control.calls.clear();
        disk.files.erase("other.json");
        if (!c.text.empty())
            disk.files["other.json"] = c.text;
        host.expect(pressInSnapshotDialog(SnapshotId::Restore));
        host.files = {"other.json"};
        click(MainId::Snapshot);
        EXPECT_TRUE(control.calls.empty()) << c.name;
        EXPECT_EQ(window.text(MainId::MessageLine).rfind(c.said, 0), 0u) << c.name << ": " << window.text(MainId::MessageLine);
    }
    // The dialog's box is the preview option, kept for the next start.
    host.expect([](FakeSurface& snapshot, iDialogHandler& handler) {
        snapshot.click(handler, SnapshotId::PreviewWrites);
        snapshot.click(handler, SnapshotId::Close);
    });
    dialog.setOptionsStore(&store);
    click(MainId::Snapshot);
    EXPECT_NE(store.text.find("preview=off"), std::string::npos) << store.text;
}

TEST_F(MainDialogTest, EncoderCalibrationSendsBitsAndOffsetsButNeverAnUnreadableOffset)
{
    previewOff();
    open();
    enableControls();
    window.setCheck(MainId::RaReverseEncoder, true);
    window.setCheck(MainId::DecReverseEncoder, false);
    window.type(MainId::RaEncoderOffset, "1000");
    window.type(MainId::DecEncoderOffset, "abc");
    click(MainId::EncoderCalibration);
    EXPECT_TRUE(control.calls.empty()) << "an unreadable offset would reach the controller as 0";
    EXPECT_EQ(window.text(MainId::MessageLine), "Not sent: Dec offset is not a number");

    window.type(MainId::RaEncoderOffset, "");
    window.type(MainId::DecEncoderOffset, "0");
    click(MainId::EncoderCalibration);
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(window.text(MainId::MessageLine), "Not sent: RA offset is not a number");

    window.type(MainId::RaEncoderOffset, " 1000 ");
    window.setCheck(MainId::DecReverseEncoder, true);
    window.type(MainId::DecEncoderOffset, "4294967295");
    click(MainId::EncoderCalibration);
    EXPECT_EQ(control.calls, (Calls{"setEncoderCalibration 3 1000 4294967295"}));
    EXPECT_EQ(window.text(MainId::MessageLine), "");
}

TEST_F(MainDialogTest, GotoAndSyncSendTheTypedTargetAndRefuseTextsThatAreNotPositions)
{
    open();
    enableControls();
    window.type(MainId::TargetRa, "12:30:00");
    window.type(MainId::TargetDec, "-10:30:00");
    click(MainId::Goto);
    EXPECT_EQ(control.calls, (Calls{"gotoTarget 675000 -37800"}));
    EXPECT_EQ(dialog.currentTargetRa(), 675000u);
    EXPECT_EQ(dialog.currentTargetDec(), -37800);

    window.type(MainId::TargetRa, "23:59:59");
    window.type(MainId::TargetDec, "+90");
    click(MainId::SyncToTarget);
    EXPECT_EQ(control.calls.back(), "syncToTarget 1295985 324000");

    // Texts that would have slewed the mount somewhere nobody typed (the
    // full set is in FieldTextTest): nothing is sent, the reason is shown.
    const std::size_t sent = control.calls.size();
    window.type(MainId::TargetRa, "");
    window.type(MainId::TargetDec, "");
    click(MainId::Goto);
    EXPECT_EQ(window.text(MainId::MessageLine), "Target not sent: RA not hh:mm:ss");
    window.type(MainId::TargetRa, "12:00");
    window.type(MainId::TargetDec, "300");
    click(MainId::SyncToTarget);
    EXPECT_EQ(window.text(MainId::MessageLine), "Target not sent: Dec out of range");
    EXPECT_EQ(control.calls.size(), sent);
    EXPECT_EQ(dialog.currentTargetRa(), 1295985u);

    window.type(MainId::TargetRa, " 5:3:7 ");
    window.type(MainId::TargetDec, "-0:30");
    click(MainId::Goto);
    EXPECT_EQ(control.calls.back(), "gotoTarget 272805 -1800");
    EXPECT_EQ(window.text(MainId::MessageLine), "");
}

TEST_F(MainDialogTest, TrackingAndReferenceButtonsRecordTheLastClickAndResendEveryTime)
{
    open();
    enableControls();
    click(MainId::TrackOn);
    EXPECT_TRUE(window.at(MainId::TrackOn).checked);
    EXPECT_FALSE(window.at(MainId::TrackOff).checked);
    click(MainId::TrackOn);
    click(MainId::TrackOff);
    EXPECT_FALSE(window.at(MainId::TrackOn).checked);
    EXPECT_TRUE(window.at(MainId::TrackOff).checked);

    click(MainId::SetWest);
    EXPECT_FALSE(window.at(MainId::SetEast).checked);
    EXPECT_TRUE(window.at(MainId::SetWest).checked);
    click(MainId::SetEast);
    EXPECT_TRUE(window.at(MainId::SetEast).checked);
    EXPECT_FALSE(window.at(MainId::SetWest).checked);

    click(MainId::FlipEast);
    click(MainId::FlipWest);
    EXPECT_FALSE(window.at(MainId::FlipEast).checked);
    EXPECT_FALSE(window.at(MainId::FlipWest).checked);
    click(MainId::SaveIntoKv7);
    click(MainId::ReadEncoders);
    click(MainId::Disconnect);
    EXPECT_EQ(control.calls, (Calls{"setTracking 1", "setTracking 1", "setTracking 0", "pierSideAction 3",
                                    "pierSideAction 1", "pierSideAction 2", "pierSideAction 4", "storeParameters",
                                    "readEncoders 0", "disconnect"}));
}

TEST_F(MainDialogTest, FlipsAndReferencePositionsNameWhatRunsUntilTheLinkSaysMore)
{
    struct Case {
        int id;
        const char* whileRunning;
    };
    const Case cases[] = {
        {MainId::FlipEast, "Meridian flip to the east side under way..."},
        {MainId::FlipWest, "Meridian flip to the west side under way..."},
        {MainId::SetEast, "Reference position set: east side of the pier."},
        {MainId::SetWest, "Reference position set: west side of the pier."},
    };
    open();
    enableControls();
    for (const Case& c : cases) {
        model.onStatus(Status::Ready);
        deliver();
        click(c.id);
        EXPECT_EQ(window.text(MainId::StatusLine), c.whileRunning) << c.id;
        // Whatever the link reports next, an arrival or a refusal, follows it.
        model.onStatus(Status::BusyPositioning);
        deliver();
        EXPECT_EQ(window.text(MainId::StatusLine), "Error: Busy positioning; wait for Ready.") << c.id;
    }
}

TEST_F(MainDialogTest, TheSimulatorNoteOutlivesTheConnectStatusesAndGoesWithTheConnection)
{
    open();
    for (std::uint32_t status : {Status::TestingWithoutPort, Status::Connecting})
        model.onStatus(status);
    deliver();
    EXPECT_EQ(window.text(MainId::StatusLine), "Connecting...");
    EXPECT_EQ(window.text(MainId::MessageLine), "Testing without using COM port.");

    // A refused target takes the field for a while; the note comes back.
    enableControls();
    window.type(MainId::TargetRa, "nonsense");
    click(MainId::Goto);
    EXPECT_NE(window.text(MainId::MessageLine), "Testing without using COM port.");
    window.type(MainId::TargetRa, "12:00:00");
    window.type(MainId::TargetDec, "+10:00:00");
    click(MainId::Goto);
    EXPECT_EQ(window.text(MainId::MessageLine), "Testing without using COM port.");

    model.onStatus(Status::ConnectionClosed);
    deliver();
    EXPECT_EQ(window.text(MainId::MessageLine), "");
    // A port after the simulator has nothing to note.
    for (std::uint32_t status : {Status::OpeningPort, Status::Connecting})
        model.onStatus(status);
    deliver();
    EXPECT_EQ(window.text(MainId::MessageLine), "");
}

TEST_F(MainDialogTest, IdsWithoutActionAreLeftAloneAndOnlyTheCloseBoxEndsTheWindow)
{
    open();
    enableControls();
    for (int id : {MainId::PortList, MainId::Baud115200, MainId::TargetRa, MainId::RaEncoderOffset,
                   MainId::Latitude, MainId::UniversalTime, MainId::LiveView})
        EXPECT_FALSE(dialog.onCommand(window, id)) << id;
    // Enter and Esc.
    EXPECT_FALSE(dialog.onCommand(window, DialogCommand::Ok));
    EXPECT_FALSE(dialog.onCommand(window, DialogCommand::Cancel));
    EXPECT_FALSE(window.ended);
    EXPECT_TRUE(control.calls.empty());
    dialog.onClose(window);
    EXPECT_TRUE(window.ended);
    EXPECT_EQ(window.result, 1);
}

TEST_F(MainDialogTest, EncoderSetupOkShowsTheNewResolutionsAndSendsTheFormatCancelSendsNothing)
{
    previewOff();
    open();
    enableControls();
    host.expect([](FakeSurface& setup, iDialogHandler& handler) {
        setup.type(EncoderSetupId::RaBitsPerRevolution, "24");
        setup.type(EncoderSetupId::DecBitsPerRevolution, "32");
        setup.click(handler, EncoderSetupId::RaGray);
        setup.click(handler, EncoderSetupId::Ok);
    });
    click(MainId::EncoderSetup);
    EXPECT_EQ(window.text(MainId::RaBitsPerRevolution), "24");
    EXPECT_EQ(window.text(MainId::RaEncoderResolution), "16777216");
    EXPECT_EQ(window.text(MainId::DecBitsPerRevolution), "32");
    EXPECT_EQ(window.text(MainId::DecEncoderResolution), "4294967296");
    EXPECT_EQ(control.calls, (Calls{"setEncoderFormat 2 12 24 0 0 12 32 0"}));
    EXPECT_EQ(model.axisConfiguration.encoderFormat.raBitsPerRevolution, 24);

    host.expect([](FakeSurface& setup, iDialogHandler& handler) {
        setup.type(EncoderSetupId::RaBitsPerRevolution, "10");
        setup.click(handler, EncoderSetupId::Cancel);
    });
    click(MainId::EncoderSetup);
    EXPECT_EQ(window.text(MainId::RaBitsPerRevolution), "24");
    EXPECT_EQ(model.axisConfiguration.encoderFormat.raBitsPerRevolution, 24);
    EXPECT_EQ(control.calls.size(), 1u);
}

TEST_F(MainDialogTest, EncoderSetupWithAFormatNoEncoderSendsStaysOpenAndSendsNothing)
{
    open();
    enableControls();
    const AxisConfiguration before = model.axisConfiguration;
    host.expect([](FakeSurface& setup, iDialogHandler& handler) {
        setup.type(EncoderSetupId::RaBitsPerRevolution, "300");
        setup.click(handler, EncoderSetupId::Ok);
        EXPECT_FALSE(setup.ended);
        EXPECT_EQ(setup.text(EncoderSetupId::Hint), "RA bits per one revolution must be 1 to 32");
        setup.click(handler, EncoderSetupId::Cancel);
    });
    click(MainId::EncoderSetup);
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(model.axisConfiguration, before);
    EXPECT_EQ(window.text(MainId::RaBitsPerRevolution), "25");
}

TEST_F(MainDialogTest, OffsetAdjustShowsTheAxisAndOkWritesAStepIntoTheFieldWithoutSending)
{
    open();
    AxisConfiguration a;
    a.raEncoderResolution = 33554432;
    a.raEncoderOffset = 16777216;
    a.decEncoderResolution = 16777216;
    a.decEncoderOffset = 1;
    connectWith(ControllerParameters{}, a);
    control.calls.clear();

    host.expect([](FakeSurface& adjust, iDialogHandler& handler) {
        EXPECT_EQ(adjust.text(OffsetAdjustId::Channel), "RA");
        EXPECT_EQ(adjust.text(OffsetAdjustId::OriginalSystem), "16777216");
        EXPECT_EQ(adjust.text(OffsetAdjustId::OriginalDms), "+180:00:00");
        adjust.click(handler, OffsetAdjustId::StepUpFirst + 5);   // + 1 deg
        adjust.click(handler, OffsetAdjustId::Ok);
    });
    click(MainId::RaAdjust);
    // One degree of a 2^25 turn is 93206.76 counts.
    EXPECT_EQ(window.text(MainId::RaEncoderOffset), "16870423");
    EXPECT_EQ(window.text(MainId::MessageLine), "RA offset edited: not sent yet");

    window.type(MainId::DecEncoderOffset, "555");
    host.expect([](FakeSurface& adjust, iDialogHandler& handler) {
        EXPECT_EQ(adjust.text(OffsetAdjustId::Channel), "Dec");
        EXPECT_EQ(adjust.text(OffsetAdjustId::OriginalSystem), "555");
        adjust.click(handler, OffsetAdjustId::StepDownFirst + 6);
        adjust.click(handler, OffsetAdjustId::Cancel);
    });
    click(MainId::DecAdjust);
    host.expect([](FakeSurface& adjust, iDialogHandler& handler) { adjust.click(handler, OffsetAdjustId::Ok); });
    click(MainId::DecAdjust);
    EXPECT_EQ(window.text(MainId::DecEncoderOffset), "555") << "nothing stepped, the typed offset stays";
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(host.captions, (std::vector<std::string>(3, "Fine adjust encoder offset")));
}

TEST_F(MainDialogTest, OffsetAdjustStartsFromTheOffsetFieldAndOnlyAChangedOkRewritesIt)
{
    open();
    AxisConfiguration a;
    a.raEncoderResolution = 1u << 20;
    a.raEncoderOffset = 52;
    connectWith(ControllerParameters{}, a);
    control.calls.clear();

    // What the operator typed, or sent with "Encoder calibration", is where
    // the steps start; the offset read at connect is history.
    window.type(MainId::RaEncoderOffset, " 5000 ");
    host.expect([](FakeSurface& adjust, iDialogHandler& handler) {
        EXPECT_EQ(adjust.text(OffsetAdjustId::OriginalSystem), "5000");
        adjust.click(handler, OffsetAdjustId::StepUpFirst + 3);   // + 1 min: 49 counts of a 2^20 turn
        adjust.click(handler, OffsetAdjustId::Cancel);
    });
    click(MainId::RaAdjust);
    EXPECT_EQ(window.text(MainId::RaEncoderOffset), " 5000 ");
    EXPECT_EQ(window.text(MainId::MessageLine), "");

    host.expect([](FakeSurface& adjust, iDialogHandler& handler) {
        adjust.click(handler, OffsetAdjustId::StepUpFirst + 3);
        adjust.click(handler, OffsetAdjustId::StepDownFirst + 3);
        adjust.click(handler, OffsetAdjustId::Ok);
    });
    click(MainId::RaAdjust);
    EXPECT_EQ(window.text(MainId::RaEncoderOffset), " 5000 ") << "a round trip changes nothing";
    EXPECT_EQ(window.text(MainId::MessageLine), "");

    host.expect([](FakeSurface& adjust, iDialogHandler& handler) {
        adjust.click(handler, OffsetAdjustId::StepUpFirst + 3);
        adjust.click(handler, OffsetAdjustId::Ok);
    });
    click(MainId::RaAdjust);
    EXPECT_EQ(window.text(MainId::RaEncoderOffset), "5049");
    EXPECT_TRUE(control.calls.empty());

    // A field that is no number has nothing to step from.
    window.type(MainId::DecEncoderOffset, "12x");
    click(MainId::DecAdjust);
    EXPECT_EQ(window.text(MainId::MessageLine), "Dec offset is not a number");
    EXPECT_EQ(window.text(MainId::DecEncoderOffset), "12x");
    EXPECT_EQ(host.captions.size(), 3u);
}

TEST_F(MainDialogTest, TheUnsentOffsetNoteLastsExactlyAsLongAsAnOffsetFieldDiffersFromTheController)
{
    previewOff();
    AxisConfiguration a;
    a.raEncoderResolution = 1u << 20;
    a.decEncoderResolution = 1u << 20;
    auto step = [this](int adjustId) {
        host.expect([](FakeSurface& adjust, iDialogHandler& handler) {
            adjust.click(handler, OffsetAdjustId::StepUpFirst + 4);
            adjust.click(handler, OffsetAdjustId::Ok);
        });
        click(adjustId);
    };
    auto target = [this](const char* ra) {
        window.type(MainId::TargetRa, ra);
        window.type(MainId::TargetDec, "10");
        click(MainId::Goto);
    };
    struct Case {
        const char* name;
        std::function<void()> then;
        const char* message;
    };
    const Case cases[] = {
        {"RA stepped", [] {}, "RA offset edited: not sent yet"},
        {"both stepped", [&] { step(MainId::DecAdjust); }, "Both offsets edited: not sent yet"},
        {"sent with Encoder calibration", [&] { click(MainId::EncoderCalibration); }, ""},
        {"replaced by a reconnect", [&] { connectWith(ControllerParameters{}, a); }, ""},
        {"a refused target shows over it", [&] { target("25"); }, "Target not sent: RA out of range"},
        {"and gives way to it again", [&] { target("25"); target("5"); }, "RA offset edited: not sent yet"},
        {"a reconnect keeps a refused target's reason", [&] { target("25"); connectWith(ControllerParameters{}, a); },
         "Target not sent: RA out of range"},
        {"a refused calibration keeps the edit pending",
         [&] {
             window.type(MainId::DecEncoderOffset, "x");
             click(MainId::EncoderCalibration);
             window.type(MainId::DecEncoderOffset, "0");
             target("5");
         },
         "RA offset edited: not sent yet"},
    };
    open();
    for (const Case& c : cases) {
        // A reconnect and a sound target leave nothing of the last case.
        connectWith(ControllerParameters{}, a);
        target("1");
        step(MainId::RaAdjust);
        c.then();
        EXPECT_EQ(window.text(MainId::MessageLine), c.message) << c.name;
    }
}

TEST_F(MainDialogTest, MeridianFlipQuestionSendsTheOperatorsAnswerToTheLink)
{
    open();
    host.expect([](FakeSurface& prompt, iDialogHandler& handler) { prompt.click(handler, PromptId::WithoutFlip); });
    model.onMeridianFlipPrompt(3);
    deliver();
    host.expect([](FakeSurface& prompt, iDialogHandler& handler) { prompt.click(handler, PromptId::WithFlip); });
    model.onMeridianFlipPrompt(4);
    deliver();
    host.expect([](FakeSurface& prompt, iDialogHandler& handler) { handler.onClose(prompt); });
    model.onMeridianFlipPrompt(1);
    deliver();
    EXPECT_EQ(control.calls, (Calls{"answerMeridianFlip 1", "answerMeridianFlip 2", "answerMeridianFlip 0"}));
}

TEST_F(MainDialogTest, AboutOpensTheBoxWhoseLinkOpensTheMakersAddress)
{
    open();
    host.expect([](FakeSurface& about, iDialogHandler& handler) {
        // The build's version: the project's number, then the commit if any.
        EXPECT_TRUE(about.text(AboutId::Version).starts_with("Version " KV7_PROJECT_VERSION)) << about.text(AboutId::Version);
        EXPECT_TRUE(about.click(handler, AboutId::WebLink));
        EXPECT_FALSE(about.ended);
        about.click(handler, AboutId::Exit);
    });
    click(MainId::About);
    EXPECT_EQ(host.captions, (std::vector<std::string>{"KV7-Encoder test"}));
    EXPECT_EQ(host.opened, (std::vector<std::string>{makerWebAddress}));
}

// ---- The mount state, the target, the site, the time and the live view ----

MountState axesReading(std::int32_t ra, std::int32_t dec, std::int32_t pier)
{
    MountState m;
    m.axesValid = 1;
    m.raAxisPosition = ra;
    m.decAxisPosition = dec;
    m.pierState = pier;
    return m;
}

TEST_F(MainDialogTest, CommissioningTakesEveryReadingWhileOpenAndTheWindowAsksForNone)
{
    open();
    EXPECT_FALSE(window.at(MainId::Commissioning).enabled);
    enableControls();
    host.expect([&](FakeSurface& commissioning, iDialogHandler& handler) {
        commissioning.click(handler, CommissioningId::MonitorStart);
        EXPECT_EQ(control.calls, (Calls{"readEncoders 0"}));
        MountState m;
        m.valid = 1;
        m.raEncoderPosition = 12345;
        model.onMountState(m);
        deliver();
        EXPECT_EQ(control.calls.back(), "readEncoders 3");
        tick(20);   // the live view keeps quiet
        EXPECT_EQ(control.calls.size(), 2u);
        commissioning.click(handler, CommissioningId::Close);
    });
    click(MainId::Commissioning);
    EXPECT_EQ(host.captions.back(), "Commissioning");
    EXPECT_EQ(window.text(MainId::RaEncoderSystem), "");
    // Closed, the window's live view reads again.
    tick(5);
    EXPECT_EQ(control.calls.back(), "readEncoders 0");
}

TEST_F(MainDialogTest, AFormatDetectionCutByALostLineIsWrittenBackAtTheNextConnection)
{
    open();
    ControllerParameters p;
    p.raMicrosteps = p.decMicrosteps = 1843200;
    connectWith(p, AxisConfiguration{});
    host.expect([&](FakeSurface& commissioning, iDialogHandler& handler) {
        commissioning.click(handler, CommissioningId::DetectFormat);
        model.onStatus(Status::ConnectionLost);
        deliver();
        EXPECT_NE(commissioning.text(CommissioningId::ResultFirst + 1).find("written back when the window connects"),
                  std::string::npos);
        commissioning.click(handler, CommissioningId::Close);
    });
    click(MainId::Commissioning);
    EXPECT_EQ(control.calls.back(), "setEncoderFormat 0 12 25 0 0 12 25 0");
    control.calls.clear();
    connectWith(ControllerParameters{}, AxisConfiguration{});
    EXPECT_EQ(control.calls, (Calls{"setEncoderFormat 0 12 25 0 0 12 25 0"}));
    EXPECT_EQ(window.text(MainId::MessageLine), "The encoder format from before the detection was written back.");
    // Once only.
    control.calls.clear();
    connectWith(ControllerParameters{}, AxisConfiguration{});
    EXPECT_TRUE(control.calls.empty());
}

TEST_F(MainDialogTest, GetStateAsksForTheAxesAndShowsTheMotorRowsAndThePierSide)
{
    struct Case {
        std::int32_t ra, dec, pier;
        const char* raArcsec;
        const char* raDms;
        const char* decArcsec;
        const char* decDms;
        const char* side;
    };
    // 2000000 microsteps per RA turn, 1000000 per Dec turn.
    const Case cases[] = {
        {500000, -250000, PierState::pierEast, "324000", "+90:00:00", "-324000", "-90:00:00", "East"},
        {0, 0, PierState::pierWest, "0", "+00:00:00", "0", "+00:00:00", "West"},
        {1543, 1, PierState::flippingToWest, "1000", "+00:16:40", "1", "+00:00:01", "Flipping to West"},
        {-1000000, 500000, PierState::flippingToEast, "-648000", "-180:00:00", "648000", "+180:00:00",
         "Flipping to East"},
        {2, 3, 0, "1", "+00:00:01", "4", "+00:00:04", "unknown"},
    };
    open();
    ControllerParameters p;
    p.raMicrosteps = 2000000;
    p.decMicrosteps = 1000000;
    connectWith(p, AxisConfiguration{});
    control.calls.clear();
    click(MainId::GetState);
    EXPECT_EQ(control.calls, (Calls{"readEncoders 3"}));
    for (const Case& c : cases) {
        model.onMountState(axesReading(c.ra, c.dec, c.pier));
        deliver();
        EXPECT_EQ(window.text(MainId::RaMotorSystem), std::to_string(c.ra));
        EXPECT_EQ(window.text(MainId::DecMotorSystem), std::to_string(c.dec));
        EXPECT_EQ(window.text(MainId::RaMotorArcsec), c.raArcsec) << c.ra;
        EXPECT_EQ(window.text(MainId::RaMotorDms), c.raDms) << c.ra;
        EXPECT_EQ(window.text(MainId::DecMotorArcsec), c.decArcsec) << c.dec;
        EXPECT_EQ(window.text(MainId::DecMotorDms), c.decDms) << c.dec;
        EXPECT_EQ(window.text(MainId::PierSide), c.side) << c.pier;
    }
}

TEST_F(MainDialogTest, MotorRowsWaitForAReadingOfTheAxesAndShowNoAngleWithoutMicrostepsPerTurn)
{
    open();
    enableControls();   // a configuration without microsteps
    MountState encodersOnly;
    encodersOnly.valid = 1;
    model.onMountState(encodersOnly);
    deliver();
    EXPECT_EQ(window.text(MainId::RaMotorSystem), "");
    EXPECT_EQ(window.text(MainId::PierSide), "");
    model.onMountState(axesReading(100, -7, PierState::pierWest));
    deliver();
    EXPECT_EQ(window.text(MainId::RaMotorSystem), "100");
    EXPECT_EQ(window.text(MainId::DecMotorSystem), "-7");
    EXPECT_EQ(window.text(MainId::RaMotorArcsec), "");
    EXPECT_EQ(window.text(MainId::DecMotorDms), "");
}

TEST_F(MainDialogTest, SyncToEncodersSendsItsRequest)
{
    open();
    enableControls();
    EXPECT_TRUE(click(MainId::SyncToEncoders));
    EXPECT_EQ(control.calls, (Calls{"syncToEncoders"}));
}

TEST_F(MainDialogTest, TargetGetFillsTheFieldsWhereTheAxesPointAndGotoAndSyncReturnThere)
{
    struct Case {
        std::uint32_t ra;
        std::int32_t dec;
        const char* raText;
        const char* decText;
    };
    const Case cases[] = {
        {0, 0, "00:00:00.00", "+00:00:00"},
        {675000, -37800, "12:30:00.00", "-10:30:00"},
        {1295999, 324000, "23:59:59.93", "+90:00:00"},   // the last arcsecond of the day
        {1295984, -324000, "23:59:58.93", "-90:00:00"},
        {123457, 45296, "02:17:10.47", "+12:34:56"},
        {123452, -1, "02:17:10.13", "-00:00:01"},
    };
    open();
    enableControls();
    for (const Case& c : cases) {
        control.calls.clear();
        click(MainId::TargetGet);
        EXPECT_EQ(control.calls, (Calls{"readEncoders 3"}));
        MountState m = axesReading(0, 0, PierState::pierEast);
        m.skyValid = 1;
        m.raArcsec = c.ra;
        m.decArcsec = c.dec;
        model.onMountState(m);
        deliver();
        EXPECT_EQ(window.text(MainId::TargetRa), c.raText) << c.ra;
        EXPECT_EQ(window.text(MainId::TargetDec), c.decText) << c.dec;

        click(MainId::Goto);
        click(MainId::SyncToTarget);
        ASSERT_EQ(control.calls.size(), 3u) << window.text(MainId::MessageLine);
        // The RA text keeps hundredths of a second of time, so both come
        // back to the arcsecond.
        EXPECT_EQ(dialog.currentTargetRa(), c.ra);
        EXPECT_EQ(dialog.currentTargetDec(), c.dec);
        EXPECT_EQ(control.calls[1].substr(0, 10), "gotoTarget");
        EXPECT_EQ(control.calls[2].substr(0, 12), "syncToTarget");
    }
}

TEST_F(MainDialogTest, TargetGetLeavesTheFieldsWhenTheSideIsUnknownAndOnlyAnsweredReadingsFillThem)
{
    open();
    enableControls();
    window.type(MainId::TargetRa, "1");
    window.type(MainId::TargetDec, "2");
    MountState sky = axesReading(0, 0, PierState::pierEast);
    sky.skyValid = 1;
    sky.raArcsec = 54000;
    // Not asked for: a reading of the axes leaves the typed target alone.
    model.onMountState(sky);
    deliver();
    EXPECT_EQ(window.text(MainId::TargetRa), "1");

    click(MainId::TargetGet);
    MountState unknownSide = axesReading(0, 0, 0);
    model.onMountState(unknownSide);
    deliver();
    EXPECT_EQ(window.text(MainId::TargetRa), "1");
    EXPECT_EQ(window.text(MainId::TargetDec), "2");
    EXPECT_EQ(window.text(MainId::MessageLine), "Target not read: pier side unknown");
    // The question has had its answer; the next reading is no answer to it.
    model.onMountState(sky);
    deliver();
    EXPECT_EQ(window.text(MainId::TargetRa), "1");
}

TEST_F(MainDialogTest, UntilASiteIsSetTheWindowUsesAndNamesTheBuiltInOne)
{
    for (const char* stored : {"", "# nothing yet\n[site]\n"}) {
        FakeSurface surface(mainDialogLayout());
        MemorySettingsStore empty;
        empty.text = stored;
        DlgMain fresh(&control, &model, &host);
        model.setSiteLongitude(5);
        fresh.setSettingsStore(&empty);
        fresh.onInit(surface);
        EXPECT_DOUBLE_EQ(model.siteLongitude(), 19.5);
        EXPECT_EQ(surface.text(MainId::Longitude), "19.5");
        EXPECT_EQ(surface.text(MainId::Latitude), "0");
        EXPECT_EQ(surface.text(MainId::SiteNote), "(default)");
        EXPECT_EQ(surface.text(MainId::MessageLine), "");
    }
}

TEST_F(MainDialogTest, TheStoredSiteIsLoadedAppliedAndShownAtStart)
{
    UserSettings saved;
    saved.siteSet = true;
    saved.latitude = 48.25;
    saved.longitude = -3.5;
    store.text = formatUserSettings(saved);
    dialog.setSettingsStore(&store);
    EXPECT_DOUBLE_EQ(model.siteLongitude(), -3.5);
    open();
    EXPECT_EQ(window.text(MainId::Latitude), "48.25");
    EXPECT_EQ(window.text(MainId::Longitude), "-3.5");
    EXPECT_EQ(window.text(MainId::SiteNote), "");
}

TEST_F(MainDialogTest, AnUnreadableStoredSiteLeavesTheDefaultAndSaysWhy)
{
    store.text = "[site]\nlatitude=north\nlongitude=12\n";
    dialog.setSettingsStore(&store);
    open();
    EXPECT_DOUBLE_EQ(model.siteLongitude(), 19.5);
    EXPECT_EQ(window.text(MainId::SiteNote), "(default)");
    EXPECT_EQ(window.text(MainId::MessageLine).rfind("Stored site unreadable: ", 0), 0u)
        << window.text(MainId::MessageLine);
}

TEST_F(MainDialogTest, SiteSetTakesDegreesOrDmsAppliesThemAndSavesThem)
{
    struct Case {
        const char* latitude;
        const char* longitude;
        double lat, lon;
    };
    const Case cases[] = {
        {"48.25", "-3.5", 48.25, -3.5},
        {" +45:30 ", "-0:30:36", 45.5, -0.51},
        {"-33:52:04.8", "151:12:36", -(33 + 52 / 60.0 + 4.8 / 3600), 151.21},
        {"90", "-180", 90, -180},
        {"-0.0001", "180:00:00", -0.0001, 180},
    };
    dialog.setSettingsStore(&store);
    open();
    for (const Case& c : cases) {
        window.type(MainId::Latitude, c.latitude);
        window.type(MainId::Longitude, c.longitude);
        EXPECT_TRUE(click(MainId::PlaceSet));
        EXPECT_NEAR(model.siteLongitude(), c.lon, 1e-9) << c.longitude;
        EXPECT_EQ(window.text(MainId::SiteNote), "");
        EXPECT_EQ(window.text(MainId::MessageLine), "");
        std::vector<std::string> problems;
        const UserSettings saved = parseUserSettings(store.text, problems);
        EXPECT_TRUE(problems.empty());
        EXPECT_TRUE(saved.siteSet);
        EXPECT_NEAR(saved.latitude, c.lat, 1e-9) << c.latitude;
        EXPECT_NEAR(saved.longitude, c.lon, 1e-9) << c.longitude;
        // The fields show the site now in use, in the form they read back.
        EXPECT_NEAR(std::stod(window.text(MainId::Longitude)), c.lon, 1e-9);
        EXPECT_NEAR(std::stod(window.text(MainId::Latitude)), c.lat, 1e-9);
    }
}

TEST_F(MainDialogTest, SiteSetRefusesTextThatIsNoPlaceAndNamesTheField)
{
    struct Case {
        const char* latitude;
        const char* longitude;
        const char* message;
    };
    const Case cases[] = {
        {"", "10", "Site not set: Latitude not degrees"},
        {"45N", "10", "Site not set: Latitude not degrees"},
        {"45:60", "10", "Site not set: Latitude not degrees"},
        {"45.5:10", "10", "Site not set: Latitude not degrees"},
        {"1:2:3:4", "10", "Site not set: Latitude not degrees"},
        {"90.01", "10", "Site not set: Latitude out of range"},
        {"-91", "10", "Site not set: Latitude out of range"},
        {"45", "east", "Site not set: Longitude not degrees"},
        {"45", "--10", "Site not set: Longitude not degrees"},
        {"45", "180:00:01", "Site not set: Longitude out of range"},
        {"45", "-200", "Site not set: Longitude out of range"},
    };
    dialog.setSettingsStore(&store);
    open();
    for (const Case& c : cases) {
        window.type(MainId::Latitude, c.latitude);
        window.type(MainId::Longitude, c.longitude);
        click(MainId::PlaceSet);
        EXPECT_EQ(window.text(MainId::MessageLine), c.message) << c.latitude << " " << c.longitude;
        EXPECT_DOUBLE_EQ(model.siteLongitude(), 19.5);
        EXPECT_EQ(window.text(MainId::SiteNote), "(default)");
    }
    EXPECT_EQ(store.saves, 0);
}

TEST_F(MainDialogTest, ASiteThatCannotBeSavedIsStillUsedAndTheLineSaysSo)
{
    store.saveError = "disk full";
    dialog.setSettingsStore(&store);
    open();
    window.type(MainId::Latitude, "10");
    window.type(MainId::Longitude, "20");
    click(MainId::PlaceSet);
    EXPECT_DOUBLE_EQ(model.siteLongitude(), 20);
    EXPECT_EQ(window.text(MainId::MessageLine), "Site in use, not saved: disk full");
}

TEST_F(MainDialogTest, SiteGetShowsAndUsesWhatIsStoredOrWithoutAStoreTheSiteInUse)
{
    dialog.setSettingsStore(&store);
    open();
    window.type(MainId::Latitude, "10");
    window.type(MainId::Longitude, "20");
    click(MainId::PlaceSet);
    // Another copy of the program saved a site since.
    UserSettings other;
    other.siteSet = true;
    other.latitude = -12;
    other.longitude = 130;
    store.text = formatUserSettings(other);
    window.type(MainId::Longitude, "typed, not set");
    click(MainId::PlaceSet);
    click(MainId::PlaceGet);
    EXPECT_EQ(window.text(MainId::MessageLine), "") << "the refusal of the typed text is over";
    EXPECT_EQ(window.text(MainId::Latitude), "-12");
    EXPECT_EQ(window.text(MainId::Longitude), "130");
    EXPECT_DOUBLE_EQ(model.siteLongitude(), 130);

    FakeSurface surface(mainDialogLayout());
    DlgMain storeless(&control, &model, &host);
    storeless.onInit(surface);
    surface.type(MainId::Latitude, "1");
    surface.type(MainId::Longitude, "2");
    surface.click(storeless, MainId::PlaceSet);
    surface.type(MainId::Longitude, "typed, not set");
    surface.click(storeless, MainId::PlaceGet);
    EXPECT_EQ(surface.text(MainId::Longitude), "2");
    EXPECT_DOUBLE_EQ(model.siteLongitude(), 2);
}

TEST_F(MainDialogTest, UtAndLstShowTheModelsTimeAndFollowTheTimer)
{
    open();
    EXPECT_EQ(window.timerMs, DlgMain::timerPeriodMs);
    EXPECT_EQ(window.text(MainId::UniversalTime), "2024-03-20 21:30:00");
    EXPECT_EQ(window.text(MainId::SiderealTime), lst());
    EXPECT_EQ(window.text(MainId::TimeNote), "");
    const std::string before = lst();
    clock.set(UtcTime{2024, 3, 20, 23, 59, 59});
    tick();
    EXPECT_EQ(window.text(MainId::UniversalTime), "2024-03-20 23:59:59");
    EXPECT_EQ(window.text(MainId::SiderealTime), lst());
    EXPECT_NE(lst(), before);
}

TEST_F(MainDialogTest, TimeSetMakesTheTypedUtcTheModelsTimeAsACorrectionOfTheComputerClock)
{
    struct Case {
        const char* typed;
        std::int64_t correction;
        const char* shown;
    };
    const Case cases[] = {
        {"2024-03-20 21:31:40", 100, "2024-03-20 21:31:40"},
        {" 2024-03-20 21:29:59 ", -1, "2024-03-20 21:29:59"},
        {"2024-03-21 00:00:00", 9000, "2024-03-21 00:00:00"},
        {"2024-02-29 21:30:00", -20 * 86400, "2024-02-29 21:30:00"},
        {"2025-03-20 21:30:00", 365 * 86400, "2025-03-20 21:30:00"},
        {"2023-03-20 21:30:00", -366 * 86400, "2023-03-20 21:30:00"},
        {"2024-03-20 21:30:00", 0, "2024-03-20 21:30:00"},
    };
    open();
    for (const Case& c : cases) {
        // Every correction is against the computer's clock, not the last one.
        model.setUtcCorrection(12345);
        window.type(MainId::UniversalTime, c.typed);
        EXPECT_TRUE(click(MainId::TimeSet));
        EXPECT_EQ(model.utcCorrection(), c.correction) << c.typed;
        EXPECT_EQ(window.text(MainId::UniversalTime), c.shown);
        EXPECT_EQ(window.text(MainId::TimeNote), c.correction ? "corrected" : "");
        EXPECT_EQ(window.text(MainId::SiderealTime), lst());
        EXPECT_EQ(window.text(MainId::MessageLine), "");
    }
    // The corrected clock runs on with the computer's.
    window.type(MainId::UniversalTime, "2024-03-20 21:31:40");
    click(MainId::TimeSet);
    clock.set(UtcTime{2024, 3, 20, 21, 30, 30});
    tick();
    EXPECT_EQ(window.text(MainId::UniversalTime), "2024-03-20 21:32:10");
}

TEST_F(MainDialogTest, TimeSetRefusesTextThatIsNoInstant)
{
    open();
    for (const char* typed : {"", "2024-03-20", "2024-3-20 21:30:00", "2024-02-30 10:00:00", "2023-02-29 10:00:00",
                              "2024-13-01 10:00:00", "2024-03-20 24:00:00", "2024-03-20 21:60:00",
                              "2024-03-20 21:30:60", "2024-03-20T21:30:00", "2024-03-20 21:30:00Z"}) {
        window.type(MainId::UniversalTime, typed);
        click(MainId::TimeSet);
        EXPECT_EQ(model.utcCorrection(), 0) << typed;
        EXPECT_EQ(window.text(MainId::MessageLine), "UT not set: use YYYY-MM-DD hh:mm:ss") << typed;
    }
}

TEST_F(MainDialogTest, TimeGetReturnsToTheComputersClock)
{
    open();
    window.type(MainId::UniversalTime, "2024-03-20 22:00:00");
    click(MainId::TimeSet);
    EXPECT_TRUE(click(MainId::TimeGet));
    EXPECT_EQ(model.utcCorrection(), 0);
    EXPECT_EQ(window.text(MainId::UniversalTime), "2024-03-20 21:30:00");
    EXPECT_EQ(window.text(MainId::TimeNote), "");
    EXPECT_EQ(window.text(MainId::SiderealTime), lst());
}

TEST_F(MainDialogTest, TheTimerLeavesAUtTheOperatorIsTypingAlone)
{
    open();
    window.type(MainId::UniversalTime, "2024-03-2");
    clock.set(UtcTime{2024, 3, 20, 21, 30, 5});
    tick();
    EXPECT_EQ(window.text(MainId::UniversalTime), "2024-03-2");
    EXPECT_EQ(window.text(MainId::SiderealTime), lst());
}

TEST_F(MainDialogTest, LiveViewAlternatesEncodersAndAxesWhileConnected)
{
    open();
    tick(3);
    EXPECT_TRUE(control.calls.empty()) << "not connected yet";
    enableControls();
    EXPECT_TRUE(window.isChecked(MainId::LiveView));
    for (int i = 0; i < 4; ++i) {
        tick();
        answer();
    }
    EXPECT_EQ(control.calls, (Calls{"readEncoders 0", "readEncoders 3", "readEncoders 0", "readEncoders 3"}));

    control.calls.clear();
    window.click(dialog, MainId::LiveView);
    tick(3);
    EXPECT_TRUE(control.calls.empty()) << "turned off";
}

TEST_F(MainDialogTest, LiveViewAsksAgainOnlyOnceTheLastReadingIsAnsweredOrLost)
{
    struct Case {
        const char* name;
        std::function<void()> ending;
    };
    const Case cases[] = {
        {"answered", [&] { answer(); }},
        {"no reply", [&] { model.onStatus(Status::NoReply); deliver(); }},
        {"never heard of again", [&] { tick(DlgMain::readingLostTicks - 1); }},
    };
    open();
    for (const Case& c : cases) {
        enableControls();
        tick();
        tick(DlgMain::readingLostTicks - 2);
        EXPECT_EQ(control.calls.size(), 1u) << c.name << ": asking again would restart the link's wait";
        c.ending();
        tick();
        EXPECT_EQ(control.calls.size(), 2u) << c.name;
        answer();
    }
}

TEST_F(MainDialogTest, LiveViewEndsWithTheConnection)
{
    for (std::uint16_t status : {Status::ConnectionClosed, Status::ConnectionLost, Status::OutputDiscarded,
                                 Status::NotConnectedYet}) {
        open();
        enableControls();
        model.onStatus(status);
        deliver();
        tick(3);
        EXPECT_TRUE(control.calls.empty()) << status;
    }
    enableControls();
    click(MainId::Disconnect);
    tick(3);
    EXPECT_EQ(control.calls, (Calls{"disconnect"}));
}

TEST_F(MainDialogTest, AClickThatMovesTheMountKeepsTheLiveViewQuietForAWhile)
{
    const int moving[] = {MainId::Goto, MainId::SyncToTarget, MainId::SyncToEncoders, MainId::North,
                          MainId::FlipEast};
    open();
    enableControls();
    window.type(MainId::TargetRa, "1");
    window.type(MainId::TargetDec, "2");
    for (int id : moving) {
        tick();   // a reading, answered, then the click
        answer();
        click(id);
        control.calls.clear();
        tick(DlgMain::liveViewPauseTicks);
        EXPECT_TRUE(control.calls.empty()) << id;
        tick();
        EXPECT_EQ(control.calls.size(), 1u) << id;
        answer();
    }
}

TEST_F(MainDialogTest, ReadingsAskedWhileOneIsOutFollowItsAnswerAndTargetGetTakesOnlyItsOwn)
{
    open();
    enableControls();
    tick();   // the live view asks for the encoders
    click(MainId::TargetGet);
    click(MainId::ReadEncoders);
    EXPECT_EQ(control.calls, (Calls{"readEncoders 0"}));
    // The encoders' answer carries the axes of some earlier reading: no target.
    MountState stale = axesReading(0, 0, PierState::pierEast);
    stale.valid = 1;
    stale.skyValid = 1;
    stale.raArcsec = 54000;
    model.onMountState(stale);
    deliver();
    EXPECT_EQ(window.text(MainId::TargetRa), "");
    EXPECT_EQ(control.calls, (Calls{"readEncoders 0", "readEncoders 3"}));
    MountState fresh = stale;
    fresh.raArcsec = 108000;
    model.onMountState(fresh);
    deliver();
    EXPECT_EQ(window.text(MainId::TargetRa), "02:00:00.00");
    EXPECT_EQ(control.calls, (Calls{"readEncoders 0", "readEncoders 3", "readEncoders 0"}));
}

TEST_F(MainDialogTest, TheSpeedNumberFollowsTheSlider)
{
    open();
    EXPECT_EQ(window.text(MainId::SpeedValue), "10");
    window.setSliderPosition(MainId::Speed, 31);
    EXPECT_TRUE(dialog.onCommand(window, MainId::Speed));
    EXPECT_EQ(window.text(MainId::SpeedValue), "31");
    // A renderer that does not report the move: the timer catches up.
    window.setSliderPosition(MainId::Speed, 0);
    tick();
    EXPECT_EQ(window.text(MainId::SpeedValue), "0");
    EXPECT_TRUE(control.calls.empty()) << "moving the slider sends nothing";
}

TEST_F(MainDialogTest, OpeningThePortListEnumeratesAgainAndKeepsAChoiceThatIsStillThere)
{
    std::vector<PortEntry> present = {{1, "ttyS0", "/dev/ttyS0", "", false}};
    int enumerations = 0;
    dialog.setPortSource([&] {
        ++enumerations;
        return catalogPortChoices(present);
    });
    open(PortChoices{});
    EXPECT_EQ(window.at(MainId::PortList).list, (std::vector<std::string>{"ttyS0", "Simulator"}));
    window.selectListEntry(MainId::PortList, 0);

    struct Case {
        std::vector<PortEntry> plugged;
        std::vector<std::string> listed;
        int selected;
    };
    const Case cases[] = {
        // An adapter arrives: the operator's ttyS0 stays chosen.
        {{{1, "ttyS0", "/dev/ttyS0", "", false}, {2, "ttyUSB0", "/dev/ttyUSB0", "FT232R", true}},
         {"ttyS0", "ttyUSB0 (FT232R)", "Simulator"}, 0},
        // ttyS0 goes: the catalogue's own choice, the adapter.
        {{{2, "ttyUSB0", "/dev/ttyUSB0", "FT232R", true}}, {"ttyUSB0 (FT232R)", "Simulator"}, 0},
        // Everything goes: the simulator.
        {{}, {"Simulator"}, 0},
    };
    for (const Case& c : cases) {
        present = c.plugged;
        dialog.onListOpening(window, MainId::PortList);
        EXPECT_EQ(window.at(MainId::PortList).list, c.listed);
        EXPECT_EQ(window.selectedListEntry(MainId::PortList), c.selected);
    }
    present = {{1, "ttyS0", "/dev/ttyS0", "", false}, {2, "ttyUSB0", "/dev/ttyUSB0", "FT232R", true}};
    dialog.onListOpening(window, MainId::PortList);
    window.selectListEntry(MainId::PortList, 0);
    click(MainId::Connect);
    EXPECT_EQ(control.calls, (Calls{"connect 1 9600"})) << "Connect takes the number of the list it shows";
    EXPECT_EQ(enumerations, 5);
    dialog.onListOpening(window, MainId::Speed);
    EXPECT_EQ(enumerations, 5) << "only the port list enumerates";
}

TEST_F(MainDialogTest, WithoutAPortSourceOpeningTheListChangesNothing)
{
    open();
    window.selectListEntry(MainId::PortList, 4);
    dialog.onListOpening(window, MainId::PortList);
    EXPECT_EQ(window.at(MainId::PortList).list.size(), 256u);
    EXPECT_EQ(window.selectedListEntry(MainId::PortList), 4);
}

}  // namespace
}  // namespace kv7::test
