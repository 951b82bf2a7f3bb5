// The Qt renderer with real widgets: the main window against a recording
// link and the real model, notifications posted from another thread, and
// the secondary dialogs run modally from clicks; the dialog's timer and its
// lists filled anew as they open.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFrame>

#include <functional>
#include <thread>
#include <vector>

#include "FakeDialogs.h"
#include "QtTestSupport.h"
#include "app/AppModel.h"
#include "support/TestSupport.h"
#include "ui/AboutBox.h"
#include "ui/Branding.h"
#include "ui/DialogLayouts.h"
#include "ui/EncoderSetupDialog.h"
#include "ui/MeridianFlipPrompt.h"
#include "ui/OffsetAdjustDialog.h"
#include "ui/ControlIds.h"
#include "ui/DlgMain.h"
#include "ui/WritePreviewDialog.h"

namespace kv7::test {
namespace {

using Calls = std::vector<std::string>;

class QtMainWindowTest : public ::testing::Test {
protected:
    QtMainWindowTest()
    {
        model.setControl(&control);
        model.setSender(&dialog);
        model.setMainDialog(&dialog);
        PortChoices ports;
        ports.entries = {{1, "ttyUSB0"}, {7, "ttyACM0"}, {0, "Simulator"}};
        dialog.setPortChoices(ports);
        // The preview of writes has a test of its own.
        options.text = "[writes]\npreview=off\n";
        dialog.setOptionsStore(&options);
        window = host.open(dialog);
    }

    // Notifications come from the link worker, never from the UI thread.
    template <class F>
    void fromWorker(F f)
    {
        std::thread worker(f);
        worker.join();
    }

    void connectController(const ControllerParameters& p, const AxisConfiguration& a)
    {
        fromWorker([&] { model.onConfiguration(3, 1, p, a); });
        ASSERT_TRUE(waitUntil([&] { return text(*window, MainId::StatusLine) == "Connection established."; }));
        control.calls.clear();
    }

    RecordingControl control;
    FixedClock clock{UtcTime{2024, 3, 20, 21, 30, 0}};
    AppModel model{&clock};
    RecordingQtHost host;
    MemorySettingsStore options;
    DlgMain dialog{&control, &model, &host};
    QtDialog* window = nullptr;
};

TEST_F(QtMainWindowTest, OpensWithTheLayoutTheWidgetsAndTheirStartingState)
{
    EXPECT_EQ(window->windowTitle().toStdString(), std::string(mainCaption.data()));
    const DialogUnits units(window->font());
    EXPECT_EQ(window->size(), QSize(units.x(456), units.y(320)));

    int disabled = 0;
    for (int id : MainId::operatingControls)
        disabled += window->control(id)->isEnabled() ? 0 : 1;
    EXPECT_EQ(disabled, static_cast<int>(MainId::operatingControls.size()));
    EXPECT_TRUE(window->control(MainId::Connect)->isEnabled());

    EXPECT_TRUE(button(*window, MainId::TrackOff)->isChecked());
    EXPECT_FALSE(button(*window, MainId::TrackOn)->isChecked());
    auto* slider = qobject_cast<QSlider*>(window->control(MainId::Speed));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 31);
    EXPECT_EQ(slider->value(), 10);
    EXPECT_NE(slider->tickPosition(), QSlider::NoTicks);

    auto* ports = qobject_cast<QComboBox*>(window->control(MainId::PortList));
    ASSERT_NE(ports, nullptr);
    EXPECT_EQ(ports->count(), 3);
    EXPECT_EQ(ports->currentText(), "ttyUSB0");
    EXPECT_EQ(ports->itemText(2), "Simulator");

