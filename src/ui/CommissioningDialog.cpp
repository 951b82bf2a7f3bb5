#include "ui/CommissioningDialog.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "app/Codes.h"

namespace kv7 {

namespace {

using K = ControlKind;
namespace F = ControlFlag;
namespace C = CommissioningId;
constexpr int none = -1;

// clang-format off
constexpr ControlEntry commissioningControls[] = {
    {none,              K::GroupBox,     "Live encoder monitor",              {4, 4, 392, 152},   F::None},
    {C::MonitorStart,   K::PushButton,   "Start",                             {10, 16, 44, 14},   F::None},
    {C::MonitorStop,    K::PushButton,   "Stop",                              {58, 16, 44, 14},   F::None},
    {C::MonitorRate,    K::DropDownList, "",                                  {106, 17, 84, 60},  F::None},
    {C::MonitorCounts,  K::Label,        "",                                  {194, 19, 198, 8},  F::None},
    {none,              K::Label,        "Encoder angle, degrees (RA blue, Dec red)", {10, 36, 185, 8}, F::None},
    {C::AnglePlot,      K::Plot,         "",                                  {10, 46, 185, 104}, F::None},
    {none,              K::Label,        "Encoder minus motor, arcseconds",   {205, 36, 185, 8},  F::None},
    {C::DifferencePlot, K::Plot,         "",                                  {205, 46, 185, 104}, F::None},

    {none,              K::GroupBox,     "Assistant",                         {4, 160, 392, 114}, F::None},
    {none,              K::Label,        "Axis:",                             {10, 174, 20, 8},   F::None},
    {C::Axis,           K::DropDownList, "",                                  {32, 172, 40, 40},  F::None},
    {C::DetectFormat,   K::PushButton,   "Detect format",                     {78, 171, 64, 14},  F::None},
    {C::CheckEncoder,   K::PushButton,   "Check encoder",                     {146, 171, 64, 14}, F::None},
    {C::StopProcedure,  K::PushButton,   "Stop",                              {214, 171, 44, 14}, F::None},
    {C::WriteFormat,    K::PushButton,   "Write format",                      {262, 171, 64, 14}, F::None},
    {C::Activity,       K::Label,        "",                                  {10, 190, 380, 8},  F::None},
    {C::ResultFirst,     K::Label,       "",                                  {10, 204, 380, 8},  F::None},
    {C::ResultFirst + 1, K::Label,       "",                                  {10, 215, 380, 8},  F::None},
    {C::ResultFirst + 2, K::Label,       "",                                  {10, 226, 380, 8},  F::None},
    {C::ResultFirst + 3, K::Label,       "",                                  {10, 237, 380, 8},  F::None},
    {C::ResultFirst + 4, K::Label,       "",                                  {10, 248, 380, 8},  F::None},
    {C::ResultFirst + 5, K::Label,       "",                                  {10, 259, 380, 8},  F::None},

    {C::Close,          K::PushButton,   "Close",                             {346, 280, 50, 14}, F::None},
};
// clang-format on

const DialogLayout commissioning{105, "Commissioning", {24, 24, 400, 298}, commissioningControls};

constexpr const char* rateNames[] = {"As fast as possible", "10 a second", "2 a second"};
constexpr double arcsecPerTurn = 1296000.0;
constexpr double nothing = std::numeric_limits<double>::quiet_NaN();

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

template <class T>
void keepLast(std::vector<T>& values, T value, std::size_t capacity)
{
    if (values.size() == capacity)
        values.erase(values.begin());
    values.push_back(value);
}

double wrapTurns(double t) { return t - std::floor(t + 0.5); }

}  // namespace

const DialogLayout& commissioningLayout() { return commissioning; }

CommissioningDialog::CommissioningDialog(iKV7Control& control, const ControllerParameters& parameters,
                                         const AxisConfiguration& configuration, std::function<double()> now)
    : control(control), parameters(parameters), configuration(configuration),
      now(now ? std::move(now) : steadySeconds), watch(commission::WatchLimits{})
{
    for (int a = 0; a < 2; ++a) {
        angle[a].reserve(plotCapacity);
        difference[a].reserve(plotCapacity);
        marks[a].reserve(plotCapacity);
    }
}

CommissioningDialog::~CommissioningDialog() = default;

const DialogLayout& CommissioningDialog::layout() const { return commissioning; }

bool CommissioningDialog::onInit(iControlSurface& d)
{
    dialog = &d;
    for (const char* name : rateNames)
        d.addListEntry(C::MonitorRate, name);
    d.selectListEntry(C::MonitorRate, 0);
    d.addListEntry(C::Axis, "RA");
    d.addListEntry(C::Axis, "Dec");
    d.selectListEntry(C::Axis, 0);
    d.setText(C::MonitorCounts, "Not started");
    d.setText(C::Activity, "The assistant moves the chosen axis: make sure it is free to turn a few degrees.");
    d.setTimer(timerPeriodMs);
    enableControls();
    return true;
}

bool CommissioningDialog::onCommand(iControlSurface& d, int id)
{
    switch (id) {
    case C::MonitorStart: startMonitor(); break;
    case C::MonitorStop: stopMonitor(); break;
    case C::DetectFormat: startProcedure(false); break;
    case C::CheckEncoder: startProcedure(true); break;
    case C::StopProcedure:
        if (procedure && procedure->running())
            procedure->cancel();
        showProcedure();
        break;
    case C::WriteFormat:
        if (detection && detection->accept()) {
            written = detection->formatNow();
            writeBack.reset();
            const commission::FormatCandidate& f = detection->result().ranking.front().format;
            d.setText(C::Activity, "Written: " + commission::formatText(f) + ". \"Save into KV7\" keeps it.");
            detection = nullptr;
        }
        break;
    case C::Close:
        if (procedure && procedure->running())
            procedure->cancel();
        stopMonitor();
        d.setTimer(0);
        d.endDialog(0);
        return true;
    default: return false;
    }
    enableControls();
    return true;
}

void CommissioningDialog::onTimer(iControlSurface&)
{
    if (procedure && procedure->running()) {
        procedure->onTick(now());
        showProcedure();
    }
    if (monitorOn)
        askNext();
    if (plotsChanged)
        drawPlots();
}

void CommissioningDialog::onMountState(const MountState& state)
{
    if (procedure && procedure->running()) {
        procedure->onReading(state, now());
        showProcedure();
        return;
    }
    if (!monitorOn || !readingOut)
        return;
    readingOut = false;
    if (encodersNext) {
        lastEncoders = state;
        encodersAt = now();
        encodersNext = false;
    } else {
        takeMonitorReading(state);
        encodersNext = true;
        const double rate = rates[std::max(0, dialog ? dialog->selectedListEntry(C::MonitorRate) : 0)];
        nextDue = rate > 0 ? std::max(nextDue + 1.0 / rate, now() - 1.0 / rate) : now();
    }
    askNext();
}

void CommissioningDialog::onStatus(std::uint16_t status)
{
    if (procedure && procedure->running()) {
        procedure->onStatus(status);
        showProcedure();
    }
}

// ---- The monitor --------------------------------------------------------------

void CommissioningDialog::startMonitor()
{
    commission::WatchLimits limits;
    limits.resolution[0] = configuration.raEncoderResolution;
    limits.resolution[1] = configuration.decEncoderResolution;
    if (parameters.raMicrosteps)
        limits.maxTurnsPerSecond[0] = static_cast<double>(parameters.raMaxSpeed) / parameters.raMicrosteps;
    if (parameters.decMicrosteps)
        limits.maxTurnsPerSecond[1] = static_cast<double>(parameters.decMaxSpeed) / parameters.decMicrosteps;
    watch = commission::ReadingWatch(limits);
    for (int a = 0; a < 2; ++a) {
        angle[a].clear();
        difference[a].clear();
        marks[a].clear();
    }
    monitorOn = true;
    encodersNext = true;
    havePreviousAxes = false;
    startedAt = nextDue = now();
    askNext();
}

void CommissioningDialog::stopMonitor()
{
    // A reading still out is answered and dropped.
    monitorOn = false;
}

void CommissioningDialog::askNext()
{
    if (!monitorOn || readingOut || (procedure && procedure->running()))
        return;
    if (encodersNext && now() < nextDue)
        return;
    readingOut = true;
    control.readEncoders(encodersNext ? ReadMode::Encoders : ReadMode::Axes);
}

void CommissioningDialog::takeMonitorReading(const MountState& axes)
{
    const double at = now() - startedAt;
    const unsigned flags = watch.add(at, lastEncoders.raEncoderPosition, lastEncoders.decEncoderPosition);
    const std::uint32_t counts[2] = {lastEncoders.raEncoderPosition, lastEncoders.decEncoderPosition};
    const std::uint64_t resolution[2] = {configuration.raEncoderResolution, configuration.decEncoderResolution};
    const std::uint32_t microsteps[2] = {parameters.raMicrosteps, parameters.decMicrosteps};
    // The encoders were read between the last two readings of the motors:
    // where the motors were then is taken on the line between the two.
    const double arrived = now();
    const double share = havePreviousAxes && arrived > previousAxesAt
                             ? (encodersAt - previousAxesAt) / (arrived - previousAxesAt)
                             : 1.0;
    auto between = [&](std::int32_t before, std::int32_t after) {
        return havePreviousAxes ? before + share * (static_cast<double>(after) - before) : static_cast<double>(after);
    };
    const double motor[2] = {between(previousAxes.raAxisPosition, axes.raAxisPosition),
                             between(previousAxes.decAxisPosition, axes.decAxisPosition)};
    previousAxes = axes;
    previousAxesAt = arrived;
    havePreviousAxes = true;
    for (int a = 0; a < 2; ++a) {
        const bool bad = flags & (1u << a);
        const double encoderTurns = resolution[a] ? static_cast<double>(counts[a]) / resolution[a] : nothing;
        const double sense = (parameters.reverseMotorBits & (1u << a)) ? -1.0 : 1.0;
        const double motorTurns = microsteps[a] ? sense * motor[a] / microsteps[a] : nothing;
        double apart = wrapTurns(encoderTurns - motorTurns) * arcsecPerTurn;
        if (difference[a].empty() && std::isfinite(apart))
            differenceZero[a] = apart;
        apart -= differenceZero[a];
        keepLast(angle[a], encoderTurns * 360.0, plotCapacity);
        keepLast(difference[a], bad ? nothing : apart, plotCapacity);
        keepLast(marks[a], static_cast<std::uint8_t>(bad), plotCapacity);
    }
    plotsChanged = true;
}

void CommissioningDialog::drawPlots()
{
    plotsChanged = false;
    if (!dialog)
        return;
    const PlotSeries angles[2] = {{angle[0], marks[0]}, {angle[1], marks[1]}};
    const PlotSeries differences[2] = {{difference[0], {}}, {difference[1], {}}};
    dialog->setPlot(C::AnglePlot, angles, "deg");
    dialog->setPlot(C::DifferencePlot, differences, "arcsec");
    const double took = now() - startedAt;
    char text[120];
    std::snprintf(text, sizeof text, "%ld readings (%.1f/s), cannot be right: RA %ld, Dec %ld",
                  watch.readings(), took > 0 ? watch.readings() / took : 0.0, watch.implausible(0),
                  watch.implausible(1));
    dialog->setText(C::MonitorCounts, text);
}

// ---- The assistant --------------------------------------------------------------

commission::AxisName CommissioningDialog::chosenAxis() const
{
    return dialog && dialog->selectedListEntry(C::Axis) == 1 ? commission::AxisName::Dec : commission::AxisName::Ra;
}

void CommissioningDialog::startProcedure(bool checkRun)
{
    stopMonitor();
    const commission::AxisName axis = chosenAxis();
    const commission::AxisFacts facts = commission::axisFacts(axis, parameters, configuration);
    detection = nullptr;
    check = nullptr;
    if (checkRun) {
        auto run = std::make_unique<commission::EncoderCheckRun>(control, axis, facts,
                                                                 commission::EncoderCheckRun::Settings{});
        check = run.get();
        procedure = std::move(run);
    } else {
        auto run = std::make_unique<commission::FormatDetection>(control, axis, facts,
                                                                 commission::FormatDetection::Settings{});
        detection = run.get();
        procedure = std::move(run);
    }
    for (int k = 0; k < C::resultLines; ++k)
        dialog->setText(C::ResultFirst + k, "");
    shownStage = commission::Procedure::Stage::Running;
    procedure->start(now());
    showProcedure();
}

void CommissioningDialog::showProcedure()
{
    if (!dialog || !procedure)
        return;
    if (procedure->running()) {
        char text[160];
        std::snprintf(text, sizeof text, "%s (%d %%)", procedure->activity().c_str(),
                      static_cast<int>(100 * procedure->progress()));
        dialog->setText(C::Activity, text);
        return;
    }
    if (shownStage != procedure->stage()) {
        shownStage = procedure->stage();
        showResult();
        enableControls();
    }
}

void CommissioningDialog::showResult()
{
    std::vector<std::string> lines;
    const commission::AxisName axis = chosenAxis();
    switch (procedure->stage()) {
    case commission::Procedure::Stage::Failed:
        if (detection && procedure->lineFailed()) {
            writeBack = detection->formatBefore();
            lines.push_back(procedure->failure() + " The axis was stopped.");
            lines.emplace_back("The format from before is written back when the window connects again.");
        } else {
            lines.push_back(procedure->failure() + " The axis was stopped and nothing was written.");
        }
        break;
    case commission::Procedure::Stage::Cancelled: lines.emplace_back("Stopped: nothing was written."); break;
    case commission::Procedure::Stage::Done:
        if (check) {
            lines = commission::describeCheck(check->result(), commission::axisText(axis));
        } else if (detection) {
            const commission::DetectionResult& r = detection->result();
            lines.push_back(r.proposed ? "Proposed: " + commission::formatText(r.ranking.front().format) : r.verdict);
            for (const commission::CandidateEvidence& e : commission::distinctLeaders(detection->result(), 4)) {
                char text[160];
                std::snprintf(text, sizeof text, "%s: rate %.4f, %.0f %% its way, %d jumps, ends %s",
                              commission::formatText(e.format).c_str(), e.rate, 100 * e.agreement, e.jumps,
                              e.endMatches ? "where the bits do" : "elsewhere");
                lines.emplace_back(text);
            }
            if (!detection->result().proposed)
                detection = nullptr;
        }
        break;
    case commission::Procedure::Stage::Running: break;
    }
    dialog->setText(C::Activity, procedure->stage() == commission::Procedure::Stage::Done
                                     ? (check ? "Check done." : "Detection done: \"Write format\" writes the proposal.")
                                     : "");
    for (int k = 0; k < C::resultLines; ++k)
        dialog->setText(C::ResultFirst + k, k < static_cast<int>(lines.size()) ? lines[k] : "");
}

void CommissioningDialog::enableControls()
{
    if (!dialog)
        return;
    const bool running = procedure && procedure->running();
    dialog->enable(C::MonitorStart, !running && !monitorOn);
    dialog->enable(C::MonitorStop, monitorOn);
    dialog->enable(C::MonitorRate, !running);
    dialog->enable(C::Axis, !running);
    dialog->enable(C::DetectFormat, !running);
    dialog->enable(C::CheckEncoder, !running);
    dialog->enable(C::StopProcedure, running);
    dialog->enable(C::WriteFormat, !running && detection && detection->result().proposed);
}

int showCommissioning(iDialogHost& host, CommissioningDialog& dialog) { return host.runModal(dialog); }

}  // namespace kv7
