// The main window: shows what the model reports and turns the operator's
// clicks into requests to the controller link.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/AppModel.h"
#include "app/Codes.h"
#include "app/Interfaces.h"
#include "app/UserSettings.h"
#include "ui/DialogModel.h"
#include "ui/OffsetAdjustDialog.h"
#include "ui/PortChoices.h"
#include "ui/WindowOptions.h"
#include "ui/WritePreview.h"
#include "version/Version.h"

namespace kv7 {

struct FileAccess {
    std::function<bool(const std::string& path, std::size_t maxBytes, std::string& text, std::string& error)> read;
    std::function<bool(const std::string& path, const std::string& text, std::string& error)> write;
};

class CommissioningDialog;

class DlgMain final : public iMainDlgCallback, public iWMUserSender, public iDialogHandler {
public:
    DlgMain(iKV7Control* control, AppModel* model, iDialogHost* host);

    // The port list the window offers (empty until given); call before
    // runDialog.
    void setPortChoices(PortChoices choices) { ports = std::move(choices); }
    // Where the port list comes from each time it opens, so an adapter
    // plugged in after start shows up; empty: the list stays as given.
    void setPortSource(std::function<PortChoices()> source) { portSource = std::move(source); }
    // Where the operator's site is kept (null: nothing persists). Loads the
    // stored site and makes it the one in use at once.
    void setSettingsStore(iSettingsStore* store);
    // Where the window's own options are kept (null: nothing persists).
    // Loads them at once.
    void setOptionsStore(iSettingsStore* store);
    // Where snapshot files are read and written (atomically), and the
    // program named in the ones it saves.
    void setFileAccess(FileAccess access) { files = std::move(access); }
    void setProgramName(std::string name) { programName = std::move(name); }

    // How often the window's timer runs, and how many of its runs a click
    // that moves the mount keeps the live view quiet.
    static constexpr int timerPeriodMs = 500;
    static constexpr int liveViewPauseTicks = 4;
    // Timer runs after which a reading never answered counts as lost (the
    // link itself gives up after 3 s and says so).
    static constexpr int readingLostTicks = 10;

    // Runs the window modally; returns 1 once the operator has closed it.
    int runDialog();

    // iMainDlgCallback, on the user-interface thread.
    void showStatus(std::uint16_t status) override;
    void showConfiguration(std::uint16_t status, std::uint32_t extra) override;
    void askMeridianFlip(std::int32_t kind) override;
    void showMountState(const MountState& mountState) override;

    // iWMUserSender, from the link worker thread. Dropped until the window
    // exists.
    void postUserMessage(std::uint32_t code, std::uint32_t value) override;

    // iDialogHandler.
    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;
    void onClose(iControlSurface& dialog) override;
    void onUserMessage(std::uint32_t code, std::uint32_t value) override;
    void onTimer(iControlSurface& dialog) override;
    void onListOpening(iControlSurface& dialog, int id) override;
    // The hand pad's buttons held down and let go, with "Hold" ticked.
    void onPress(iControlSurface& dialog, int id) override;
    void onRelease(iControlSurface& dialog, int id) override;

    // Returns true when id is one of the window's commands.
    bool handleCommand(int id);
    void enableOperatingControls(bool enable);

    // The target of the last GOTO or Sync to target, in arcseconds.
    std::uint32_t currentTargetRa() const { return targetRa; }
    std::int32_t currentTargetDec() const { return targetDec; }

private:
    struct Command;
    static const Command commands[];

    // Actions of the command table; arg distinguishes the ids that share one.
    void connectPort(int);
    void disconnectPort(int);
    void about(int);
    void stopMotion(int);
    void handPad(int direction);
    void encoderSetup(int);
    void readEncoders(int);
    void syncToTarget(int);
    void encoderCalibration(int);
    void sendMotorReversal(int);
    void adjustOffset(int channel);
    void gotoTarget(int);
    void showSiderealTime(int);
    void tracking(int on);
    void referencePosition(int action);
    void flip(int action);
    void storeParameters(int);
    void getState(int);
    void syncToEncoders(int);
    void targetGet(int);
    void placeGet(int);
    void placeSet(int);
    void timeSet(int);
    void showSpeed(int);
    void holdToMove(int);
    void commissioning(int);
    void snapshot(int);
    void saveSnapshot(const std::string& path);
    void restoreSnapshot(const std::string& path);
    void sendRestore(const ControllerParameters& parameters, const AxisConfiguration& axes);
    void readBackRestore();
    void verifyRestore();
    void abandonRestore(const char* why);
    // The window's record and fields take this format; send: the link too.
    void useEncoderFormat(const EncoderFormat& format, bool send);
    // Shows what a write changes (the records as they will be against the
    // model's) and asks, unless the operator turned the preview off or
    // nothing changes. False: the operator cancelled.
    bool confirmWrite(const char* heading, const ControllerParameters& parameters, const AxisConfiguration& axes);
    bool confirmChanges(const char* heading, std::vector<SettingChange> changes);
    void keepPreviewing(bool on);
    void startManualMove(int direction);
    // A click that moves the mount: the live view keeps quiet for a while.
    void pauseLiveView();
    // Every reading the window asks for goes through here: one at a time,
    // so each record that comes back answers a known mode. A request while
    // one is out waits for its answer.
    void askReading(ReadMode::Mode mode);
    void sendWantedReading();
    void forgetReadings();

