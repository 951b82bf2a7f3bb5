// Edits the encoders' data format of both axes in place.
#pragma once

#include "app/Records.h"
#include "ui/DialogModel.h"

namespace kv7 {

class EncoderSetupDialog final : public iDialogHandler {
public:
    explicit EncoderSetupDialog(AxisConfiguration& configuration) : configuration(configuration) {}

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;

private:
    void store(const iControlSurface& dialog);

    AxisConfiguration& configuration;
};

// 1 after Ok, with the format rewritten; 0 after Cancel, Esc or the close
// box, with nothing touched. Bits of the flags other than "Invert data" and
// "Gray format", and the encoder offsets, have no control here and are kept.
int showEncoderSetup(iDialogHost& host, AxisConfiguration& configuration);

}  // namespace kv7
