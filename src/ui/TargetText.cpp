#include "ui/TargetText.h"

#include <algorithm>

#include "astro/TextConvert.h"

namespace kv7 {

namespace {

struct Fields {
    std::uint32_t value[3] = {};
    bool negative = false;
    double fraction = 0.0;   // of the last field, when a fraction was allowed and given
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a number of at most maxDigits digits; false when there is none or
// there are more.
bool readNumber(const char*& p, int maxDigits, std::uint32_t& value)
{
    int digits = 0;
    value = 0;
    while (isDigit(*p)) {
        if (++digits > maxDigits)
            return false;
        value = value * 10 + static_cast<std::uint32_t>(*p - '0');
        ++p;
    }
    return digits > 0;
}

// A fraction of up to three digits after the point.
bool readFraction(const char*& p, double& fraction)
{
    ++p;
    std::uint32_t digits = 0;
    double scale = 1.0;
    fraction = 0.0;
    while (isDigit(*p) && digits < 3) {
        scale /= 10.0;
        fraction += (*p - '0') * scale;
        ++digits;
        ++p;
    }
    return digits > 0 && !isDigit(*p);
}

bool readFields(const char* p, bool signAllowed, int firstDigits, Fields& fields, bool fractionAllowed = false)
{
    while (isBlank(*p))
        ++p;
    if (signAllowed && (*p == '+' || *p == '-')) {
        fields.negative = *p == '-';
        ++p;
    }
    if (!readNumber(p, firstDigits, fields.value[0]))
        return false;
    int i = 1;
    for (; i < 3 && *p == ':'; ++i) {
        ++p;
        if (!readNumber(p, 2, fields.value[i]))
            return false;
    }
    // Seconds of time may carry a fraction: one second of RA is 15 seconds
    // of arc, too coarse to point back at a star within one.
    if (fractionAllowed && i == 3 && *p == '.' && !readFraction(p, fields.fraction))
        return false;
    while (isBlank(*p))
        ++p;
    return *p == '\0';
}

}  // namespace

TargetTextCheck checkRaText(const char* text)
{
    Fields ra;
    if (!readFields(text, false, 2, ra, true))
        return TargetTextCheck::NotAPosition;
    if (ra.value[0] > 23 || ra.value[1] > 59 || ra.value[2] > 59)
        return TargetTextCheck::OutOfRange;
    return TargetTextCheck::Sound;
}

TargetTextCheck checkDecText(const char* text)
{
    Fields dec;
    if (!readFields(text, true, 3, dec))
        return TargetTextCheck::NotAPosition;
    const std::uint32_t decArcsec = dec.value[0] * 3600 + dec.value[1] * 60 + dec.value[2];
    if (dec.value[1] > 59 || dec.value[2] > 59 || decArcsec > 90 * 3600)
        return TargetTextCheck::OutOfRange;
    return TargetTextCheck::Sound;
}

TargetTextCheck readRaText(const char* text, std::uint32_t& arcsec)
{
    const TargetTextCheck check = checkRaText(text);
    if (check == TargetTextCheck::Sound) {
        // Checked strictly, converted by the same parser as every target.
        RaDecBytes bytes;
        parseRaText(text, &bytes);
        raDecBytesToUnits(bytes, &arcsec, nullptr);
        Fields ra;
        readFields(text, false, 2, ra, true);
        const auto extra = static_cast<std::uint32_t>(ra.fraction * 15.0 + 0.5);
        arcsec = std::min<std::uint32_t>(arcsec + extra, 1296000 - 1);
    }
    return check;
}

TargetTextCheck readDecText(const char* text, std::int32_t& arcsec)
{
    const TargetTextCheck check = checkDecText(text);
    if (check == TargetTextCheck::Sound) {
        RaDecBytes bytes;
        parseDecText(text, &bytes);
        raDecBytesToUnits(bytes, nullptr, &arcsec);
    }
    return check;
}

const char* targetTextProblem(const char* raText, const char* decText)
{
    switch (checkRaText(raText)) {
    case TargetTextCheck::NotAPosition: return "Target not sent: RA not hh:mm:ss";
    case TargetTextCheck::OutOfRange: return "Target not sent: RA out of range";
    case TargetTextCheck::Sound: break;
    }
    switch (checkDecText(decText)) {
    case TargetTextCheck::NotAPosition: return "Target not sent: Dec not dd:mm:ss";
    case TargetTextCheck::OutOfRange: return "Target not sent: Dec out of range";
    case TargetTextCheck::Sound: break;
    }
    return nullptr;
}

const char* readTargetText(const char* raText, const char* decText, std::uint32_t& raArcsec,
                           std::int32_t& decArcsec)
{
    if (const char* problem = targetTextProblem(raText, decText))
        return problem;
    readRaText(raText, raArcsec);
    readDecText(decText, decArcsec);
    return nullptr;
}

}  // namespace kv7
