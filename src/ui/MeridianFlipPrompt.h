// Asks how to position when a GOTO target lies beyond the meridian.
#pragma once

#include <cstdint>

#include "app/Codes.h"
#include "ui/DialogModel.h"

namespace kv7 {

class MeridianFlipPrompt final : public iDialogHandler {
public:
    explicit MeridianFlipPrompt(std::int32_t kind) : kind(kind) {}

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;

    std::uint16_t answer() const { return chosen; }

private:
    std::int32_t kind;
    std::uint16_t chosen = FlipAnswer::Cancel;
    bool withoutFlipOffered = false;
};

// The recommended kinds (offersWithoutFlip) also offer positioning without
// a flip; the needed ones and every other kind (PierUnsettled while a flip
// is under way) need the flip.
std::uint16_t showMeridianFlipPrompt(iDialogHost& host, std::int32_t kind);

}  // namespace kv7
