// The main window: shows what the model reports and turns the operator's
// clicks into requests to the controller link.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "app/AppModel.h"
#include "app/Interfaces.h"
#include "ui/DialogModel.h"
#include "ui/OffsetAdjustDialog.h"
#include "ui/PortChoices.h"

namespace kv7 {

class DlgMain final : public iMainDlgCallback, public iWMUserSender, public iDialogHandler {
public:
    DlgMain(iKV7Control* control, AppModel* model, iDialogHost* host);

    // The port list the window offers (empty until given); call before
    // runDialog.
    void setPortChoices(PortChoices choices) { ports = std::move(choices); }

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

    bool readTarget();
    // An empty text makes room for the reminder of offsets edited but not
    // sent; any other text replaces it until the next empty one.
    void showMessage(const char* text);
    const char* unsentOffsetNote() const;
    // The offset fields now hold what the controller has: the reminder goes.
    void forgetUnsentOffsets();
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
    // What the status line shows: whether it is an error, and the last text
    // that was not one, which takes the line back once the error is over.
    bool statusIsError = false;
    const char* lastSuccessText = "";
    std::uint32_t targetRa = 0;
    std::int32_t targetDec = 0;
};

}  // namespace kv7
