#include "ui/DlgMain.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "astro/TextConvert.h"
#include "ui/AboutBox.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/EncoderSetupDialog.h"
#include "ui/FieldText.h"
#include "ui/MeridianFlipPrompt.h"
#include "ui/RecordFields.h"
#include "ui/TargetText.h"

namespace kv7 {

namespace {

constexpr int initialSpeed = 10;
constexpr int maxSpeedIndex = 31;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Days from 1970-01-01 to a Gregorian date (the civil-from-days inverse).
std::int64_t daysFromCivil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t secondsOf(const UtcTime& t)
{
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::string utcText(const UtcTime& t)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

// Exactly YYYY-MM-DD HH:MM:SS (blanks allowed around it), a real instant.
bool readUtcText(const char* text, UtcTime& t)
{
    while (isBlank(*text))
        ++text;
    std::string s = text;
    while (!s.empty() && isBlank(s.back()))
        s.pop_back();
    static constexpr char shape[] = "dddd-dd-dd dd:dd:dd";
    if (s.size() != sizeof shape - 1)
        return false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool digit = s[i] >= '0' && s[i] <= '9';
        if (shape[i] == 'd' ? !digit : s[i] != shape[i])
            return false;
    }
    auto number = [&s](std::size_t at, std::size_t n) { return std::stoi(s.substr(at, n)); };
    UtcTime r{number(0, 4), number(5, 2), number(8, 2), number(11, 2), number(14, 2), number(17, 2)};
    if (r.year < 1900 || r.month < 1 || r.month > 12 || r.day < 1 || r.day > daysInMonth(r.year, r.month) ||
        r.hour > 23 || r.minute > 59 || r.second > 59)
        return false;
    t = r;
    return true;
}

// Decimal degrees ("19.5", "-33.25") or [+|-]d[:m[:s[.s]]]; false for
// anything else.
bool readDegreesText(const char* text, double& degrees)
{
    while (isBlank(*text))
        ++text;
    std::string s = text;
    while (!s.empty() && isBlank(s.back()))
        s.pop_back();
    bool negative = false;
    std::size_t at = 0;
    if (at < s.size() && (s[at] == '+' || s[at] == '-'))
        negative = s[at++] == '-';
    double parts[3] = {};
    int count = 0;
    while (true) {
        if (count == 3 || at >= s.size() || s[at] < '0' || s[at] > '9')
            return false;
        const char* begin = s.data() + at;
        const auto r = std::from_chars(begin, s.data() + s.size(), parts[count], std::chars_format::fixed);
        if (r.ec != std::errc())
            return false;
        at = static_cast<std::size_t>(r.ptr - s.data());
        ++count;
        if (at == s.size())
            break;
        if (s[at] != ':')
            return false;
        ++at;
    }
    // Only the last part may have a fraction; minutes and seconds stay below 60.
    for (int i = 0; i + 1 < count; ++i)
        if (parts[i] != std::floor(parts[i]))
            return false;
    if ((count > 1 && parts[1] >= 60) || (count > 2 && parts[2] >= 60))
        return false;
    degrees = (parts[0] + parts[1] / 60 + parts[2] / 3600) * (negative ? -1 : 1);
    return true;
}

// The shortest text that reads back as the same number.
std::string degreesText(double degrees)
{
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, degrees);
    return std::string(text, r.ptr);
}

const char* pierSideText(std::int32_t pierState)
{
    switch (pierState) {
    case PierState::pierEast: return "East";
    case PierState::pierWest: return "West";
    case PierState::flippingToWest: return "Flipping to West";
    case PierState::flippingToEast: return "Flipping to East";
    default: return "unknown";
    }
}

// The closest whole arcsecond of an axis position, as far as an int32 holds it.
std::int32_t axisArcsec(std::int32_t microsteps, std::uint32_t microstepsPerRevolution)
{
    const double arcsec = std::round(static_cast<double>(microsteps) * 1296000.0 / microstepsPerRevolution);
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(arcsec < lowest ? lowest : arcsec > highest ? highest : arcsec);
}

}  // namespace

struct DlgMain::Command {
    int id;
    void (DlgMain::*action)(int);
    int arg;
};

const DlgMain::Command DlgMain::commands[] = {
    {MainId::About, &DlgMain::about, 0},
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
    dialog.setSliderRange(MainId::Speed, 0, maxSpeedIndex);
    dialog.setSliderPosition(MainId::Speed, initialSpeed);
    dialog.setCheck(MainId::TrackOn, false);
    dialog.setCheck(MainId::TrackOff, true);
    enableOperatingControls(false);
    if (portSource)
        ports = portSource();
    for (const PortChoice& choice : ports.entries)
        dialog.addListEntry(MainId::PortList, choice.label);
    dialog.selectListEntry(MainId::PortList, static_cast<int>(ports.preselected));
    dialog.setCheck(MainId::LiveView, true);
    showSpeed(0);
    showSite();
    shownUtc.clear();
    showTime();
    if (!siteProblem.empty())
        showMessage(siteProblem.c_str());
    dialog.setTimer(timerPeriodMs);
    return true;
}

