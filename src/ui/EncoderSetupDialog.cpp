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
    bool dec;
};

constexpr AxisControls axes[] = {
    {EncoderSetupId::RaInvert, EncoderSetupId::RaGray, EncoderSetupId::RaBitsPerRevolution,
     EncoderSetupId::RaBitsForRevolutions, EncoderSetupId::RaLeadingBits, &EncoderFormat::raFlags,
     &EncoderFormat::raBitsPerRevolution, &EncoderFormat::raBitsForRevolutions, &EncoderFormat::raLeadingBits,
     false},
    {EncoderSetupId::DecInvert, EncoderSetupId::DecGray, EncoderSetupId::DecBitsPerRevolution,
     EncoderSetupId::DecBitsForRevolutions, EncoderSetupId::DecLeadingBits, &EncoderFormat::decFlags,
     &EncoderFormat::decBitsPerRevolution, &EncoderFormat::decBitsForRevolutions, &EncoderFormat::decLeadingBits,
     true},
};

// A field that is not a number fails like one beyond every limit.
std::uint64_t fieldValue(const iControlSurface& dialog, int id)
{
    char text[64];
    dialog.getText(id, text, sizeof text);
    std::uint32_t value = 0;
    return parseUnsignedText(text, value) ? value : ~std::uint64_t{0};
}

}  // namespace

EncoderFormatFault encoderFormatFault(std::uint64_t leadingBits, std::uint64_t bitsPerRevolution,
                                      std::uint64_t bitsForRevolutions)
{
    namespace L = EncoderFormatLimits;
    // In the order the dialog shows the fields, top to bottom.
    if (bitsPerRevolution < L::minBitsPerRevolution || bitsPerRevolution > L::maxBitsPerRevolution)
        return EncoderFormatFault::BitsPerRevolution;
    if (bitsForRevolutions > L::maxBitsForRevolutions)
        return EncoderFormatFault::BitsForRevolutions;
    if (leadingBits > L::maxLeadingBits)
        return EncoderFormatFault::LeadingBits;
    if (bitsPerRevolution + bitsForRevolutions > L::maxDataBits)
        return EncoderFormatFault::DataBits;
    return EncoderFormatFault::None;
}

const char* encoderFormatHint(bool dec, EncoderFormatFault fault)
{
    // For each fault after None, in its order.
    static constexpr const char* hints[2][4] = {
        {"RA leading bits must be 0 to 31", "RA bits per one revolution must be 1 to 32",
         "RA bits for revolutions must be 0 to 31", "RA bits for revolutions and per revolution exceed 32"},
        {"Dec leading bits must be 0 to 31", "Dec bits per one revolution must be 1 to 32",
         "Dec bits for revolutions must be 0 to 31", "Dec bits for revolutions and per revolution exceed 32"}};
    if (fault == EncoderFormatFault::None)
        return nullptr;
    return hints[dec ? 1 : 0][static_cast<int>(fault) - 1];
}

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

const char* EncoderSetupDialog::problem(const iControlSurface& dialog)
{
    for (const AxisControls& axis : axes) {
        const EncoderFormatFault fault =
            encoderFormatFault(fieldValue(dialog, axis.leadingBits), fieldValue(dialog, axis.bitsPerRevolution),
                               fieldValue(dialog, axis.bitsForRevolutions));
        if (fault != EncoderFormatFault::None)
            return encoderFormatHint(axis.dec, fault);
    }
    return nullptr;
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
        // problem() has vouched for every field: each fits its byte.
        format.*axis.perRevolution = static_cast<std::uint8_t>(fieldValue(dialog, axis.bitsPerRevolution));
        format.*axis.forRevolutions = static_cast<std::uint8_t>(fieldValue(dialog, axis.bitsForRevolutions));
        format.*axis.leading = static_cast<std::uint8_t>(fieldValue(dialog, axis.leadingBits));
    }
}

bool EncoderSetupDialog::onCommand(iControlSurface& dialog, int id)
{
    switch (id) {
    case EncoderSetupId::Ok:
        // A format cut to fit its byte would go out as a different format
        // (300 bits as 44), and every reading after it would be garbage.
        if (const char* hint = problem(dialog)) {
            dialog.setText(EncoderSetupId::Hint, hint);
            return true;
        }
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
