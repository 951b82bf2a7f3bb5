#include "ui/DlgMain.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "astro/TextConvert.h"
#include "ui/AboutBox.h"
#include "ui/CommissioningDialog.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/EncoderSetupDialog.h"
#include "ui/FieldText.h"
#include "ui/MeridianFlipPrompt.h"
#include "ui/RecordFields.h"
#include "ui/TargetText.h"
#include "ui/WindowText.h"
#include "ui/WritePreviewDialog.h"

namespace kv7 {

struct DlgMain::Command {
    int id;
    void (DlgMain::*action)(int);
    int arg;
};

const DlgMain::Command DlgMain::commands[] = {
    {MainId::About, &DlgMain::about, 0},
    {MainId::Commissioning, &DlgMain::commissioning, 0},
    {MainId::Connect, &DlgMain::connectPort, 0},
    {MainId::Disconnect, &DlgMain::disconnectPort, 0},
    {MainId::Stop, &DlgMain::stopMotion, 0},
    {MainId::North, &DlgMain::handPad, HandPad::North},
    {MainId::South, &DlgMain::handPad, HandPad::South},
    {MainId::West, &DlgMain::handPad, HandPad::West},
    {MainId::East, &DlgMain::handPad, HandPad::East},
    {MainId::EncoderSetup, &DlgMain::encoderSetup, 0},
    {MainId::ReadEncoders, &DlgMain::readEncoders, 0},
    {MainId::SyncToTarget, &DlgMain::syncToTarget, 0},
    {MainId::EncoderCalibration, &DlgMain::encoderCalibration, 0},
    {MainId::RaReverseMotor, &DlgMain::sendMotorReversal, 0},
    {MainId::DecReverseMotor, &DlgMain::sendMotorReversal, 0},
    {MainId::RaAdjust, &DlgMain::adjustOffset, 0},
    {MainId::DecAdjust, &DlgMain::adjustOffset, 1},
    {MainId::Goto, &DlgMain::gotoTarget, 0},
    {MainId::TimeGet, &DlgMain::showSiderealTime, 0},
    {MainId::TrackOn, &DlgMain::tracking, 1},
    {MainId::TrackOff, &DlgMain::tracking, 0},
    {MainId::SetEast, &DlgMain::referencePosition, PierAction::SetEast},
    {MainId::SetWest, &DlgMain::referencePosition, PierAction::SetWest},
    {MainId::FlipEast, &DlgMain::flip, PierAction::FlipEast},
    {MainId::FlipWest, &DlgMain::flip, PierAction::FlipWest},
    {MainId::SaveIntoKv7, &DlgMain::storeParameters, 0},
    {MainId::GetState, &DlgMain::getState, 0},
    {MainId::SyncToEncoders, &DlgMain::syncToEncoders, 0},
    {MainId::TargetGet, &DlgMain::targetGet, 0},
    {MainId::PlaceGet, &DlgMain::placeGet, 0},
    {MainId::PlaceSet, &DlgMain::placeSet, 0},
    {MainId::TimeSet, &DlgMain::timeSet, 0},
    {MainId::Speed, &DlgMain::showSpeed, 0},
    {MainId::HoldToMove, &DlgMain::holdToMove, 0},
    {MainId::Snapshot, &DlgMain::snapshot, 0},
};

DlgMain::DlgMain(iKV7Control* control, AppModel* model, iDialogHost* host)
    : control(control), model(model), host(host)
{
}

int DlgMain::runDialog() { return host->runModal(*this); }

const DialogLayout& DlgMain::layout() const { return mainDialogLayout(); }

bool DlgMain::onInit(iControlSurface& dialog)
{
    window.store(&dialog, std::memory_order_release);
    dialog.setImage(MainId::North, ArrowImage::Up);
    dialog.setImage(MainId::South, ArrowImage::Down);
    dialog.setImage(MainId::East, ArrowImage::Left);
    dialog.setImage(MainId::West, ArrowImage::Right);
    dialog.setSliderRange(MainId::Speed, 0, 31);   // the controller's 32 speeds
    dialog.setSliderPosition(MainId::Speed, 10);
    dialog.setCheck(MainId::TrackOn, false);
    dialog.setCheck(MainId::TrackOff, true);
    enableOperatingControls(false);
    if (portSource)
        ports = portSource();
    for (const PortChoice& choice : ports.entries)
        dialog.addListEntry(MainId::PortList, choice.label);
    dialog.selectListEntry(MainId::PortList, static_cast<int>(ports.preselected));
    dialog.setCheck(MainId::LiveView, true);
    dialog.setCheck(MainId::HoldToMove, options.holdToMove);
    showStatus(Status::NotConnected);
    showSpeed(0);
    showSite();
    shownUtc.clear();
    showTime();
    if (!siteProblem.empty())
        showMessage(siteProblem.c_str());
    dialog.setTimer(timerPeriodMs);
    return true;
}

bool DlgMain::onCommand(iControlSurface&, int id) { return handleCommand(id); }

void DlgMain::onClose(iControlSurface& dialog) { dialog.endDialog(1); }

void DlgMain::onUserMessage(std::uint32_t code, std::uint32_t value) { model->dispatchUserMessage(code, value); }

void DlgMain::postUserMessage(std::uint32_t code, std::uint32_t value)
{
    if (iControlSurface* dialog = window.load(std::memory_order_acquire))
        dialog->postUserMessage(code, value);
}

bool DlgMain::handleCommand(int id)
{
    if (!window.load(std::memory_order_relaxed))
        return false;
    for (const Command& c : commands) {
        if (c.id == id) {
            (this->*c.action)(c.arg);
            return true;
        }
    }
    return false;
}

void DlgMain::enableOperatingControls(bool enable)
{
    iControlSurface* dialog = window.load(std::memory_order_relaxed);
    if (!dialog)
        return;
    for (int id : MainId::operatingControls)
        dialog->enable(id, enable);
}

iControlSurface& DlgMain::surface() const { return *window.load(std::memory_order_relaxed); }

void DlgMain::showMessage(const char* text)
{
    if (!*text)
        text = *unsentOffsetNote() ? unsentOffsetNote() : connectionNote;
    surface().setText(MainId::MessageLine, text);
}

void DlgMain::noteConnection(const char* note)
{
    char shown[128];
    surface().getText(MainId::MessageLine, shown, sizeof shown);
    const bool showingNote = std::string_view(shown) == connectionNote;
    connectionNote = note;
    if (showingNote || !*shown)
        showMessage("");
}

const char* DlgMain::unsentOffsetNote() const
{
    if (raOffsetUnsent && decOffsetUnsent)
        return "Both offsets edited: not sent yet";
    if (raOffsetUnsent)
        return "RA offset edited: not sent yet";
    if (decOffsetUnsent)
        return "Dec offset edited: not sent yet";
    return "";
}

void DlgMain::forgetUnsentOffsets()
{
    const std::string note = unsentOffsetNote();
    raOffsetUnsent = false;
    decOffsetUnsent = false;
    if (note.empty())
        return;
    // Whatever else the line says (a refused target) still holds.
    char shown[128];
    surface().getText(MainId::MessageLine, shown, sizeof shown);
    if (note == shown)
        showMessage("");
}

void DlgMain::retireStatusError()
{
    if (!statusIsError)
        return;
    statusIsError = false;
    surface().setText(MainId::StatusLine, lastSuccessText);
}

// ---- What the model reports -------------------------------------------------

void DlgMain::showStatus(std::uint16_t status)
{
    followStatus(status);
    if (commissioningOpen)
        commissioningOpen->onStatus(status);
    iControlSurface* dialog = window.load(std::memory_order_relaxed);
    const char* text = statusText(status);
    if (!text || !dialog)
        return;
    dialog->setText(MainId::StatusLine, text);
    statusIsError = isErrorStatus(status);
    if (!statusIsError)
        lastSuccessText = text;
}

void DlgMain::followStatus(std::uint16_t status)
{
    switch (status) {
    case Status::NotConnected:
    case Status::ConnectionClosed:
    case Status::CannotOpenPort:
    case Status::CannotConnect:
    case Status::UnknownDevice:
    case Status::NotSupportedDevice:
    case Status::NotConnectedYet:
    case Status::ConnectionLost:
    case Status::PortInUse:
    case Status::OutputDiscarded:
        if (status != Status::ConnectionClosed)
            abandonRestore("Restore sent, not read back: the connection failed");
        connected = false;
        forgetReadings();
        targetGetPending = false;
        if (window.load(std::memory_order_relaxed))
            noteConnection("");
        break;
    case Status::TestingWithoutPort:
        // "Connecting..." follows at once; the second field keeps saying
        // what the connection is while it lasts.
        if (window.load(std::memory_order_relaxed))
            noteConnection(statusText(status));
        break;
    case Status::NoReply:
    case Status::CommunicationError:
        // The reading out will not be answered; what is wanted goes next.
        readingOut = noReading;
        sendWantedReading();
        break;
    default: break;
    }
}

void DlgMain::showConfiguration(std::uint16_t status, std::uint32_t)
{
    iControlSurface* dialog = window.load(std::memory_order_relaxed);
    if (!dialog)
        return;
    connected = true;
    enableOperatingControls(true);
    // The configuration itself is a success; an error it carries is new.
    if (statusText(status))
        showStatus(status);
    else
        retireStatusError();
    showConfigurationFields(*dialog, model->parameters, model->axisConfiguration);
    parametersAtConnect = model->parameters;
    axesAtConnect = model->axisConfiguration;
    forgetUnsentOffsets();
    if (formatToRestore) {
        useEncoderFormat(*formatToRestore, true);
        formatToRestore.reset();
        showMessage("The encoder format from before the detection was written back.");
    }
    if (restoreToVerify && restoreStep == RestoreStep::None)
        verifyRestore();
}

void DlgMain::askMeridianFlip(std::int32_t kind)
{
    // Runs a nested modal loop; further notifications keep arriving meanwhile.
    const std::uint16_t answer = showMeridianFlipPrompt(*host, kind);
    control->answerMeridianFlip(answer);
}

// ---- Commands ---------------------------------------------------------------

void DlgMain::about(int) { showAboutBox(*host); }

void DlgMain::connectPort(int)
{
    iControlSurface& dialog = surface();
    const int index = dialog.selectedListEntry(MainId::PortList);
    if (index < 0 || static_cast<std::size_t>(index) >= ports.entries.size()) {
        showMessage("Choose a port first");
        return;
    }
    const std::uint32_t baud = dialog.isChecked(MainId::Baud115200) ? 115200 : 9600;
    const PortChoice& port = ports.entries[static_cast<std::size_t>(index)];
    connectedPort = port.number;
    connectedBaud = baud;
    connectedPortName = port.label;
    model->connect(port.number, baud);
}

void DlgMain::disconnectPort(int)
{
    abandonRestore("Restore sent, not read back: disconnected");
    connected = false;
    forgetReadings();
    control->disconnect();
}

void DlgMain::stopMotion(int) { control->stopMotion(StopAxes::Both); }

void DlgMain::encoderSetup(int)
{
    const AxisConfiguration held = model->axisConfiguration;
    if (showEncoderSetup(*host, model->axisConfiguration) != 1)
        return;
    const EncoderFormat chosen = model->axisConfiguration.encoderFormat;
    model->axisConfiguration = held;
    if (!confirmWrite("Encoder setup will change the controller's encoder format:", model->parameters,
                      withEncoderFormat(held, chosen)))
        return;
    useEncoderFormat(chosen, true);
}

bool DlgMain::confirmWrite(const char* heading, const ControllerParameters& parameters,
                           const AxisConfiguration& axes)
{
    return confirmChanges(heading, settingChanges(snapshotOf(model->parameters, model->axisConfiguration),
                                                  snapshotOf(parameters, axes)));
}

bool DlgMain::confirmChanges(const char* heading, std::vector<SettingChange> changes)
{
    if (changes.empty() || !options.previewWrites)
        return true;
    bool keep = true;
    const bool confirmed = showWritePreview(*host, heading, std::move(changes), keep) == PreviewId::Ok;
    if (!keep)
        keepPreviewing(false);
    if (!confirmed)
        showMessage("Nothing was sent.");
    return confirmed;
}

void DlgMain::keepPreviewing(bool on)
{
    options.previewWrites = on;
    std::string error;
    if (optionsStore && !optionsStore->save(formatWindowOptions(options), error))
        showMessage("Option not kept for the next start");
}

void DlgMain::useEncoderFormat(const EncoderFormat& f, bool send)
{
    iControlSurface& dialog = surface();
    model->axisConfiguration.encoderFormat = f;
    setUnsignedField(dialog, MainId::RaBitsPerRevolution, f.raBitsPerRevolution);
    setResolutionField(dialog, MainId::RaEncoderResolution, f.raBitsPerRevolution);
    setUnsignedField(dialog, MainId::DecBitsPerRevolution, f.decBitsPerRevolution);
    setResolutionField(dialog, MainId::DecEncoderResolution, f.decBitsPerRevolution);
    if (send)
        control->setEncoderFormat(f.raFlags, f.raLeadingBits, f.raBitsPerRevolution, f.raBitsForRevolutions,
                                  f.decFlags, f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions);
}

void DlgMain::syncToTarget(int)
{
    if (!readTarget())
        return;
    pauseLiveView();
    control->syncToTarget(targetRa, targetDec);
}

void DlgMain::syncToEncoders(int)
{
    pauseLiveView();
    control->syncToEncoders();
}

void DlgMain::encoderCalibration(int)
{
    iControlSurface& dialog = surface();
    // An offset that is not a number would go out as 0 and overwrite the
    // controller's calibration; "Save into KV7" would then make it permanent.
    std::uint32_t raOffset = 0;
    std::uint32_t decOffset = 0;
    char text[64];
    dialog.getText(MainId::RaEncoderOffset, text, sizeof text);
    if (!parseUnsignedText(text, raOffset)) {
        showMessage("Not sent: RA offset is not a number");
        return;
    }
    dialog.getText(MainId::DecEncoderOffset, text, sizeof text);
    if (!parseUnsignedText(text, decOffset)) {
        showMessage("Not sent: Dec offset is not a number");
        return;
    }
    const std::uint8_t bits = (dialog.isChecked(MainId::RaReverseEncoder) ? 1 : 0) |
                              (dialog.isChecked(MainId::DecReverseEncoder) ? 2 : 0);
    const AxisConfiguration after = withCalibration(model->axisConfiguration, bits, raOffset, decOffset);
    if (!confirmWrite("Encoder calibration will change on the controller:", model->parameters, after))
        return;
    raOffsetUnsent = false;
    decOffsetUnsent = false;
    showMessage("");
    model->axisConfiguration = after;
    control->setEncoderCalibration(bits, raOffset, decOffset);
}

void DlgMain::sendMotorReversal(int)
{
    // Both axes always travel together; the box has already toggled.
    iControlSurface& dialog = surface();
    const std::uint8_t bits = (dialog.isChecked(MainId::RaReverseMotor) ? 1 : 0) |
                              (dialog.isChecked(MainId::DecReverseMotor) ? 2 : 0);
    const ControllerParameters after = withMotorReversal(model->parameters, bits, model->parameters.motorExtraByte);
    if (!confirmWrite("The motor directions will change on the controller:", after, model->axisConfiguration)) {
        dialog.setCheck(MainId::RaReverseMotor, (model->parameters.reverseMotorBits & 1) != 0);
        dialog.setCheck(MainId::DecReverseMotor, (model->parameters.reverseMotorBits & 2) != 0);
        return;
    }
    model->parameters = after;
    control->setMotorReversal(bits, model->parameters.motorExtraByte);
}

void DlgMain::adjustOffset(int channel)
{
    iControlSurface& dialog = surface();
    const int field = channel == 0 ? MainId::RaEncoderOffset : MainId::DecEncoderOffset;
    // Steps start from the field: what the operator typed or last sent, not
    // the offset read at connect, which Ok would otherwise write over it.
    char text[64];
    dialog.getText(field, text, sizeof text);
    std::uint32_t fieldOffset = 0;
    if (!parseUnsignedText(text, fieldOffset)) {
        showMessage(channel == 0 ? "RA offset is not a number" : "Dec offset is not a number");
        return;
    }
    const AxisConfiguration& a = model->axisConfiguration;
    offsetRequest = OffsetAdjustRequest{};
    offsetRequest.channel = channel;
    offsetRequest.encoderResolution = channel == 0 ? a.raEncoderResolution : a.decEncoderResolution;
    offsetRequest.offset = fieldOffset;
    // Unchanged, the field keeps the operator's text as it was.
    if (showOffsetAdjust(*host, offsetRequest) != 1 || offsetRequest.newOffset == offsetRequest.offset)
        return;
    // Only the field changes; "Encoder calibration" sends it when the
    // operator is ready.
    setUnsignedField(dialog, field, offsetRequest.newOffset);
    (channel == 0 ? raOffsetUnsent : decOffsetUnsent) = true;
    showMessage("");
}

void DlgMain::gotoTarget(int)
{
    if (!readTarget())
        return;
    pauseLiveView();
    control->gotoTarget(targetRa, targetDec);
}

bool DlgMain::readTarget()
{
    const iControlSurface& dialog = surface();
    char raText[64];
    char decText[64];
    dialog.getText(MainId::TargetRa, raText, sizeof raText);
    dialog.getText(MainId::TargetDec, decText, sizeof decText);
    if (const char* problem = readTargetText(raText, decText, targetRa, targetDec)) {
        showMessage(problem);
        return false;
    }
    showMessage("");
    return true;
}

void DlgMain::tracking(int on)
{
    iControlSurface& dialog = surface();
    dialog.setCheck(MainId::TrackOn, on != 0);
    dialog.setCheck(MainId::TrackOff, on == 0);
    control->setTracking(static_cast<std::uint8_t>(on));
}

void DlgMain::referencePosition(int action)
{
    iControlSurface& dialog = surface();
    dialog.setCheck(MainId::SetEast, action == PierAction::SetEast);
    dialog.setCheck(MainId::SetWest, action != PierAction::SetEast);
    showStatus(action == PierAction::SetEast ? Status::ReferenceSetEast : Status::ReferenceSetWest);
    control->pierSideAction(static_cast<PierAction::Action>(action));
}

void DlgMain::flip(int action)
{
    pauseLiveView();
    // The link says nothing until the slew is over ("Ready") or fails.
    showStatus(action == PierAction::FlipEast ? Status::FlippingToEast : Status::FlippingToWest);
    control->pierSideAction(static_cast<PierAction::Action>(action));
}

void DlgMain::storeParameters(int)
{
    // What was read at connect is what the controller started with; the
    // store makes every change since then permanent.
    if (!confirmChanges("Save into KV7 keeps these changes after the controller is switched off:",
                        settingChanges(snapshotOf(parametersAtConnect, axesAtConnect),
                                       snapshotOf(model->parameters, model->axisConfiguration))))
        return;
    control->storeParameters();
}

void DlgMain::commissioning(int)
{
    if (!connected) {
        showMessage("Connect first: the assistant works on the controller.");
        return;
    }
    // A reading of the window's own still out is answered to the window;
    // from then on every reading is the dialog's.
    CommissioningDialog dialog(*control, model->parameters, model->axisConfiguration);
    commissioningOpen = &dialog;
    showCommissioning(*host, dialog);
    commissioningOpen = nullptr;
    if (dialog.formatToWriteBack())
        formatToRestore = dialog.formatToWriteBack();
    else if (dialog.formatWritten())
        useEncoderFormat(*dialog.formatWritten(), false);
    encodersWanted = false;
    axesWanted = false;
}

}  // namespace kv7