void DlgMain::setSettingsStore(iSettingsStore* store)
{
    settingsStore = store;
    siteProblem.clear();
    if (!store)
        return;
    std::vector<std::string> problems;
    site = loadUserSettings(*store, problems);
    if (!site.siteSet && !problems.empty())
        siteProblem = "Stored site unreadable: " + problems.front();
    model->setSiteLongitude(site.longitude);
    if (window.load(std::memory_order_relaxed)) {
        showSite();
        if (!siteProblem.empty())
            showMessage(siteProblem.c_str());
    }
}

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
    if (!axesWanted && !encodersWanted)
        return;
    // The axes first: a Target GET waits for them.
    const ReadMode::Mode mode = axesWanted ? ReadMode::Axes : ReadMode::Encoders;
    (mode == ReadMode::Axes ? axesWanted : encodersWanted) = false;
    readingOut = mode;
    readingOutTicks = 0;
    control->readEncoders(mode);
}

void DlgMain::forgetReadings()
{
    readingOut = noReading;
    encodersWanted = false;
    axesWanted = false;
}

void DlgMain::onListOpening(iControlSurface& dialog, int id)
{
    if (id != MainId::PortList || !portSource || !window.load(std::memory_order_relaxed))
        return;
    fillPortList(dialog);
}

void DlgMain::fillPortList(iControlSurface& dialog)
{
    const int index = dialog.selectedListEntry(MainId::PortList);
    const bool hadSelection = index >= 0 && static_cast<std::size_t>(index) < ports.entries.size();
    const std::uint32_t selectedNumber = hadSelection ? ports.entries[static_cast<std::size_t>(index)].number : 0;
    ports = portSource();
    dialog.clearList(MainId::PortList);
    std::size_t select = ports.preselected;
    for (std::size_t i = 0; i < ports.entries.size(); ++i) {
        dialog.addListEntry(MainId::PortList, ports.entries[i].label);
        // The operator's choice stays while its port is still there.
        if (hadSelection && ports.entries[i].number == selectedNumber)
            select = i;
    }
    dialog.selectListEntry(MainId::PortList, static_cast<int>(select));
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
    surface().setText(MainId::MessageLine, *text ? text : unsentOffsetNote());
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
        connected = false;
        forgetReadings();
        targetGetPending = false;
        break;
    case Status::NoReply:
    case Status::CommunicationError:
        // The reading out will not be answered; what is wanted goes next.
        readingOut = noReading;
        sendWantedReading();
        break;
    default: break;
    }
    iControlSurface* dialog = window.load(std::memory_order_relaxed);
    const char* text = statusText(status);
    if (!text || !dialog)
        return;
    dialog->setText(MainId::StatusLine, text);
    statusIsError = isErrorStatus(status);
    if (!statusIsError)
        lastSuccessText = text;
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
    forgetUnsentOffsets();
}

void DlgMain::askMeridianFlip(std::int32_t kind)
{
    // Runs a nested modal loop; further notifications keep arriving meanwhile.
    const std::uint16_t answer = showMeridianFlipPrompt(*host, kind);
    control->answerMeridianFlip(answer);
}