    for (int id : {MainId::North, MainId::South, MainId::East, MainId::West}) {
        EXPECT_FALSE(button(*window, id)->icon().isNull()) << id;
        EXPECT_EQ(button(*window, id)->iconSize(), QSize(16, 16));
    }
    EXPECT_TRUE(qobject_cast<QLineEdit*>(window->control(MainId::StatusLine))->isReadOnly());
    EXPECT_FALSE(qobject_cast<QLineEdit*>(window->control(MainId::TargetRa))->isReadOnly());
    EXPECT_EQ(window->findChildren<QGroupBox*>().size(), 7);
}

TEST(QtToggles, ACheckedToggleTakesTheDesktopsSelectionColoursInLightAndDarkThemes)
{
    QPalette dark(QColor(53, 53, 53), QColor(35, 35, 35));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::black);
    const QPalette light = QApplication::style()->standardPalette();
    const QPalette before = QApplication::palette();
    for (const QPalette& theme : {light, dark}) {
        QApplication::setPalette(theme);
        RecordingControl control;
        AppModel model;
        model.setControl(&control);
        RecordingQtHost host;
        DlgMain dialog{&control, &model, &host};
        QtDialog* window = host.open(dialog);
        model.onConfiguration(3, 1, ControllerParameters{}, AxisConfiguration{});   // enables the toggles
        dialog.showConfiguration(3, 1);
        click(*window, MainId::TrackOn);
        click(*window, MainId::SetWest);
        for (int id : {MainId::TrackOn, MainId::SetWest}) {
            const QPalette shown = button(*window, id)->palette();
            EXPECT_EQ(shown.color(QPalette::Button), theme.color(QPalette::Highlight)) << id;
            EXPECT_EQ(shown.color(QPalette::ButtonText), theme.color(QPalette::HighlightedText)) << id;
            EXPECT_TRUE(button(*window, id)->font().bold()) << id;
        }
        for (int id : {MainId::TrackOff, MainId::SetEast, MainId::FlipEast}) {
            EXPECT_EQ(button(*window, id)->palette().color(QPalette::Button), theme.color(QPalette::Button)) << id;
            EXPECT_FALSE(button(*window, id)->font().bold()) << id;
        }
        window->done(1);
    }
    QApplication::setPalette(before);
}

TEST_F(QtMainWindowTest, PostedConfigurationAndReadingsFillTheWindowAndClicksReachTheLink)
{
    ControllerParameters p;
    p.raGearRatio = 144;
    p.motorExtraByte = 3;
    AxisConfiguration a;
    a.raEncoderResolution = 33554432;
    a.decEncoderOffset = 99;
    connectController(p, a);
    for (int id : MainId::operatingControls)
        EXPECT_TRUE(window->control(id)->isEnabled()) << id;
    EXPECT_EQ(text(*window, MainId::RaGearRatio), "144");
    EXPECT_EQ(text(*window, MainId::RaEncoderResolution), "33554432");
    EXPECT_EQ(text(*window, MainId::DecEncoderOffset), "99");

    MountState m;
    m.valid = 1;
    m.raEncoderPosition = 7;
    m.decEncoderArcsec = 3723;
    fromWorker([&] { model.onMountState(m); });
    ASSERT_TRUE(waitUntil([&] { return text(*window, MainId::DecEncoderDms) == "+01:02:03"; }));
    EXPECT_EQ(text(*window, MainId::RaEncoderSystem), "7");

    click(*window, MainId::Connect);
    qobject_cast<QComboBox*>(window->control(MainId::PortList))->setCurrentIndex(1);
    click(*window, MainId::Baud115200);
    click(*window, MainId::Connect);
    click(*window, MainId::DecReverseMotor);
    qobject_cast<QSlider*>(window->control(MainId::Speed))->setValue(31);
    click(*window, MainId::West);
    click(*window, MainId::Stop);
    click(*window, MainId::TrackOn);
    click(*window, MainId::FlipEast);
    EXPECT_EQ(control.calls, (Calls{"connect 1 9600", "connect 7 115200", "setMotorReversal 2 3", "manualMove 2 31",
                                    "stopMotion 4", "setTracking 1", "pierSideAction 2"}));
    EXPECT_TRUE(button(*window, MainId::Baud115200)->isChecked());
    EXPECT_TRUE(button(*window, MainId::TrackOn)->isChecked());
    EXPECT_FALSE(button(*window, MainId::TrackOff)->isChecked());
    // The handler alone checks these; a click does not toggle them.
    EXPECT_FALSE(button(*window, MainId::FlipEast)->isChecked());

    type(*window, MainId::TargetRa, "12:30:00");
    type(*window, MainId::TargetDec, "-10:30:00");
    click(*window, MainId::Goto);
    EXPECT_EQ(control.calls.back(), "gotoTarget 675000 -37800");
}

