#include "ui/MeridianFlipPrompt.h"

#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"

namespace kv7 {

namespace {

constexpr const char* westSide = "West side: Scope looks to east.";
constexpr const char* eastSide = "East side: Scope looks to west.";
constexpr const char* recommended = "Meridian flip recommended.";
constexpr const char* needed = "Meridian flip needed.";

struct PromptRow {
    std::int32_t kind;
    const char* present;
    const char* target;
};

// Where the mount is, and the side a flip would take it to.
constexpr PromptRow rows[] = {
    {FlipPrompt::WestRecommended, westSide, eastSide},
    {FlipPrompt::EastRecommended, eastSide, westSide},
    {FlipPrompt::WestNeeded, westSide, eastSide},
    {FlipPrompt::EastNeeded, eastSide, westSide},
};
// A flip under way (FlipPrompt::PierUnsettled) or a kind this program does
// not know.
constexpr PromptRow fallback = {0, eastSide, eastSide};

const PromptRow& rowFor(std::int32_t kind)
{
    for (const PromptRow& row : rows) {
        if (row.kind == kind)
            return row;
    }
    return fallback;
}

}  // namespace

const DialogLayout& MeridianFlipPrompt::layout() const { return meridianFlipPromptLayout(); }

bool MeridianFlipPrompt::onInit(iControlSurface& dialog)
{
    chosen = FlipAnswer::Cancel;
    const PromptRow& row = rowFor(kind);
    withoutFlipOffered = offersWithoutFlip(kind);
    dialog.setText(PromptId::Present, row.present);
    dialog.setText(PromptId::Target, row.target);
    dialog.setText(PromptId::Optional, withoutFlipOffered ? recommended : needed);
    dialog.enable(PromptId::WithoutFlip, withoutFlipOffered);
    // The focus stays on the dialog: on a field it would look editable, on
    // a button Enter would choose for the operator.
    return false;
}

bool MeridianFlipPrompt::onCommand(iControlSurface& dialog, int id)
{
    switch (id) {
    case PromptId::WithFlip:
        chosen = FlipAnswer::WithFlip;
        break;
    case PromptId::WithoutFlip:
        // Where a flip is needed the mount would run into its limits without
        // one; the button is disabled, and a stray command must not get past.
        if (!withoutFlipOffered)
            return true;
        chosen = FlipAnswer::WithoutFlip;
        break;
    case PromptId::CancelPositioning:
    case PromptId::Cancel:
        chosen = FlipAnswer::Cancel;
        break;
    case PromptId::Ok:
        // Enter must not pick an answer for the operator.
        return true;
    default:
        return false;
    }
    dialog.endDialog(0);
    return true;
}

std::uint16_t showMeridianFlipPrompt(iDialogHost& host, std::int32_t kind)
{
    MeridianFlipPrompt prompt(kind);
    host.runModal(prompt);
    return prompt.answer();
}

}  // namespace kv7
