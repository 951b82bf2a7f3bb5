// Shows an axis's encoder offset in counts, arcseconds and degrees, and lets
// the operator step a new offset from it.
#pragma once

#include <cstdint>

#include "ui/DialogModel.h"

namespace kv7 {

struct OffsetAdjustRequest {
    std::int32_t channel = 0;              // 0 RA, 1 Dec
    std::uint64_t encoderResolution = 0;   // counts per turn of the axis
    std::uint64_t offset = 0;              // counts
    std::uint32_t oldTenths = 0;           // written by the dialog: offset in tenths of arcseconds
    std::uint32_t newTenths = 0;           // written by the dialog: stepped offset, tenths of arcseconds
    std::uint64_t newOffset = 0;           // written by the dialog: stepped offset in counts
};

class OffsetAdjustDialog final : public iDialogHandler {
public:
    explicit OffsetAdjustDialog(OffsetAdjustRequest& request) : request(request) {}

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;

private:
    void step(iControlSurface& dialog, std::uint32_t tenths, bool up);

    OffsetAdjustRequest& request;
};

// 1 after Ok, 0 after Cancel, Esc or the close box. Either way the request
// holds the stepped offset; the caller decides what to do with it.
int showOffsetAdjust(iDialogHost& host, OffsetAdjustRequest& request);

}  // namespace kv7