// Counts the posted user messages that reach a widget.
class UserEventCounter final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() >= QEvent::User && e->type() <= QEvent::MaxUser)
            ++count;
        return false;
    }
    int count = 0;
};

TEST_F(QtMainWindowTest, AStreamOfReadingsFromTheWorkerReachesTheWindowAsOneEventShowingTheLast)
{
    UserEventCounter counter;
    window->installEventFilter(&counter);
    constexpr std::uint32_t readings = 5000;
    fromWorker([&] {
        MountState m;
        m.valid = 1;
        for (std::uint32_t n = 1; n <= readings; ++n) {
            m.raEncoderPosition = n;
            model.onMountState(m);
        }
        model.onStatus(13);
    });
    ASSERT_TRUE(waitUntil([&] { return text(*window, MainId::StatusLine) == "Ready"; }));
    EXPECT_EQ(text(*window, MainId::RaEncoderSystem), std::to_string(readings));
    EXPECT_EQ(counter.count, 2);   // the readings' one and the status
    window->removeEventFilter(&counter);
}

TEST_F(QtMainWindowTest, HeldHandPadButtonsMoveUntilLetGoOrUntilTheFocusLeaves)
{
    connectController(ControllerParameters{}, AxisConfiguration{});
    click(*window, MainId::HoldToMove);
    QAbstractButton* north = button(*window, MainId::North);
    QTest::mousePress(north, Qt::LeftButton);
    EXPECT_EQ(control.calls, (Calls{"manualMove 0 10"}));
    QTest::mouseRelease(north, Qt::LeftButton);
    EXPECT_EQ(control.calls, (Calls{"manualMove 0 10", "stopMotion 0"}));

    control.calls.clear();
    QApplication::setActiveWindow(window);
    QAbstractButton* east = button(*window, MainId::East);
    QTest::mousePress(east, Qt::LeftButton);
    window->control(MainId::TargetRa)->setFocus();   // the focus leaves the held button
    EXPECT_EQ(control.calls, (Calls{"manualMove 3 10", "stopMotion 3"}));
    QTest::mouseRelease(east, Qt::LeftButton);
    EXPECT_EQ(control.calls.size(), 2u);
}

TEST_F(QtMainWindowTest, EnterAndEscLeaveTheWindowOpenAndTheCloseBoxEndsItWithOne)
{
    QTest::keyClick(window, Qt::Key_Escape);
    QTest::keyClick(window, Qt::Key_Return);
    QTest::keyClick(window->control(MainId::TargetRa), Qt::Key_Enter);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->endResult(), -1);
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->endResult(), 1);
}

