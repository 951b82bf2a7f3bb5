#include "ui/FieldText.h"

#include <charconv>

#include "astro/TextConvert.h"

namespace kv7 {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

void setUnsignedField(iControlSurface& dialog, int id, std::uint64_t value)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    dialog.setText(id, std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
}

bool parseUnsignedText(const char* text, std::uint32_t& value)
{
    value = 0;
    const char* p = text;
    while (isBlank(*p))
        ++p;
    const char* end = p;
    while (*end >= '0' && *end <= '9')
        ++end;
    std::uint32_t parsed = 0;
    const auto result = std::from_chars(p, end, parsed);
    if (result.ec != std::errc() || result.ptr != end)
        return false;
    while (isBlank(*end))
        ++end;
    if (*end != '\0')
        return false;
    value = parsed;
    return true;
}

std::uint32_t readUnsignedField(const iControlSurface& dialog, int id)
{
    char text[64];
    dialog.getText(id, text, sizeof text);
    std::uint32_t value = 0;
    parseUnsignedText(text, value);
    return value;
}

std::string dmsText(std::int32_t arcseconds)
{
    char text[32];
    formatSignedDms(text, sizeof text, 0, arcseconds, ':', ':');
    return text;
}

void setDmsField(iControlSurface& dialog, int id, std::int32_t arcseconds) { dialog.setText(id, dmsText(arcseconds)); }

void setResolutionField(iControlSurface& dialog, int id, std::uint32_t bits)
{
    if (bits < 64) {
        setUnsignedField(dialog, id, std::uint64_t{1} << bits);
        return;
    }
    char text[16] = "2^";
    const auto result = std::to_chars(text + 2, text + sizeof text - 1, bits);
    *result.ptr = '\0';
    dialog.setText(id, text);
}

}  // namespace kv7
