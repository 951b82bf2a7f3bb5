#include "ui/EncoderSetupDialog.h"

#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/FieldText.h"

namespace kv7 {

namespace {

constexpr std::uint8_t invertBit = 0x01;
constexpr std::uint8_t grayBit = 0x02;

struct AxisControls {
    int invert;
    int gray;
    int bitsPerRevolution;
    int bitsForRevolutions;
    int leadingBits;
    std::uint8_t EncoderFormat::*flags;
    std::uint8_t EncoderFormat::*perRevolution;
    std::uint8_t EncoderFormat::*forRevolutions;
    std::uint8_t EncoderFormat::*leading;
};

constexpr AxisControls axes[] = {
    {EncoderSetupId::RaInvert, EncoderSetupId::RaGray, EncoderSetupId::RaBitsPerRevolution,
     EncoderSetupId::RaBitsForRevolutions, EncoderSetupId::RaLeadingBits, &EncoderFormat::raFlags,
     &EncoderFormat::raBitsPerRevolution, &EncoderFormat::raBitsForRevolutions, &EncoderFormat::raLeadingBits},
    {EncoderSetupId::DecInvert, EncoderSetupId::DecGray, EncoderSetupId::DecBitsPerRevolution,
     EncoderSetupId::DecBitsForRevolutions, EncoderSetupId::DecLeadingBits, &EncoderFormat::decFlags,
     &EncoderFormat::decBitsPerRevolution, &EncoderFormat::decBitsForRevolutions, &EncoderFormat::decLeadingBits},
};

}  // namespace

const DialogLayout& EncoderSetupDialog::layout() const { return encoderSetupLayout(); }

bool EncoderSetupDialog::onInit(iControlSurface& dialog)
{
    const EncoderFormat& format = configuration.encoderFormat;
    for (const AxisControls& axis : axes) {
        dialog.setCheck(axis.gray, (format.*axis.flags & grayBit) != 0);
        dialog.setCheck(axis.invert, (format.*axis.flags & invertBit) != 0);
        setUnsignedField(dialog, axis.bitsPerRevolution, format.*axis.perRevolution);
        setUnsignedField(dialog, axis.bitsForRevolutions, format.*axis.forRevolutions);
        setUnsignedField(dialog, axis.leadingBits, format.*axis.leading);
    }
    return true;
}

void EncoderSetupDialog::store(const iControlSurface& dialog)
{
    EncoderFormat& format = configuration.encoderFormat;
    for (const AxisControls& axis : axes) {
        // The controller keeps more flag bits than this dialog shows; clearing
        // them here would silently change its calibration.
        auto flags = static_cast<std::uint8_t>(format.*axis.flags & ~(invertBit | grayBit));
        if (dialog.isChecked(axis.gray))
            flags |= grayBit;
        if (dialog.isChecked(axis.invert))
            flags |= invertBit;
        format.*axis.flags = flags;
        // Numbers are cut to the controller's byte, as its protocol carries them.
        format.*axis.perRevolution = static_cast<std::uint8_t>(readUnsignedField(dialog, axis.bitsPerRevolution));
        format.*axis.forRevolutions = static_cast<std::uint8_t>(readUnsignedField(dialog, axis.bitsForRevolutions));
        format.*axis.leading = static_cast<std::uint8_t>(readUnsignedField(dialog, axis.leadingBits));
    }
}

bool EncoderSetupDialog::onCommand(iControlSurface& dialog, int id)
{
    switch (id) {
    case EncoderSetupId::Ok:
        store(dialog);
        dialog.endDialog(1);
        return true;
    case EncoderSetupId::Cancel:
        dialog.endDialog(0);
        return true;
    default:
        return false;
    }
}

int showEncoderSetup(iDialogHost& host, AxisConfiguration& configuration)
{
    EncoderSetupDialog dialog(configuration);
    return host.runModal(dialog);
}

}  // namespace kv7
