// The RA and Dec parsers and the text writers.
//
// Input: the whole input, cut at its first zero byte, is typed target text
// for both parsers and source text for appendText. Bytes 0..3 are also an
// arcsecond value, bytes 4..7 a second value, bytes 8 and 9 the two
// separators. Every writer runs at every capacity from 0 to 24 and every
// start position from 0 to 26, each in a heap buffer of exactly that
// capacity, so a byte written past the end is caught by AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "astro/Astro.h"
#include "astro/TextConvert.h"
#include "fuzz/FuzzSupport.h"

using namespace kv7;
using namespace kv7::fuzz;

namespace {

// The parsers' state tables, transcribed one row per state so that the
// production parser, written differently, is checked against them.
RaDecBytes referenceRa(const char* text)
{
    int state = 0;
    unsigned h = 0, m = 0, s = 0;
    for (const char* p = text; *p && state != 9; ++p) {
        const char c = *p;
        const bool digit = c >= '0' && c <= '9';
        const unsigned d = digit ? static_cast<unsigned>(c - '0') : 0;
        const bool sign = c == '+' || c == '-';
        const bool colon = c == ':';
        switch (state) {
        case 0: state = sign ? 1 : colon ? 4 : digit ? (h = d, 2) : 0; break;
        case 1: state = colon ? 4 : digit ? (h = d, 2) : 1; break;
        case 2: state = colon ? 4 : digit ? (h = 10 * h + d, 3) : 2; break;
        case 3: state = colon ? 4 : 3; break;
        case 4: state = digit ? (m = d, 5) : 4; break;
        case 5: state = colon ? 7 : digit ? (m = 10 * m + d, 6) : 5; break;
        case 6: state = colon ? 7 : 6; break;
        case 7: state = digit ? (s = d, 8) : 7; break;
        case 8: state = digit ? (s = 10 * s + d, 9) : 8; break;
        default: break;
        }
    }
    RaDecBytes r;
    r.raHours = static_cast<std::uint8_t>(h);
    r.raMinutes = static_cast<std::uint8_t>(m);
    r.raSeconds = static_cast<std::uint8_t>(s);
    return r;
}

RaDecBytes referenceDec(const char* text)
{
    int state = 0;
    unsigned n = 0, deg = 0, m = 0, s = 0;
    for (const char* p = text; *p && state != 10; ++p) {
        const char c = *p;
        const bool digit = c >= '0' && c <= '9';
        const unsigned d = digit ? static_cast<unsigned>(c - '0') : 0;
        const bool colon = c == ':';
        switch (state) {
        case 0:
            if (c == '-')
                n = 1, state = 1;
            else if (c == '+')
                state = 1;
            else
                state = colon ? 5 : digit ? (deg = d, 2) : 0;
            break;
        case 1: state = colon ? 5 : digit ? (deg = d, 2) : 1; break;
        case 2: state = colon ? 5 : digit ? (deg = 10 * deg + d, 3) : 2; break;
        case 3: state = colon ? 5 : digit ? (deg = 10 * deg + d, 4) : 3; break;
        case 4: state = colon ? 5 : 4; break;
        case 5: state = digit ? (m = d, 6) : 5; break;
        case 6: state = colon ? 8 : digit ? (m = 10 * m + d, 7) : 6; break;
        case 7: state = colon ? 8 : 7; break;
        case 8: state = digit ? (s = d, 9) : 8; break;
        case 9: state = digit ? (s = 10 * s + d, 10) : 9; break;
        default: break;
        }
    }
    RaDecBytes r;
    r.decNegative = static_cast<std::uint8_t>(n);
    r.decDegrees = static_cast<std::uint8_t>(deg);
    r.decMinutes = static_cast<std::uint8_t>(m);
    r.decSeconds = static_cast<std::uint8_t>(s);
    return r;
}

bool sameBytes(const RaDecBytes& a, const RaDecBytes& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string twoDigits(std::uint32_t v)
{
    char b[8];
    std::snprintf(b, sizeof b, "%02u", v > 99 ? 99u : v);
    return b;
}

std::string upToThreeDigits(std::uint32_t v)
{
    if (v > 999)
        v = 999;
    return v >= 100 ? std::to_string(v / 100) + twoDigits(v % 100) : twoDigits(v);
}

std::string signedDms(std::int32_t a, char s1, char s2)
{
    const std::uint32_t mag = a < 0 ? 0u - static_cast<std::uint32_t>(a) : static_cast<std::uint32_t>(a);
    return std::string(1, a < 0 ? '-' : '+') + upToThreeDigits(mag / 3600) + s1 + twoDigits(mag % 3600 / 60) + s2 +
           twoDigits(mag % 60);
}

std::string hexReversed(std::uint32_t v)
{
    std::string s;
    for (int i = 0; i < 8; ++i, v >>= 4)
        s += "0123456789ABCDEF"[v & 0xF];
    return s;
}

constexpr char untouched = '\x7F';

// Runs write(buffer, capacity, position) in a buffer of exactly capacity
// bytes and checks the common contract of the writers: nothing written
// before the position; the output is the start of full, cut where the
// next character would land at capacity - 1; the returned position is
// just after it; nothing written past the terminator, which is there when
// terminated says it must be.
template <class Write, class Terminated>
void checkWriter(const char* name, const std::string& full, Write write, Terminated terminated)
{
    for (std::uint32_t capacity = 0; capacity <= 24; ++capacity) {
        for (std::uint32_t position = 0; position <= 26; ++position) {
            // Capacity 0 is a real zero-size block: any byte written is caught.
            const std::unique_ptr<char[]> buffer = std::make_unique<char[]>(capacity);
            std::memset(buffer.get(), untouched, capacity);
            const std::uint32_t r = write(buffer.get(), capacity, position);

            std::size_t room = 0;
            if (capacity > 0 && position < capacity - 1)
                room = capacity - 1 - position;
            const std::size_t n = full.size() < room ? full.size() : room;
            bool ok = r == position + n;
            for (std::uint32_t i = 0; ok && i < capacity; ++i) {
                char expected = untouched;
                if (i >= position && i < r)
                    expected = full[i - position];
                else if (i == r && terminated(capacity, position, r, n == full.size()))
                    expected = '\0';
                ok = buffer[i] == expected;
            }
            if (!ok) {
                std::fprintf(stderr, "%s: capacity %u, position %u, expected \"%s\" cut to %zu, returned %u\n", name,
                             capacity, position, full.c_str(), n, r);
                fail("text writer broke its contract");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    std::uint8_t raw[10] = {};
    std::memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    const std::uint32_t first = readU32le(raw);
    const std::uint32_t second = readU32le(raw + 4);
    const char s1 = static_cast<char>(raw[8] ? raw[8] : ':');
    const char s2 = static_cast<char>(raw[9] ? raw[9] : ':');

    // Parsers: each fills only its own bytes of a shared record.
    RaDecBytes record;
    std::memset(&record, 0xEE, sizeof record);
    parseRaText(text.c_str(), &record);
    check(record.decNegative == 0xEE && record.decDegrees == 0xEE && record.decSeconds == 0xEE,
          "parseRaText wrote Dec bytes");
    parseDecText(text.c_str(), &record);
    const RaDecBytes ra = referenceRa(text.c_str());
    const RaDecBytes dec = referenceDec(text.c_str());
    check(record.raHours == ra.raHours && record.raMinutes == ra.raMinutes && record.raSeconds == ra.raSeconds,
          "parseRaText differs from its state table");
    RaDecBytes decOnly = record;
    decOnly.raHours = decOnly.raMinutes = decOnly.raSeconds = 0;
    check(sameBytes(decOnly, dec), "parseDecText differs from its state table");
    check(parseRaText(text.c_str(), nullptr) == 0 && parseDecText(text.c_str(), nullptr) == 0, "parser result");

    std::uint32_t raUnits = 0;
    std::int32_t decUnits = 0;
    raDecBytesToUnits(record, &raUnits, &decUnits);
    check(raUnits <= 99u * 54000 + 99u * 900 + 99u * 15, "RA units out of range");
    check((decUnits < 0) == (record.decNegative != 0 && decUnits != 0), "Dec sign lost");

    // A formatted angle reads back through the Dec parser while the degrees
    // fit the parser's byte.
    const auto arcsec = static_cast<std::int32_t>(first);
    if (arcsec > -256 * 3600 && arcsec < 256 * 3600) {
        char out[32];
        formatSignedDms(out, sizeof out, 0, arcsec, ':', ':');
        RaDecBytes back;
        parseDecText(out, &back);
        std::int32_t readBack = 0;
        raDecBytesToUnits(back, nullptr, &readBack);
        check(readBack == arcsec, "formatSignedDms does not read back");
    }

    auto always = [](std::uint32_t c, std::uint32_t, std::uint32_t r, bool) { return r < c; };
    auto digits = [](std::uint32_t c, std::uint32_t, std::uint32_t r, bool whole) { return whole && c > 0 && r < c - 1; };

    checkWriter("formatSignedDms", signedDms(arcsec, s1, s2),
                [&](char* b, std::uint32_t c, std::uint32_t p) { return formatSignedDms(b, c, p, arcsec, s1, s2); },
                always);
    checkWriter("appendTwoDigits", twoDigits(second),
                [&](char* b, std::uint32_t c, std::uint32_t p) { return appendTwoDigits(b, c, p, second); }, digits);
    checkWriter("appendUpToThreeDigits", upToThreeDigits(second),
                [&](char* b, std::uint32_t c, std::uint32_t p) { return appendUpToThreeDigits(b, c, p, second); },
                digits);
    checkWriter("appendHexReversed", hexReversed(first),
                [&](char* b, std::uint32_t c, std::uint32_t p) { return appendHexReversed(b, c, p, first); }, always);
    checkWriter("appendText", text,
                [&](char* b, std::uint32_t c, std::uint32_t p) { return appendText(b, c, p, text.c_str()); }, always);
    checkWriter("appendText (null source)", std::string(),
                [&](char* b, std::uint32_t c, std::uint32_t p) { return appendText(b, c, p, nullptr); }, always);

    char name[256];
    const std::uint32_t nameLength = channelPipeName(name, sizeof name, first);
    const std::string expectedName = std::string("\\\\.\\Pipe\\velantrix_encoder_test_") + hexReversed(first);
    check(nameLength == expectedName.size() && expectedName == name, "channel name");

    const std::uint64_t value = static_cast<std::uint64_t>(second) << 32 | first;
    const std::uint64_t divisor = size > 10 ? data[10] : 0;
    const std::uint32_t tenths = revolutionToTenthArcsec(value, divisor);
    check(divisor != 0 || tenths == 0, "revolutionToTenthArcsec with divisor 0");
    return 0;
}
