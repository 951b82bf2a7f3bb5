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
    const char* present;
    const char* target;
    const char* optional;
    bool withoutFlipOffered;
};

// Rows for kinds 2 to 5: the mount west of the pier (2, 4) or east (3, 5),
// the target up to two hours beyond the meridian (2, 3) or further (4, 5).
constexpr PromptRow rows[] = {
    {westSide, eastSide, recommended, true},
    {eastSide, westSide, recommended, true},
    {westSide, eastSide, needed, false},
    {eastSide, westSide, needed, false},
};
constexpr PromptRow fallback = {eastSide, eastSide, needed, false};

const PromptRow& rowFor(std::int32_t kind) { return kind >= 2 && kind <= 5 ? rows[kind - 2] : fallback; }

}  // namespace

const DialogLayout& MeridianFlipPrompt::layout() const { return meridianFlipPromptLayout(); }

bool MeridianFlipPrompt::onInit(iControlSurface& dialog)
{
    chosen = FlipAnswer::Cancel;
    const PromptRow& row = rowFor(kind);
    dialog.setText(PromptId::Present, row.present);
    dialog.setText(PromptId::Target, row.target);
    dialog.setText(PromptId::Optional, row.optional);
    dialog.enable(PromptId::WithoutFlip, row.withoutFlipOffered);
    withoutFlipOffered = row.withoutFlipOffered;
    return true;
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
