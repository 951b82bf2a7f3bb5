// Edits the encoders' data format of both axes in place.
#pragma once

#include <cstdint>

#include "app/Records.h"
#include "ui/DialogModel.h"

namespace kv7 {

// What the encoder's serial word can hold. The controller skips the leading
// bits, then clocks the revolution counter and the position within one turn
// into one 32-bit word; a format beyond that reads a position nobody sent.
namespace EncoderFormatLimits {
inline constexpr std::uint32_t maxLeadingBits = 31;
inline constexpr std::uint32_t minBitsPerRevolution = 1;
inline constexpr std::uint32_t maxBitsPerRevolution = 32;
inline constexpr std::uint32_t maxBitsForRevolutions = 31;
inline constexpr std::uint32_t maxDataBits = 32;   // revolution counter + position
}  // namespace EncoderFormatLimits

enum class EncoderFormatFault { None, LeadingBits, BitsPerRevolution, BitsForRevolutions, DataBits };

// The first item of one axis's format that no encoder can send, or None.
EncoderFormatFault encoderFormatFault(std::uint64_t leadingBits, std::uint64_t bitsPerRevolution,
                                      std::uint64_t bitsForRevolutions);
// What the dialog says about a fault of the RA (dec false) or Dec format;
// null for None. The INDI driver refuses a format with the same words.
const char* encoderFormatHint(bool dec, EncoderFormatFault fault);

class EncoderSetupDialog final : public iDialogHandler {
public:
    explicit EncoderSetupDialog(AxisConfiguration& configuration) : configuration(configuration) {}

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;

private:
    // Null when every field holds a format an encoder can send; otherwise
    // the first field that does not, as the hint names it.
    static const char* problem(const iControlSurface& dialog);
    void store(const iControlSurface& dialog);

    AxisConfiguration& configuration;
};

// 1 after Ok, with the format rewritten; 0 after Cancel, Esc or the close
// box, with nothing touched. Ok with a field no encoder format can hold
// names the field in the dialog and leaves it open. Bits of the flags other
// than "Invert data" and "Gray format", and the encoder offsets, have no
// control here and are kept.
int showEncoderSetup(iDialogHost& host, AxisConfiguration& configuration);

}  // namespace kv7