TEST_F(QtMainWindowTest, EncoderSetupRunsModallyAndItsOkReachesTheWindowAndTheLinkAfterThePreview)
{
    options.text = "[writes]\npreview=on\n";
    dialog.setOptionsStore(&options);
    connectController(ControllerParameters{}, AxisConfiguration{});
    onNextModal([](QtDialog& setup) {
        EXPECT_EQ(setup.windowTitle(), "Encoder setup");
        EXPECT_EQ(text(setup, EncoderSetupId::RaBitsPerRevolution), "25");
        type(setup, EncoderSetupId::RaBitsPerRevolution, "24");
        click(setup, EncoderSetupId::DecInvert);
        onNextModal([](QtDialog& preview) {
            EXPECT_EQ(preview.windowTitle(), "Before writing to the controller");
            auto label = [&](int id) { return qobject_cast<QLabel*>(preview.control(id))->text().toStdString(); };
            EXPECT_EQ(label(PreviewId::FieldFirst), "encoderFormat.decFlags");
            EXPECT_EQ(label(PreviewId::FieldFirst + 1), "encoderFormat.raBitsPerRevolution");
            EXPECT_EQ(label(PreviewId::AfterFirst + 1), "24");
            EXPECT_TRUE(qobject_cast<QPushButton*>(preview.control(PreviewId::Ok))->isDefault());
            click(preview, PreviewId::Ok);
        });
        click(setup, EncoderSetupId::Ok);
    });
    click(*window, MainId::EncoderSetup);
    EXPECT_EQ(text(*window, MainId::RaBitsPerRevolution), "24");
    EXPECT_EQ(text(*window, MainId::RaEncoderResolution), "16777216");
    EXPECT_EQ(control.calls, (Calls{"setEncoderFormat 0 12 24 0 1 12 25 0"}));

    onNextModal([](QtDialog& setup) {
        type(setup, EncoderSetupId::RaBitsPerRevolution, "9");
        setup.close();
    });
    click(*window, MainId::EncoderSetup);
    EXPECT_EQ(text(*window, MainId::RaBitsPerRevolution), "24");
    EXPECT_EQ(control.calls.size(), 1u);
}

// Whether an edit shows all of its text: the room QLineEdit::paintEvent
// leaves for it (contents rectangle, text margins, the fixed 2-pixel
// margins each side) against the text's width.
bool showsWholeText(const QtDialog& dialog, int id)
{
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(id));
    if (!edit)
        return false;
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->contentsRect();
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QRect contents =
        edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit).marginsRemoved(edit->textMargins());
    return edit->fontMetrics().horizontalAdvance(edit->text()) <= contents.width() - 2 * 2;
}

TEST_F(QtMainWindowTest, ThirtyTwoBitResolutionsShowInFullAndUnclipped)
{
    AxisConfiguration a;
    a.encoderFormat.raBitsPerRevolution = 32;
    a.raEncoderResolution = std::uint64_t{1} << 32;
    connectController(ControllerParameters{}, a);
    onNextModal([](QtDialog& setup) {
        type(setup, EncoderSetupId::DecBitsPerRevolution, "32");
        click(setup, EncoderSetupId::Ok);
    });
    click(*window, MainId::EncoderSetup);
    for (int id : {MainId::RaBitsPerRevolution, MainId::DecBitsPerRevolution})
        EXPECT_EQ(text(*window, id), "32") << id;
    for (int id : {MainId::RaEncoderResolution, MainId::DecEncoderResolution})
        EXPECT_EQ(text(*window, id), "4294967296") << id;
    for (int id : {MainId::RaBitsPerRevolution, MainId::DecBitsPerRevolution, MainId::RaEncoderResolution,
                   MainId::DecEncoderResolution})
        EXPECT_TRUE(showsWholeText(*window, id)) << id << " cuts \"" << text(*window, id) << "\"";
}

TEST_F(QtMainWindowTest, EncoderSetupNamesAFieldNoFormatHoldsAndStaysOpen)
{
    connectController(ControllerParameters{}, AxisConfiguration{});
    onNextModal([](QtDialog& setup) {
        type(setup, EncoderSetupId::RaBitsPerRevolution, "300");
        click(setup, EncoderSetupId::Ok);
        EXPECT_TRUE(setup.isVisible());
        auto* hint = qobject_cast<QLabel*>(setup.control(EncoderSetupId::Hint));
        ASSERT_NE(hint, nullptr);
        EXPECT_EQ(hint->text(), "RA bits per one revolution must be 1 to 32");
        EXPECT_LE(hint->fontMetrics().horizontalAdvance(hint->text()), hint->width());
        click(setup, EncoderSetupId::Cancel);
    });
    click(*window, MainId::EncoderSetup);
    EXPECT_TRUE(control.calls.empty());
}

