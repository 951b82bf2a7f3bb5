// The commissioning dialog: a live monitor of both encoders against their
// motors, and the assistant that finds an encoder's format and checks an
// encoder against its motor. Opened from the main window while connected;
// the main window hands it every reading and status while it is open, and
// asks for no readings of its own meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Interfaces.h"
#include "app/Records.h"
#include "commission/Procedures.h"
#include "commission/ReadingWatch.h"
#include "ui/DialogModel.h"

namespace kv7 {

namespace CommissioningId {
enum : int {
    Close = 2,
    MonitorStart = 100,
    MonitorStop = 101,
    MonitorRate = 102,
    MonitorCounts = 103,
    AnglePlot = 110,
    DifferencePlot = 111,
    Axis = 120,
    DetectFormat = 121,
    CheckEncoder = 122,
    StopProcedure = 123,
    WriteFormat = 124,
    Activity = 130,
    ResultFirst = 131,   // 131 .. 136: a line of the result each
};
inline constexpr int resultLines = 6;
}

const DialogLayout& commissioningLayout();

class CommissioningDialog final : public iDialogHandler {
public:
    // now: seconds on a steady clock (tests give their own).
    CommissioningDialog(iKV7Control& control, const ControllerParameters& parameters,
                        const AxisConfiguration& configuration, std::function<double()> now = {});
    ~CommissioningDialog();

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;
    void onTimer(iControlSurface& dialog) override;

    // From the main window, on the user-interface thread.
    void onMountState(const MountState& state);
    void onStatus(std::uint16_t status);

    // How often the dialog's timer runs, and how many readings the plots keep.
    static constexpr int timerPeriodMs = 100;
    static constexpr std::size_t plotCapacity = 1200;
    // The monitor's rates, in the order of its list: 0 as fast as the line allows.
    static constexpr double rates[] = {0.0, 10.0, 2.0};

    bool monitoring() const { return monitorOn; }
    // The formats from before a detection that the line failed during: the
    // controller may still hold a capture format, to be written back once
    // connected again.
    const std::optional<EncoderFormat>& formatToWriteBack() const { return writeBack; }
    // The formats the operator had written ("Write format"), if any.
    const std::optional<EncoderFormat>& formatWritten() const { return written; }
    long monitorReadings() const { return watch.readings(); }

private:
    void startMonitor();
    void stopMonitor();
    void askNext();
    void takeMonitorReading(const MountState& state);
    void startProcedure(bool check);
    void showProcedure();
    void showResult();
    void drawPlots();
    void enableControls();
    commission::AxisName chosenAxis() const;

    iKV7Control& control;
    ControllerParameters parameters;
    AxisConfiguration configuration;
    std::function<double()> now;
    iControlSurface* dialog = nullptr;

    // The monitor: encoders, then motors, then the next pair when due.
    bool monitorOn = false;
    bool readingOut = false;
    bool encodersNext = true;
    double nextDue = 0;
    double startedAt = 0;
    MountState lastEncoders;
    double encodersAt = 0;
    MountState previousAxes;
    double previousAxesAt = 0;
    bool havePreviousAxes = false;
    commission::ReadingWatch watch;
    // The plots' values, oldest first, at most plotCapacity.
    std::vector<double> angle[2];
    std::vector<double> difference[2];
    std::vector<std::uint8_t> marks[2];
    double differenceZero[2] = {};
    bool plotsChanged = false;

    std::unique_ptr<commission::Procedure> procedure;
    commission::FormatDetection* detection = nullptr;
    commission::EncoderCheckRun* check = nullptr;
    commission::Procedure::Stage shownStage = commission::Procedure::Stage::Running;
    std::optional<EncoderFormat> writeBack;
    std::optional<EncoderFormat> written;
};

// Runs the dialog modally; the caller forwards readings and statuses to it.
int showCommissioning(iDialogHost& host, CommissioningDialog& dialog);

}  // namespace kv7
