// kv7-ui-screenshots DIR: renders the five dialogs from their real widgets
// into DIR/<name>.png; the main window after a real session with the
// built-in simulator. Runs without a display.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/AboutBox.h"
#include "ui/CommissioningDialog.h"
#include "ui/ControlIds.h"
#include "ui/DlgMain.h"
#include "ui/EncoderSetupDialog.h"
#include "ui/MeridianFlipPrompt.h"
#include "ui/OffsetAdjustDialog.h"
#include "ui/SnapshotDialog.h"
#include "ui/WritePreviewDialog.h"
#include "ui/qt/QtDialogHost.h"
#include "ui/qt/SimulatorSession.h"

namespace {

// The host never shows a browser here.
class PictureHost final : public kv7::QtDialogHost {
public:
    void openWebAddress(const char*) override {}
};

bool save(QWidget* dialog, const QDir& dir, const char* name)
{
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    if (!dialog->grab().save(path)) {
        std::fprintf(stderr, "kv7-ui-screenshots: cannot write %s\n", path.toLocal8Bit().constData());
        return false;
    }
    std::printf("%s\n", path.toLocal8Bit().constData());
    return true;
}



// RA text of the sidereal time minus one hour: a target just west of the
// meridian, which the east side reaches without a flip.
std::string targetWestOfMeridian(double lst)
{
    double hours = std::fmod(lst - 1.0 + 48.0, 24.0);
    const int seconds = static_cast<int>(hours * 3600.0);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", seconds / 3600, seconds % 3600 / 60, seconds % 60);
    return text;
}


// The main window as it really runs: connected to the built-in simulator
// (running fast), after a GOTO and an encoder reading; then during a flip.
bool mainWindowPictures(PictureHost& host, const QDir& dir)
{
    kv7::sim::PtyHost::Options simulatorOptions;
    simulatorOptions.timeScale = 50;
    kv7::SimulatorSession session(host, simulatorOptions);
    kv7::DlgMain& mainDialog = session.mainDialog;
    kv7::QtDialog* main = session.window;
    auto status = [&] { return session.status(); };

    bool ok = session.connect(15000);
    main->setText(kv7::MainId::TargetRa, targetWestOfMeridian(session.app.model().localSiderealTime()));
    main->setText(kv7::MainId::TargetDec, "+41:16:09");
    mainDialog.handleCommand(kv7::MainId::Goto);
    ok = kv7::waitFor([&] { return status() == "Ready"; }, 60000) && ok;
    mainDialog.handleCommand(kv7::MainId::ReadEncoders);
    ok = kv7::waitFor([&] { return !kv7::fieldText(main, kv7::MainId::RaEncoderSystem).empty(); }, 10000) && ok;
    mainDialog.handleCommand(kv7::MainId::TimeGet);
    mainDialog.handleCommand(kv7::MainId::TrackOn);
    kv7::waitFor([] { return false; }, 300);
    if (!ok)
        std::fprintf(stderr, "kv7-ui-screenshots: the simulator session did not finish; status: %s\n",
                     status().c_str());
    ok = save(main, dir, "main") && ok;
    // A meridian flip under way names itself on the status line.
    mainDialog.handleCommand(kv7::MainId::FlipWest);
    ok = save(main, dir, "main-flipping") && ok;
    kv7::waitFor([&] { return status() == "Ready"; }, 60000);
    return ok;
}

// The commissioning dialog as the operator meets it: a mount whose RA
// encoder sends Gray code the controller is not yet told of, and whose Dec
// encoder sits on a gear with some error and play. The assistant finds the
// RA format and writes it, checks Dec, and the monitor then watches both
// while RA turns.
bool commissioningPictures(PictureHost& host, const QDir& dir)
{
    kv7::sim::PtyHost::Options simulatorOptions;
    // Real time: the monitor judges jumps by the mount's real top speed.
    simulatorOptions.timeScale = 1;
    simulatorOptions.config.raEncoder.format.flags = kv7::sim::encoderFlagGray;
    simulatorOptions.config.decEncoder.fit.scalePpm = 150;
    simulatorOptions.config.decEncoder.fit.backlashArcsec = 45;
    simulatorOptions.config.decEncoder.fit.noiseCounts = 3;
    kv7::SimulatorSession session(host, simulatorOptions);
    bool ok = session.connect(15000);

    // The dialog runs modally: it is driven from the event loop it runs.
    namespace C = kv7::CommissioningId;
    QTimer::singleShot(100, [&] {
        auto* dialog = dynamic_cast<kv7::QtDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            ok = false;
            return;
        }
        auto click = [&](int id) { dialog->handler().onCommand(*dialog, id); };
        auto activityStarts = [&](const char* text) { return kv7::fieldText(dialog, C::Activity).rfind(text, 0) == 0; };
        click(C::DetectFormat);
        ok = kv7::waitFor([&] { return activityStarts("Detection done"); }, 60000) && ok;
        ok = save(dialog, dir, "commissioning-detect") && ok;
        click(C::WriteFormat);
        dialog->selectListEntry(C::Axis, 1);
        click(C::CheckEncoder);
        ok = kv7::waitFor([&] { return activityStarts("Check done"); }, 120000) && ok;
        ok = save(dialog, dir, "commissioning-check") && ok;
        click(C::MonitorStart);
        session.app.control().manualMove(kv7::HandPad::West, 8);
        kv7::waitFor([] { return false; }, 3000);
        session.app.control().stopMotion(kv7::StopAxes::RaAxis);
        kv7::waitFor([] { return false; }, 1500);
        ok = save(dialog, dir, "commissioning-monitor") && ok;
        click(C::Close);
    });
    session.mainDialog.handleCommand(kv7::MainId::Commissioning);
    if (!ok)
        std::fprintf(stderr, "kv7-ui-screenshots: the commissioning session did not finish\n");
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: kv7-ui-screenshots DIR\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "kv7-ui-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    PictureHost host;
    bool ok = true;

    ok = mainWindowPictures(host, dir) && ok;
    ok = commissioningPictures(host, dir) && ok;

    kv7::AxisConfiguration axes;
    axes.encoderFormat.decFlags = 2;
    kv7::EncoderSetupDialog encoderSetup(axes);
    ok = save(host.open(encoderSetup), dir, "encoder-setup") && ok;

    kv7::OffsetAdjustRequest request;
    request.encoderResolution = 33554432;
    request.offset = 16777216;
    kv7::OffsetAdjustDialog offsetAdjust(request);
    kv7::QtDialog* adjust = host.open(offsetAdjust);
    adjust->handler().onCommand(*adjust, kv7::OffsetAdjustId::StepUpFirst + 5);
    ok = save(adjust, dir, "offset-adjust") && ok;

    kv7::MeridianFlipPrompt prompt(3);
    ok = save(host.open(prompt), dir, "meridian-flip-prompt") && ok;

    kv7::AboutBox about(host);
    ok = save(host.open(about), dir, "about") && ok;

    kv7::WritePreviewDialog preview("The restore writes these settings to the controller:",
                                    {{"encoderFormat.raFlags", "2", "0"},
                                     {"encoderCalibration.raEncoderOffset", "1000", "0"},
                                     {"motor.reverseMotorBits", "2", "0"}});
    ok = save(host.open(preview), dir, "write-preview") && ok;

    kv7::SnapshotDialog snapshot(true);
    ok = save(host.open(snapshot), dir, "snapshot") && ok;
    return ok ? 0 : 1;
}