TEST_F(QtMainWindowTest, MeridianPromptKeepsDeliveringNotificationsAndSendsTheAnswer)
{
    connectController(ControllerParameters{}, AxisConfiguration{});
    onNextModal([this](QtDialog& prompt) {
        EXPECT_EQ(prompt.windowTitle(), "Meridian flip before positioning");
        EXPECT_EQ(text(prompt, PromptId::Present), "East side: Scope looks to west.");
        EXPECT_TRUE(button(prompt, PromptId::WithoutFlip)->isEnabled());
        // The prompt's own loop still hands posted messages to the main window.
        fromWorker([this] { model.onStatus(14); });
        EXPECT_TRUE(waitUntil([this] { return text(*window, MainId::StatusLine) == "Manual movement"; }));
        QTest::keyClick(&prompt, Qt::Key_Return);
        EXPECT_TRUE(prompt.isVisible()) << "Enter must not answer";
        click(prompt, PromptId::WithoutFlip);
    });
    fromWorker([this] { model.onMeridianFlipPrompt(3); });
    ASSERT_TRUE(waitUntil([this] { return !control.calls.empty(); }));
    EXPECT_EQ(control.calls, (Calls{"answerMeridianFlip 1"}));

    onNextModal([](QtDialog& prompt) {
        EXPECT_FALSE(button(prompt, PromptId::WithoutFlip)->isEnabled());
        EXPECT_EQ(text(prompt, PromptId::Optional), "Meridian flip needed.");
        QTest::keyClick(&prompt, Qt::Key_Escape);
    });
    fromWorker([this] { model.onMeridianFlipPrompt(5); });
    ASSERT_TRUE(waitUntil([this] { return control.calls.size() == 2; }));
    EXPECT_EQ(control.calls.back(), "answerMeridianFlip 0");
}

TEST_F(QtMainWindowTest, AboutBoxShowsALinkThatOpensTheMakersAddressAndStaysOpen)
{
    onNextModal([this](QtDialog& about) {
        EXPECT_EQ(about.windowTitle(), "KV7-Encoder test");
        auto* link = qobject_cast<QLabel*>(about.control(AboutId::WebLink));
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->text().toStdString(), makerWebAddress);
        EXPECT_TRUE(link->font().underline());
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(link->palette().color(QPalette::WindowText), link->palette().color(QPalette::Link));
        auto* title = qobject_cast<QLabel*>(about.control(AboutId::Title));
        EXPECT_TRUE(title->font().bold());
        EXPECT_GT(QFontInfo(title->font()).pixelSize(), QFontInfo(about.font()).pixelSize());
        QTest::mouseClick(link, Qt::LeftButton);
        EXPECT_EQ(host.opened, (std::vector<std::string>{makerWebAddress}));
        EXPECT_TRUE(about.isVisible());
        QTest::keyClick(&about, Qt::Key_Return);
        EXPECT_EQ(about.endResult(), 1);
    });
    click(*window, MainId::About);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(QtMainWindowTest, OffsetAdjustStepsAndOkEditTheOffsetFieldOnly)
{
    AxisConfiguration a;
    a.raEncoderResolution = 33554432;
    a.raEncoderOffset = 16777216;
    connectController(ControllerParameters{}, a);
    onNextModal([](QtDialog& adjust) {
        auto* channel = qobject_cast<QLabel*>(adjust.control(OffsetAdjustId::Channel));
        EXPECT_EQ(channel->text(), "RA");
        EXPECT_TRUE(channel->font().bold());
        EXPECT_EQ(text(adjust, OffsetAdjustId::OriginalDms), "+180:00:00");
        click(adjust, OffsetAdjustId::StepUpFirst + 5);
        EXPECT_EQ(text(adjust, OffsetAdjustId::NewDms), "+181:00:00");
        click(adjust, OffsetAdjustId::Ok);
    });
    click(*window, MainId::RaAdjust);
    EXPECT_EQ(text(*window, MainId::RaEncoderOffset), "16870423");
    EXPECT_TRUE(control.calls.empty());
}

// A dialog of its own for the surface's timer and list events: a list, and
// a button that opens a second dialog modally.
namespace EventsId {
enum : int { List = 10, Open = 11 };
}

