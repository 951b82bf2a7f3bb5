#include "ui/WritePreviewDialog.h"

#include <array>

namespace kv7 {

namespace {

using K = ControlKind;
namespace F = ControlFlag;
namespace P = PreviewId;
constexpr int none = -1;
constexpr int rowTop = 30;
constexpr int rowStep = 10;
constexpr int buttonTop = rowTop + static_cast<int>(P::rows) * rowStep + 20;

constexpr std::size_t fixedControls = 8;

constexpr std::array<ControlEntry, fixedControls + 3 * P::rows> previewControls()
{
    std::array<ControlEntry, fixedControls + 3 * P::rows> c{};
    c[0] = {P::Heading, K::Label, "", {6, 6, 268, 8}, F::None};
    c[1] = {none, K::Label, "Setting", {6, 20, 134, 8}, F::None};
    c[2] = {none, K::Label, "Now", {142, 20, 64, 8}, F::None};
    c[3] = {none, K::Label, "After", {210, 20, 64, 8}, F::None};
    c[4] = {P::More, K::Label, "", {6, rowTop + static_cast<int>(P::rows) * rowStep, 268, 8}, F::None};
    c[5] = {P::KeepPreviewing, K::CheckBox, "Preview each write", {6, buttonTop + 2, 120, 10}, F::None};
    c[6] = {P::Ok, K::PushButton, "Write", {170, buttonTop, 50, 14}, F::DefaultButton};
    c[7] = {P::Cancel, K::PushButton, "Cancel", {224, buttonTop, 50, 14}, F::None};
    for (std::size_t i = 0; i < P::rows; ++i) {
        const auto y = static_cast<std::int16_t>(rowTop + static_cast<int>(i) * rowStep);
        const int row = static_cast<int>(i);
        c[fixedControls + 3 * i] = {P::FieldFirst + row, K::Label, "", {6, y, 134, 8}, F::None};
        c[fixedControls + 3 * i + 1] = {P::NowFirst + row, K::Label, "", {142, y, 64, 8}, F::None};
        c[fixedControls + 3 * i + 2] = {P::AfterFirst + row, K::Label, "", {210, y, 64, 8}, F::None};
    }
    return c;
}

constexpr auto controls = previewControls();
const DialogLayout preview{106, "Before writing to the controller", {32, 32, 280, buttonTop + 20}, controls};

}  // namespace

const DialogLayout& writePreviewLayout() { return preview; }

const DialogLayout& WritePreviewDialog::layout() const { return preview; }

bool WritePreviewDialog::onInit(iControlSurface& dialog)
{
    dialog.setText(P::Heading, heading);
    for (std::size_t i = 0; i < P::rows && i < changes.size(); ++i) {
        const int row = static_cast<int>(i);
        dialog.setText(P::FieldFirst + row, changes[i].field);
        dialog.setText(P::NowFirst + row, changes[i].before);
        dialog.setText(P::AfterFirst + row, changes[i].after);
    }
    if (changes.size() > P::rows)
        dialog.setText(P::More, "... and " + std::to_string(changes.size() - P::rows) + " more");
    dialog.setCheck(P::KeepPreviewing, true);
    return true;
}

bool WritePreviewDialog::onCommand(iControlSurface& dialog, int id)
{
    if (id != P::Ok && id != P::Cancel)
        return false;
    keep = dialog.isChecked(P::KeepPreviewing);
    dialog.endDialog(id);
    return true;
}

int showWritePreview(iDialogHost& host, std::string heading, std::vector<SettingChange> changes,
                     bool& keepPreviewing)
{
    WritePreviewDialog dialog(std::move(heading), std::move(changes));
    const int result = host.runModal(dialog);
    keepPreviewing = dialog.keepPreviewing();
    return result == P::Ok ? P::Ok : P::Cancel;
}

}  // namespace kv7