    void showSite();
    void showTime();
    void showMotorRows(const MountState& mountState);
    void fillTargetFromSky(const MountState& mountState);
    void fillPortList(iControlSurface& dialog);

    bool readTarget();
    // An empty text makes room for the reminder of offsets edited but not
    // sent; any other text replaces it until the next empty one.
    void showMessage(const char* text);
    const char* unsentOffsetNote() const;
    // What the connection is (the simulator rather than a port), shown in the
    // message field whenever nothing else is; empty: nothing to say.
    void noteConnection(const char* note);
    // The offset fields now hold what the controller has: the reminder goes.
    void forgetUnsentOffsets();
    // What a status means for the connection, the readings out and the
    // message field's note, apart from its text.
    void followStatus(std::uint16_t status);
    // A success: an error on the status line no longer holds.
    void retireStatusError();
    // The window's controls; commands only run once onInit has set them.
    iControlSurface& surface() const;

    iKV7Control* control;
    AppModel* model;
    iDialogHost* host;
    // Written once by onInit on the user-interface thread, read by the link
    // worker in postUserMessage.
    std::atomic<iControlSurface*> window{nullptr};
    PortChoices ports;
    OffsetAdjustRequest offsetRequest;
    // Offset fields stepped by fine-adjust since the controller last had them.
    bool raOffsetUnsent = false;
    bool decOffsetUnsent = false;
    const char* connectionNote = "";
    // What the status line shows: whether it is an error, and the last text
    // that was not one, which takes the line back once the error is over.
    bool statusIsError = false;
    const char* lastSuccessText = "";
    std::uint32_t targetRa = 0;
    std::int32_t targetDec = 0;

    std::function<PortChoices()> portSource;
    iSettingsStore* settingsStore = nullptr;
    iSettingsStore* optionsStore = nullptr;
    WindowOptions options;
    // The hand-pad direction held down, or -1.
    int heldDirection = -1;
    UserSettings site;
    // Why the stored site could not be read, shown once the window exists.
    std::string siteProblem;
    // The UT text last shown: a field that differs is being typed into and
    // is left alone.
    std::string shownUtc;
    // A Target GET waits for the next reading of the axes.
    bool targetGetPending = false;
    // Between a configuration and the end of the connection.
    bool connected = false;
    int liveViewQuietTicks = 0;
    // The live view alternates the encoders and the motor axes.
    bool liveViewAxesNext = false;
    // The reading out and not yet answered (noReading: nothing out), for how
    // many timer runs, and the modes asked for meanwhile.
    static constexpr int noReading = -1;
    int readingOut = noReading;
    // The commissioning dialog while it is open: it takes every reading
    // and the window asks for none of its own meanwhile.
    CommissioningDialog* commissioningOpen = nullptr;
    // An encoder format to write back at the next connection: the line
    // failed while a format detection had a capture format in place.
    std::optional<EncoderFormat> formatToRestore;
    // The records as the connect sequence read them: what a store makes
    // permanent is every change since.
    ControllerParameters parametersAtConnect;
    AxisConfiguration axesAtConnect;
    // The connection asked for last, for a snapshot's port and a restore's
    // read-back.
    std::uint32_t connectedPort = 0;
    std::uint32_t connectedBaud = 9600;
    std::string connectedPortName;
    // A restore: written, its reading of the axes sent, then read back by
    // a new connection and compared with the file.
    enum class RestoreStep { None, Written, ReadingSent };
    RestoreStep restoreStep = RestoreStep::None;
    std::optional<config::Snapshot> restoreToVerify;
    std::string snapshotPath = "kv7-configuration.json";
    FileAccess files;
    std::string programName = versionLine("kv7-encoder-setup");
    int readingOutTicks = 0;
    bool encodersWanted = false;
    bool axesWanted = false;
};

}  // namespace kv7