constexpr ControlEntry eventsControls[] = {
    {EventsId::List, ControlKind::DropDownList, "", {7, 7, 80, 60}},
    {EventsId::Open, ControlKind::PushButton, "Open", {7, 28, 50, 14}},
};
constexpr DialogLayout eventsLayout{0, "Surface events", {0, 0, 120, 60}, eventsControls};

TEST(QtSecondaryDialogs, TheDefaultButtonLooksLikeOneAndNoReadOnlyFieldTakesTheFirstFocus)
{
    RecordingQtHost host;
    AxisConfiguration axes;
    OffsetAdjustRequest request;
    request.encoderResolution = 1u << 20;
    request.offset = 4096;
    AboutBox about(host);
    EncoderSetupDialog setup(axes);
    OffsetAdjustDialog adjust(request);
    MeridianFlipPrompt prompt(FlipPrompt::EastRecommended);
    for (iDialogHandler* handler : std::vector<iDialogHandler*>{&about, &setup, &adjust, &prompt}) {
        QtDialog* dialog = host.open(*handler);
        QApplication::setActiveWindow(dialog);
        QCoreApplication::processEvents();
        const char* title = handler->layout().caption;
        for (const ControlEntry& entry : handler->layout().controls) {
            if (entry.flags & ControlFlag::DefaultButton) {
                EXPECT_TRUE(qobject_cast<QPushButton*>(dialog->control(entry.id))->isDefault()) << title;
            }
            auto* edit = qobject_cast<QLineEdit*>(dialog->control(entry.id));
            if (edit && edit->isReadOnly()) {
                EXPECT_FALSE(edit->hasFocus()) << title << " " << entry.id;
                EXPECT_FALSE(edit->hasSelectedText()) << title << " " << entry.id;
            }
        }
        dialog->done(0);
    }
}

TEST_F(QtMainWindowTest, TheSpeedSliderIsNoTallerThanItsGrooveAndTicks)
{
    auto* slider = qobject_cast<QSlider*>(window->control(MainId::Speed));
    ASSERT_NE(slider, nullptr);
    EXPECT_LE(slider->height(), slider->sizeHint().height());
    // Still centred on the line of its number.
    const QWidget* number = window->control(MainId::SpeedValue);
    EXPECT_NEAR(slider->geometry().center().y(), number->geometry().center().y(), number->height());
}

class EventsHandler final : public iDialogHandler {
public:
    const DialogLayout& layout() const override { return eventsLayout; }
    bool onInit(iControlSurface& dialog) override
    {
        dialog.addListEntry(EventsId::List, "COM1");
        dialog.selectListEntry(EventsId::List, 0);
        dialog.setTimer(periodMs);
        return true;
    }
    bool onCommand(iControlSurface& dialog, int id) override
    {
        if (id == EventsId::Open && nested) {
            host->runModal(*nested);
            return true;
        }
        if (id == DialogCommand::Cancel)
            dialog.endDialog(0);
        return id == DialogCommand::Cancel;
    }
    void onTimer(iControlSurface& dialog) override
    {
        ++ticks;
        if (ticks == stopAfter)
            dialog.setTimer(0);
        if (ticks == endAfter)
            dialog.endDialog(0);
    }
    void onListOpening(iControlSurface& dialog, int id) override
    {
        openings.push_back(id);
        if (opening)
            opening();
        dialog.clearList(id);
        dialog.addListEntry(id, "COM3");
        dialog.addListEntry(id, "COM4");
        dialog.selectListEntry(id, 1);
    }

    int periodMs = 0;
    int stopAfter = 0;   // 0: never
    int endAfter = 0;    // 0: never
    int ticks = 0;
    std::vector<int> openings;
    std::function<void()> opening;
    iDialogHost* host = nullptr;
    iDialogHandler* nested = nullptr;
};

// Lets the event loop run until a timer of its own has fired n times at the
// period: long enough for any timer of that period still running to tick.
bool runForPeriods(int n, int periodMs)
{
    QTimer probe;
    int fired = 0;
    QObject::connect(&probe, &QTimer::timeout, [&fired] { ++fired; });
    probe.start(periodMs);
    return waitUntil([&fired, n] { return fired >= n; });
}

