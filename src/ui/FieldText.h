// Numbers and times as the dialogs show and read them.
#pragma once

#include <cstdint>
#include <string>

#include "ui/DialogModel.h"

namespace kv7 {

void setUnsignedField(iControlSurface& dialog, int id, std::uint64_t value);

// The field's number, or 0 when its text is not an unsigned decimal number
// that fits 32 bits. Blanks around the digits are allowed.
std::uint32_t readUnsignedField(const iControlSurface& dialog, int id);
bool parseUnsignedText(const char* text, std::uint32_t& value);

// Arcseconds as +DDD:MM:SS, in the window's fields and kv7ctl's output.
std::string dmsText(std::int32_t arcseconds);
void setDmsField(iControlSurface& dialog, int id, std::int32_t arcseconds);

// Counts per revolution for a bits-per-revolution value: the decimal power
// of two, or "2^N" once it no longer fits 64 bits.
void setResolutionField(iControlSurface& dialog, int id, std::uint32_t bits);

}  // namespace kv7
