#include "ui/SnapshotDialog.h"

namespace kv7 {

namespace {

using K = ControlKind;
namespace F = ControlFlag;
namespace S = SnapshotId;

// clang-format off
constexpr ControlEntry snapshotControls[] = {
    {S::Purpose,       K::Label,      "Keep what the controller holds in a file, or put a kept file back. "
                                      "A restore writes only what differs, after a preview, and reads back.",
                                                                   {6, 6, 216, 26},  F::None},
    {S::Save,          K::PushButton, "Save to file...",           {6, 36, 106, 14}, F::None},
    {S::Restore,       K::PushButton, "Restore from file...",      {116, 36, 106, 14}, F::None},
    {S::PreviewWrites, K::CheckBox,   "Preview each write to the controller", {6, 58, 160, 10}, F::None},
    {S::Close,         K::PushButton, "Close",                     {172, 74, 50, 14}, F::DefaultButton},
};
// clang-format on

const DialogLayout snapshot{107, "Configuration snapshot", {32, 32, 228, 94}, snapshotControls};

}  // namespace

const DialogLayout& snapshotLayout() { return snapshot; }

const DialogLayout& SnapshotDialog::layout() const { return snapshot; }

bool SnapshotDialog::onInit(iControlSurface& dialog)
{
    dialog.setCheck(S::PreviewWrites, preview);
    return true;
}

bool SnapshotDialog::onCommand(iControlSurface& dialog, int id)
{
    switch (id) {
    case S::Save:
    case S::Restore:
    case S::Close:
        preview = dialog.isChecked(S::PreviewWrites);
        dialog.endDialog(id);
        return true;
    case S::Ok:
        // Enter closes, as the default button says.
        preview = dialog.isChecked(S::PreviewWrites);
        dialog.endDialog(S::Close);
        return true;
    default: return false;
    }
}

int showSnapshotDialog(iDialogHost& host, bool& previewWrites)
{
    SnapshotDialog dialog(previewWrites);
    const int result = host.runModal(dialog);
    previewWrites = dialog.previewWrites();
    return result == S::Save || result == S::Restore ? result : S::Close;
}

}  // namespace kv7