class QtSurfaceEventsTest : public ::testing::Test {
protected:
    QComboBox* list(const QtDialog& dialog) { return qobject_cast<QComboBox*>(dialog.control(EventsId::List)); }

    RecordingQtHost host;
    EventsHandler handler;
};

TEST_F(QtSurfaceEventsTest, TheTimerCallsOnTimerAgainAndAgain)
{
    handler.periodMs = 10;
    host.open(handler);
    EXPECT_TRUE(waitUntil([this] { return handler.ticks >= 3; }));
}

TEST_F(QtSurfaceEventsTest, SetTimerZeroStopsTheTicks)
{
    handler.periodMs = 10;
    handler.stopAfter = 2;
    host.open(handler);
    ASSERT_TRUE(waitUntil([this] { return handler.ticks >= 2; }));
    ASSERT_TRUE(runForPeriods(5, 10));
    EXPECT_EQ(handler.ticks, 2);
}

TEST_F(QtSurfaceEventsTest, TheTimerEndsWithTheDialog)
{
    handler.periodMs = 10;
    handler.endAfter = 2;
    QtDialog* dialog = host.open(handler);
    ASSERT_TRUE(waitUntil([this] { return handler.ticks >= 2; }));
    EXPECT_EQ(dialog->endResult(), 0);
    ASSERT_TRUE(runForPeriods(5, 10));
    EXPECT_EQ(handler.ticks, 2);
}

TEST_F(QtSurfaceEventsTest, TheOwnersTimerKeepsTickingWhileANestedDialogRuns)
{
    EventsHandler inner;
    handler.periodMs = 10;
    handler.host = &host;
    handler.nested = &inner;
    QtDialog* owner = host.open(handler);
    onNextModal([this](QtDialog& nested) {
        const int before = handler.ticks;
        EXPECT_TRUE(waitUntil([this, before] { return handler.ticks >= before + 3; }));
        nested.endDialog(0);
    });
    click(*owner, EventsId::Open);
}

TEST_F(QtSurfaceEventsTest, AListAboutToOpenIsFilledAnewBeforeItShows)
{
    QtDialog* dialog = host.open(handler);
    QComboBox* ports = list(*dialog);
    ASSERT_NE(ports, nullptr);
    bool shownWhileFilling = true;
    handler.opening = [&] { shownWhileFilling = ports->view()->isVisible(); };
    ports->showPopup();
    EXPECT_EQ(handler.openings, (std::vector<int>{EventsId::List}));
    EXPECT_FALSE(shownWhileFilling);
    EXPECT_TRUE(ports->view()->isVisible());
    ASSERT_EQ(ports->count(), 2);
    EXPECT_EQ(ports->itemText(0), "COM3");
    EXPECT_EQ(ports->currentText(), "COM4");
    ports->hidePopup();
}

TEST_F(QtSurfaceEventsTest, ClearListEmptiesTheList)
{
    QtDialog* dialog = host.open(handler);
    ASSERT_EQ(list(*dialog)->count(), 1);
    dialog->clearList(EventsId::List);
    EXPECT_EQ(list(*dialog)->count(), 0);
    EXPECT_EQ(dialog->selectedListEntry(EventsId::List), -1);
}

TEST(QtCopies, ASecondCopysWindowOpensAStepAwayFromTheFirstsAndNeverOnIt)
{
    // The first copy's window is where Qt centres it; copy n's n steps off.
    QtDialogHost first;
    AboutBox firstBox(first);
    const QPoint firstAt = first.open(firstBox)->pos();
    for (int copy : {1, 2}) {
        QtDialogHost later;
        later.setCopyIndex(copy);
        AboutBox box(later);
        const QPoint at = later.open(box)->pos();
        EXPECT_EQ(at - firstAt, QPoint(copy * QtDialogHost::copyStep, copy * QtDialogHost::copyStep)) << copy;
    }
}

}  // namespace
}  // namespace kv7::test
