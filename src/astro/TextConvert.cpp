#include "astro/TextConvert.h"

#include <cmath>
#include <limits>

namespace kv7 {

namespace {

// Room for one more character while keeping the last byte for the
// terminating zero. A zero capacity has no room at all (capacity - 1 would
// wrap to the largest value).
bool hasRoom(std::uint32_t capacity, std::uint32_t position)
{
    return capacity != 0 && position < capacity - 1;
}

void terminate(char* buffer, std::uint32_t capacity, std::uint32_t position)
{
    if (position < capacity)
        buffer[position] = '\0';
}

char digitChar(std::uint32_t digit)
{
    return static_cast<char>('0' + digit);
}

// The typed target is three colon-separated fields: an optional sign, then
// up to firstFieldDigits digits, then two and two. The parser is deliberately
// forgiving because operators type "12h 30m", stray spaces and the like:
// anything that is not a digit, a colon or a leading sign is ignored, extra
// digits in a field are dropped, and a colon only moves on from the minutes
// once a minute digit has been seen.
struct SexagesimalFields {
    bool negative = false;
    std::uint32_t value[3] = {0, 0, 0};
};

SexagesimalFields parseSexagesimal(const char* text, std::uint32_t firstFieldDigits)
{
    SexagesimalFields fields;
    if (!text)
        return fields;
    const std::uint32_t maxDigits[3] = {firstFieldDigits, 2, 2};
    std::uint32_t field = 0;
    std::uint32_t digits = 0;
    bool signSeen = false;
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        if (c == '+' || c == '-') {
            // A sign counts only before anything else that means something.
            if (field == 0 && digits == 0 && !signSeen) {
                signSeen = true;
                fields.negative = c == '-';
            }
        } else if (c == ':') {
            if (field == 0 || (field == 1 && digits > 0)) {
                ++field;
                digits = 0;
            }
        } else if (c >= '0' && c <= '9') {
            if (digits < maxDigits[field]) {
                fields.value[field] = fields.value[field] * 10 + static_cast<std::uint32_t>(c - '0');
                ++digits;
                if (field == 2 && digits == maxDigits[2])
                    break;
            }
        }
    }
    return fields;
}

}  // namespace

int parseRaText(const char* text, RaDecBytes* out)
{
    if (!out)
        return 0;
    // RA has no sign; a typed one is tolerated and dropped.
    const SexagesimalFields fields = parseSexagesimal(text, 2);
    out->raHours = static_cast<std::uint8_t>(fields.value[0]);
    out->raMinutes = static_cast<std::uint8_t>(fields.value[1]);
    out->raSeconds = static_cast<std::uint8_t>(fields.value[2]);
    return 0;
}

int parseDecText(const char* text, RaDecBytes* out)
{
    if (!out)
        return 0;
    const SexagesimalFields fields = parseSexagesimal(text, 3);
    // Kept apart from the degrees so that -0:30 stays south of the equator.
    out->decNegative = fields.negative ? 1 : 0;
    out->decDegrees = static_cast<std::uint8_t>(fields.value[0]);
    out->decMinutes = static_cast<std::uint8_t>(fields.value[1]);
    out->decSeconds = static_cast<std::uint8_t>(fields.value[2]);
    return 0;
}

std::uint32_t appendTwoDigits(char* buffer, std::uint32_t capacity, std::uint32_t position, std::uint32_t value)
{
    const std::uint32_t v = value > 99 ? 99 : value;
    if (!hasRoom(capacity, position))
        return position;
    buffer[position++] = digitChar(v / 10);
    if (!hasRoom(capacity, position))
        return position;
    buffer[position++] = digitChar(v % 10);
    if (hasRoom(capacity, position))
        buffer[position] = '\0';
    return position;
}

std::uint32_t appendUpToThreeDigits(char* buffer, std::uint32_t capacity, std::uint32_t position,
                                    std::uint32_t value)
{
    const std::uint32_t v = value > 999 ? 999 : value;
    if (v >= 100) {
        if (!hasRoom(capacity, position))
            return position;
        buffer[position++] = digitChar(v / 100);
    }
    return appendTwoDigits(buffer, capacity, position, v % 100);
}

std::uint32_t formatSignedDms(char* buffer, std::uint32_t capacity, std::uint32_t position,
                              std::int32_t arcseconds, char firstSeparator, char secondSeparator)
{
    // Unsigned magnitude: negating INT32_MIN in signed arithmetic overflows.
    const bool negative = arcseconds < 0;
    const std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(arcseconds) : static_cast<std::uint32_t>(arcseconds);
    if (hasRoom(capacity, position))
        buffer[position++] = negative ? '-' : '+';
    position = appendUpToThreeDigits(buffer, capacity, position, magnitude / 3600);
    if (hasRoom(capacity, position))
        buffer[position++] = firstSeparator;
    position = appendTwoDigits(buffer, capacity, position, magnitude % 3600 / 60);
    if (hasRoom(capacity, position))
        buffer[position++] = secondSeparator;
    position = appendTwoDigits(buffer, capacity, position, magnitude % 60);
    terminate(buffer, capacity, position);
    return position;
}

std::uint32_t appendText(char* buffer, std::uint32_t capacity, std::uint32_t position, const char* source)
{
    if (source) {
        while (*source != '\0' && hasRoom(capacity, position))
            buffer[position++] = *source++;
    }
    terminate(buffer, capacity, position);
    return position;
}

std::uint32_t appendHexReversed(char* buffer, std::uint32_t capacity, std::uint32_t position, std::uint32_t value)
{
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    for (int nibble = 0; nibble < 8 && hasRoom(capacity, position); ++nibble) {
        buffer[position++] = kHexDigits[value & 0xF];
        value >>= 4;
    }
    terminate(buffer, capacity, position);
    return position;
}

void formatSiderealTime(double hours, char (&text)[64])
{
    constexpr std::int32_t day = 86400;
    const double seconds = hours * 3600.0;
    std::int32_t s = 0;
    // Anything that does not fit a 32-bit count of seconds would make the
    // truncating conversion undefined.
    if (std::isfinite(seconds) && std::fabs(seconds) < static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        s = static_cast<std::int32_t>(seconds);
    s %= day;
    if (s < 0)
        s += day;
    const auto u = static_cast<std::uint32_t>(s);
    constexpr std::uint32_t capacity = 63;
    std::uint32_t pos = appendTwoDigits(text, capacity, 0, u / 3600);
    text[pos++] = ':';
    pos = appendTwoDigits(text, capacity, pos, u % 3600 / 60);
    text[pos++] = ':';
    pos = appendTwoDigits(text, capacity, pos, u % 60);
    text[pos] = '\0';
}

std::uint32_t revolutionToTenthArcsec(std::uint64_t value, std::uint64_t divisor)
{
    if (divisor == 0)
        return 0;
    constexpr std::uint64_t kTenthArcsecPerRevolution = 360ull * 3600ull * 10ull;
    // Only the low 64 bits of the product are kept; encoder positions stay
    // far below the 1.4e12 steps where that would bite.
    return static_cast<std::uint32_t>(value * kTenthArcsecPerRevolution / divisor);
}

std::uint32_t channelPipeName(char* buffer, std::uint32_t capacity, std::uint32_t processId)
{
    // Pipe names are machine-wide; the process id keeps two running copies apart.
    const std::uint32_t position = appendText(buffer, capacity, 0, "\\\\.\\Pipe\\velantrix_encoder_test_");
    return appendHexReversed(buffer, capacity, position, processId);
}

}  // namespace kv7
