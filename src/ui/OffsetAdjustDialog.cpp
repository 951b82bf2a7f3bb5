#include "ui/OffsetAdjustDialog.h"

#include "astro/TextConvert.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/FieldText.h"

namespace kv7 {

namespace {

constexpr std::uint64_t tenthsPerTurn = 12960000;

// The steps of the buttons "0.1 sec" to "10 degs", in tenths of an arcsecond.
constexpr std::uint32_t stepTenths[OffsetAdjustId::stepCount] = {1, 10, 100, 600, 6000, 36000, 360000};

void showOffset(iControlSurface& dialog, int systemId, std::uint64_t offset, std::uint32_t tenths)
{
    setUnsignedField(dialog, systemId, static_cast<std::uint32_t>(offset));
    const auto arcseconds = static_cast<std::uint32_t>((std::uint64_t{tenths} + 5) / 10);
    setUnsignedField(dialog, systemId + 1, arcseconds);
    setDmsField(dialog, systemId + 2, static_cast<std::int32_t>(arcseconds));
}

}  // namespace

const DialogLayout& OffsetAdjustDialog::layout() const { return offsetAdjustLayout(); }

bool OffsetAdjustDialog::onInit(iControlSurface& dialog)
{
    dialog.setText(OffsetAdjustId::Channel, request.channel == 0 ? "RA" : "Dec");
    // Typed by hand, the offset may be a turn or more; the controller adds
    // it modulo one turn, and the angle shows what it will do.
    const std::uint64_t turn = request.encoderResolution;
    const std::uint32_t tenths = revolutionToTenthArcsec(turn ? request.offset % turn : 0, turn);
    request.oldTenths = tenths;
    request.newTenths = tenths;
    request.newOffset = request.offset;
    showOffset(dialog, OffsetAdjustId::OriginalSystem, request.offset, tenths);
    showOffset(dialog, OffsetAdjustId::NewSystem, request.offset, tenths);
    return false;
}

void OffsetAdjustDialog::step(iControlSurface& dialog, std::uint32_t tenths, bool up)
{
    // The offset travels to the controller as 32 bits, so a turn of more
    // counts than that cannot be stepped around.
    const std::uint64_t turn = request.encoderResolution;
    if (turn == 0 || turn > (std::uint64_t{1} << 32))
        return;
    const std::uint64_t counts = (tenths * turn + tenthsPerTurn / 2) / tenthsPerTurn % turn;
    const std::uint64_t current = request.newOffset % turn;
    request.newOffset = up ? (current + counts) % turn : (current + turn - counts) % turn;
    request.newTenths = revolutionToTenthArcsec(request.newOffset, turn);
    showOffset(dialog, OffsetAdjustId::NewSystem, request.newOffset, request.newTenths);
}

bool OffsetAdjustDialog::onCommand(iControlSurface& dialog, int id)
{
    if (id == OffsetAdjustId::Ok || id == OffsetAdjustId::Cancel) {
        dialog.endDialog(id == OffsetAdjustId::Ok ? 1 : 0);
        return true;
    }
    for (int i = 0; i < OffsetAdjustId::stepCount; ++i) {
        if (id == OffsetAdjustId::StepUpFirst + i || id == OffsetAdjustId::StepDownFirst + i) {
            step(dialog, stepTenths[i], id == OffsetAdjustId::StepUpFirst + i);
            return true;
        }
    }
    return false;
}

int showOffsetAdjust(iDialogHost& host, OffsetAdjustRequest& request)
{
    OffsetAdjustDialog dialog(request);
    return host.runModal(dialog);
}

}  // namespace kv7
