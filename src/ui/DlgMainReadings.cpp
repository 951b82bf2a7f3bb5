// The main window's readings: the live view and its timer, the encoder and
// motor rows, and the target read back from where the axes point.
#include "ui/DlgMain.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "astro/TextConvert.h"
#include "ui/CommissioningDialog.h"
#include "ui/ControlIds.h"
#include "ui/FieldText.h"
#include "ui/RecordFields.h"
#include "ui/TargetText.h"
#include "ui/WindowText.h"

namespace kv7 {

void DlgMain::onTimer(iControlSurface&)
{
    if (!window.load(std::memory_order_relaxed))
        return;
    showTime();
    // Renderers need not report every move of the slider; its number
    // catches up here at the latest.
    showSpeed(0);
    if (readingOut != noReading && ++readingOutTicks >= readingLostTicks) {
        // Never answered and never reported: ask for what is wanted anew.
        readingOut = noReading;
        sendWantedReading();
    }
    if (liveViewQuietTicks > 0) {
        --liveViewQuietTicks;
        return;
    }
    // One reading at a time: asking again while one is out would restart
    // the link's wait for it, so a controller that stopped answering would
    // never be reported.
    if (!connected || readingOut != noReading || !surface().isChecked(MainId::LiveView))
        return;
    // The link holds a reading back while the line is busy, so this never
    // cuts into positioning; it only keeps the rows current.
    askReading(liveViewAxesNext ? ReadMode::Axes : ReadMode::Encoders);
    liveViewAxesNext = !liveViewAxesNext;
}

void DlgMain::askReading(ReadMode::Mode mode)
{
    (mode == ReadMode::Axes ? axesWanted : encodersWanted) = true;
    if (readingOut == noReading)
        sendWantedReading();
}

void DlgMain::sendWantedReading()
{
    if (commissioningOpen || (!axesWanted && !encodersWanted))
        return;
    // The axes first: a Target GET waits for them.
    const ReadMode::Mode mode = axesWanted ? ReadMode::Axes : ReadMode::Encoders;
    (mode == ReadMode::Axes ? axesWanted : encodersWanted) = false;
    readingOut = mode;
    readingOutTicks = 0;
    if (mode == ReadMode::Axes && restoreStep == RestoreStep::Written)
        restoreStep = RestoreStep::ReadingSent;
    control->readEncoders(mode);
}

void DlgMain::forgetReadings()
{
    readingOut = noReading;
    encodersWanted = false;
    axesWanted = false;
}

void DlgMain::showMountState(const MountState& mountState)
{
    iControlSurface* dialog = window.load(std::memory_order_relaxed);
    if (!dialog)
        return;
    if (commissioningOpen && readingOut == noReading) {
        commissioningOpen->onMountState(mountState);
        return;
    }
    // The record keeps the last of both readings; which one is new is
    // known only from what was asked.
    const int answered = readingOut;
    readingOut = noReading;
    if (mountState.valid == 1) {
        retireStatusError();
        showMountStateFields(*dialog, mountState);
    }
    if (mountState.axesValid == 1) {
        retireStatusError();
        showMotorRows(mountState);
        if (targetGetPending && answered == ReadMode::Axes)
            fillTargetFromSky(mountState);
    }
    if (answered == ReadMode::Axes && restoreStep == RestoreStep::ReadingSent)
        readBackRestore();
    sendWantedReading();
}

void DlgMain::showMotorRows(const MountState& m)
{
    iControlSurface& dialog = surface();
    dialog.setText(MainId::RaMotorSystem, std::to_string(m.raAxisPosition));
    dialog.setText(MainId::DecMotorSystem, std::to_string(m.decAxisPosition));
    struct Row {
        std::int32_t position;
        std::uint32_t perRevolution;
        int arcsecField;
        int dmsField;
    };
    const Row rows[] = {
        {m.raAxisPosition, model->parameters.raMicrosteps, MainId::RaMotorArcsec, MainId::RaMotorDms},
        {m.decAxisPosition, model->parameters.decMicrosteps, MainId::DecMotorArcsec, MainId::DecMotorDms},
    };
    for (const Row& row : rows) {
        // Without the axis's microsteps per turn there is no angle to show.
        if (row.perRevolution == 0) {
            dialog.setText(row.arcsecField, "");
            dialog.setText(row.dmsField, "");
            continue;
        }
        const std::int32_t arcsec = axisArcsec(row.position, row.perRevolution);
        dialog.setText(row.arcsecField, std::to_string(arcsec));
        setDmsField(dialog, row.dmsField, arcsec);
    }
    dialog.setText(MainId::PierSide, pierSideText(m.pierState));
}

void DlgMain::fillTargetFromSky(const MountState& m)
{
    targetGetPending = false;
    if (m.skyValid != 1) {
        showMessage("Target not read: pier side unknown");
        return;
    }
    // RA with hundredths of a second of time, so that reading the field back
    // gives the same arcsecond; Dec in whole arcseconds, exactly.
    const std::uint32_t seconds = m.raArcsec / 15;
    const std::uint32_t hundredths = (m.raArcsec % 15 * 100 + 7) / 15;
    char ra[20];
    std::snprintf(ra, sizeof ra, "%02u:%02u:%02u.%02u", seconds / 3600, seconds / 60 % 60, seconds % 60, hundredths);
    const std::uint32_t dec = static_cast<std::uint32_t>(m.decArcsec < 0 ? -static_cast<std::int64_t>(m.decArcsec)
                                                                         : m.decArcsec);
    char decText[16];
    std::snprintf(decText, sizeof decText, "%c%02u:%02u:%02u", m.decArcsec < 0 ? '-' : '+', dec / 3600,
                  dec / 60 % 60, dec % 60);
    iControlSurface& dialog = surface();
    dialog.setText(MainId::TargetRa, ra);
    dialog.setText(MainId::TargetDec, decText);
    showMessage("");
}

void DlgMain::getState(int) { askReading(ReadMode::Axes); }

void DlgMain::targetGet(int)
{
    targetGetPending = true;
    askReading(ReadMode::Axes);
}

void DlgMain::readEncoders(int) { askReading(ReadMode::Encoders); }

void DlgMain::pauseLiveView() { liveViewQuietTicks = liveViewPauseTicks; }

void DlgMain::showSpeed(int)
{
    iControlSurface& dialog = surface();
    dialog.setText(MainId::SpeedValue, std::to_string(dialog.sliderPosition(MainId::Speed)));
}

}  // namespace kv7
