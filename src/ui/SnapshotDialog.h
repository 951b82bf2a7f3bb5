// The window's way to configuration snapshots: save what the controller
// holds to a file, or put a file back; and whether writes are previewed.
// The dialog only chooses: the main window does the work once it closes.
#pragma once

#include "ui/DialogModel.h"

namespace kv7 {

namespace SnapshotId {
enum : int {
    Ok = 1,
    Close = 2,
    Purpose = 100,
    Save = 101,
    Restore = 102,
    PreviewWrites = 103,
};
}

const DialogLayout& snapshotLayout();

class SnapshotDialog final : public iDialogHandler {
public:
    explicit SnapshotDialog(bool previewWrites) : preview(previewWrites) {}

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;

    bool previewWrites() const { return preview; }

private:
    bool preview;
};

// SnapshotId::Save, SnapshotId::Restore, or SnapshotId::Close;
// previewWrites takes the state of its box.
int showSnapshotDialog(iDialogHost& host, bool& previewWrites);

}  // namespace kv7
