// The main window's logic against a fake surface, a recording link and the
// real model, with notifications taking the posted road.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeDialogs.h"
#include "app/AppModel.h"
#include "app/StatusText.h"
#include "astro/TextConvert.h"
#include "support/TestSupport.h"
#include "ui/Branding.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/DlgMain.h"
#include "ui/FieldText.h"

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

    void enableControls()
    {
        connectWith(ControllerParameters{}, AxisConfiguration{});
        control.calls.clear();
    }

    RecordingControl control;
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
    EXPECT_EQ(window.selectedListEntry(MainId::PortList), 0);

    EXPECT_TRUE(click(MainId::Connect));
    window.selectListEntry(MainId::PortList, 4);
    window.setCheck(MainId::Baud115200, true);
    click(MainId::Connect);
    window.selectListEntry(MainId::PortList, 255);
    window.setCheck(MainId::Baud115200, false);
    click(MainId::Connect);
    EXPECT_EQ(control.calls, (Calls{"connect 1 9600", "connect 5 115200", "connect 0 9600"}));
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
        {"an error with no success before it", {{E::Status, 6}, {E::Reading}}, ""},
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

TEST_F(MainDialogTest, MotorReversalSendsBothAxesWithTheControllersExtraByte)
{
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

TEST_F(MainDialogTest, EncoderCalibrationSendsBitsAndOffsetsButNeverAnUnreadableOffset)
{
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

TEST_F(MainDialogTest, IdsWithoutActionAreLeftAloneAndOnlyTheCloseBoxEndsTheWindow)
{
    open();
    enableControls();
    for (int id : {MainId::PortList, MainId::Baud115200, MainId::TargetRa, MainId::RaEncoderOffset,
                   MainId::SyncToEncoders, MainId::GetState, MainId::PlaceGet, MainId::PlaceSet, MainId::TimeSet,
                   MainId::TargetGet})
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

TEST_F(MainDialogTest, SiderealTimeButtonShowsTheModelsTimeWithinOneDay)
{
    open();
    click(MainId::TimeGet);
    char expected[64];
    formatSiderealTime(model.localSiderealTime(), expected);
    EXPECT_EQ(window.text(MainId::SiderealTime), expected);
    EXPECT_EQ(window.text(MainId::UniversalTime), "");
}

TEST_F(MainDialogTest, AboutOpensTheBoxWhoseLinkOpensTheMakersAddress)
{
    open();
    host.expect([](FakeSurface& about, iDialogHandler& handler) {
        EXPECT_TRUE(about.click(handler, AboutId::WebLink));
        EXPECT_FALSE(about.ended);
        about.click(handler, AboutId::Exit);
    });
    click(MainId::About);
    EXPECT_EQ(host.captions, (std::vector<std::string>{"KV7-Encoder test"}));
    EXPECT_EQ(host.opened, (std::vector<std::string>{makerWebAddress}));
}

}  // namespace
}  // namespace kv7::test