void DlgMain::showMountState(const MountState& mountState)
{
    iControlSurface* dialog = window.load(std::memory_order_relaxed);
    if (!dialog)
        return;
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
    // The fields take whole seconds: RA to the nearest second of time
    // (15 arcseconds), Dec exactly.
    const std::uint32_t seconds = (m.raArcsec + 7) / 15 % 86400;
    char ra[16];
    std::snprintf(ra, sizeof ra, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
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
    model->connect(ports.entries[static_cast<std::size_t>(index)].number, baud);
}

void DlgMain::disconnectPort(int)
{
    connected = false;
    forgetReadings();
    control->disconnect();
}

void DlgMain::stopMotion(int) { control->stopMotion(StopAxes::Both); }

void DlgMain::pauseLiveView() { liveViewQuietTicks = liveViewPauseTicks; }

void DlgMain::handPad(int direction)
{
    pauseLiveView();
    // The slider is read only here; moving it sends nothing.
    const int speed = surface().sliderPosition(MainId::Speed);
    control->manualMove(static_cast<HandPad::Direction>(direction), static_cast<std::uint8_t>(speed));
}

void DlgMain::encoderSetup(int)
{
    iControlSurface& dialog = surface();
    if (showEncoderSetup(*host, model->axisConfiguration) != 1)
        return;
    const EncoderFormat& f = model->axisConfiguration.encoderFormat;
    setUnsignedField(dialog, MainId::RaBitsPerRevolution, f.raBitsPerRevolution);
    setResolutionField(dialog, MainId::RaEncoderResolution, f.raBitsPerRevolution);
    setUnsignedField(dialog, MainId::DecBitsPerRevolution, f.decBitsPerRevolution);
    setResolutionField(dialog, MainId::DecEncoderResolution, f.decBitsPerRevolution);
    control->setEncoderFormat(f.raFlags, f.raLeadingBits, f.raBitsPerRevolution, f.raBitsForRevolutions,
                              f.decFlags, f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions);
}

void DlgMain::readEncoders(int) { askReading(ReadMode::Encoders); }

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

void DlgMain::getState(int) { askReading(ReadMode::Axes); }

void DlgMain::targetGet(int)
{
    targetGetPending = true;
    askReading(ReadMode::Axes);
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
    raOffsetUnsent = false;
    decOffsetUnsent = false;
    showMessage("");
    const std::uint8_t bits = (dialog.isChecked(MainId::RaReverseEncoder) ? 1 : 0) |
                              (dialog.isChecked(MainId::DecReverseEncoder) ? 2 : 0);
    control->setEncoderCalibration(bits, raOffset, decOffset);
}

void DlgMain::sendMotorReversal(int)
{
    // Both axes always travel together; the box has already toggled.
    const iControlSurface& dialog = surface();
    const std::uint8_t bits = (dialog.isChecked(MainId::RaReverseMotor) ? 1 : 0) |
                              (dialog.isChecked(MainId::DecReverseMotor) ? 2 : 0);
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

void DlgMain::showSiderealTime(int)
{
    // Back to the computer's clock.
    model->setUtcCorrection(0);
    shownUtc.clear();
    surface().setText(MainId::UniversalTime, "");
    showTime();
}

void DlgMain::showTime()
{
    iControlSurface& dialog = surface();
    char typed[64];
    dialog.getText(MainId::UniversalTime, typed, sizeof typed);
    // A field that differs from what was last shown is being typed into.
    if (shownUtc == typed) {
        shownUtc = utcText(model->utcNow());
        dialog.setText(MainId::UniversalTime, shownUtc);
    }
    dialog.setText(MainId::TimeNote, model->utcCorrection() != 0 ? "corrected" : "");
    char lst[64];
    formatSiderealTime(model->localSiderealTime(), lst);
    dialog.setText(MainId::SiderealTime, lst);
}

void DlgMain::timeSet(int)
{
    iControlSurface& dialog = surface();
    char text[64];
    dialog.getText(MainId::UniversalTime, text, sizeof text);
    UtcTime typed;
    if (!readUtcText(text, typed)) {
        showMessage("UT not set: use YYYY-MM-DD hh:mm:ss");
        return;
    }
    const std::int64_t computer = secondsOf(model->utcNow()) - model->utcCorrection();
    model->setUtcCorrection(secondsOf(typed) - computer);
    showMessage("");
    shownUtc.clear();
    dialog.setText(MainId::UniversalTime, "");
    showTime();
}

void DlgMain::showSite()
{
    iControlSurface& dialog = surface();
    dialog.setText(MainId::Latitude, degreesText(site.latitude));
    dialog.setText(MainId::Longitude, degreesText(model->siteLongitude()));
    dialog.setText(MainId::SiteNote, site.siteSet ? "" : "(default)");
}

void DlgMain::placeGet(int)
{
    if (settingsStore)
        setSettingsStore(settingsStore);
    else
        showSite();
    if (siteProblem.empty())
        showMessage("");
}

void DlgMain::placeSet(int)
{
    iControlSurface& dialog = surface();
    struct Field {
        int id;
        double limit;
        const char* notDegrees;
        const char* outOfRange;
        double value;
    };
    Field fields[] = {
        {MainId::Latitude, 90, "Site not set: Latitude not degrees", "Site not set: Latitude out of range", 0},
        {MainId::Longitude, 180, "Site not set: Longitude not degrees", "Site not set: Longitude out of range", 0},
    };
    for (Field& f : fields) {
        char text[64];
        dialog.getText(f.id, text, sizeof text);
        if (!readDegreesText(text, f.value)) {
            showMessage(f.notDegrees);
            return;
        }
        if (std::fabs(f.value) > f.limit) {
            showMessage(f.outOfRange);
            return;
        }
    }
    site.siteSet = true;
    site.latitude = fields[0].value;
    site.longitude = fields[1].value;
    model->setSiteLongitude(site.longitude);
    showSite();
    std::string error;
    if (settingsStore && !settingsStore->save(formatUserSettings(site), error)) {
        showMessage(("Site in use, not saved: " + error).c_str());
        return;
    }
    showMessage("");
}

void DlgMain::showSpeed(int)
{
    iControlSurface& dialog = surface();
    dialog.setText(MainId::SpeedValue, std::to_string(dialog.sliderPosition(MainId::Speed)));
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
    control->pierSideAction(static_cast<PierAction::Action>(action));
}

void DlgMain::flip(int action)
{
    pauseLiveView();
    control->pierSideAction(static_cast<PierAction::Action>(action));
}

void DlgMain::storeParameters(int) { control->storeParameters(); }

}  // namespace kv7
