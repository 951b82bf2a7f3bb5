#include "sim/engine/Settings.h"

#include <cstdio>
#include <sstream>
#include <string_view>

#include "protocol/DeviceProtocol.h"

namespace kv7::sim {

namespace {

// Lays out the opaque part of a motor settings block (block offsets 2..26):
// the setting values are plausible driver settings, distinct per axis so a
// swapped block shows.
std::array<std::uint8_t, opaqueMotorBytes> motorBytes(std::uint8_t g, std::uint16_t a, std::uint16_t b0,
                                                      std::uint16_t b1, std::uint16_t b2, std::uint8_t h,
                                                      std::uint32_t i)
{
    std::uint8_t p[motorBlockSize] = {};   // indexed by block offset; 0..1 is the speed factor
    p[2] = g;
    writeU16le(p + 3, a);
    writeU16le(p + 5, b0);
    writeU16le(p + 7, b1);
    writeU16le(p + 9, b2);
    p[11] = 3;   // C
    p[12] = 5;
    p[13] = 7;
    p[14] = 1;   // E
    p[15] = 0;
    p[16] = 2;   // D
    p[17] = 4;
    writeU16le(p + 18, 500);   // F
    writeU16le(p + 20, 250);
    p[22] = h;
    writeU32le(p + 23, i);
    std::array<std::uint8_t, opaqueMotorBytes> m{};
    for (std::size_t k = 0; k < opaqueMotorBytes; ++k)
        m[k] = p[k + 2];
    return m;
}

struct AxisField {
    const char* name;
    std::uint64_t max;
    std::uint64_t (*get)(const AxisSettings&);
    void (*set)(AxisSettings&, std::uint64_t);
};

struct DeviceField {
    const char* name;
    std::uint64_t max;
    std::uint64_t (*get)(const ControllerSettings&);
    void (*set)(ControllerSettings&, std::uint64_t);
};

constexpr std::uint64_t u8 = 0xFF;
constexpr std::uint64_t u16 = 0xFFFF;
constexpr std::uint64_t u32 = 0xFFFFFFFF;

// clang-format off
const DeviceField deviceFields[] = {
    {"deviceId", u32, [](const ControllerSettings& s) -> std::uint64_t { return s.deviceId; },
                      [](ControllerSettings& s, std::uint64_t v) { s.deviceId = static_cast<std::uint32_t>(v); }},
    {"deviceWord", u32, [](const ControllerSettings& s) -> std::uint64_t { return s.deviceWord; },
                        [](ControllerSettings& s, std::uint64_t v) { s.deviceWord = static_cast<std::uint32_t>(v); }},
    {"deviceByte", u8, [](const ControllerSettings& s) -> std::uint64_t { return s.deviceByte; },
                       [](ControllerSettings& s, std::uint64_t v) { s.deviceByte = static_cast<std::uint8_t>(v); }},
    {"reverseMotorBits", u8, [](const ControllerSettings& s) -> std::uint64_t { return s.reverseMotorBits; },
                             [](ControllerSettings& s, std::uint64_t v) { s.reverseMotorBits = static_cast<std::uint8_t>(v); }},
    {"motorExtraByte", u8, [](const ControllerSettings& s) -> std::uint64_t { return s.motorExtraByte; },
                           [](ControllerSettings& s, std::uint64_t v) { s.motorExtraByte = static_cast<std::uint8_t>(v); }},
    {"reverseEncoderBits", u8, [](const ControllerSettings& s) -> std::uint64_t { return s.reverseEncoderBits; },
                               [](ControllerSettings& s, std::uint64_t v) { s.reverseEncoderBits = static_cast<std::uint8_t>(v); }},
};

const AxisField axisFields[] = {
    {"axisByte", u8, [](const AxisSettings& a) -> std::uint64_t { return a.axisByte; },
                     [](AxisSettings& a, std::uint64_t v) { a.axisByte = static_cast<std::uint8_t>(v); }},
    {"gearRatio", u32, [](const AxisSettings& a) -> std::uint64_t { return a.gearRatio; },
                       [](AxisSettings& a, std::uint64_t v) { a.gearRatio = static_cast<std::uint32_t>(v); }},
    {"microsteps", u32, [](const AxisSettings& a) -> std::uint64_t { return a.microsteps; },
                        [](AxisSettings& a, std::uint64_t v) { a.microsteps = static_cast<std::uint32_t>(v); }},
    {"baseSpeed", u32, [](const AxisSettings& a) -> std::uint64_t { return a.baseSpeed; },
                       [](AxisSettings& a, std::uint64_t v) { a.baseSpeed = static_cast<std::uint32_t>(v); }},
    {"speedFactor", u16, [](const AxisSettings& a) -> std::uint64_t { return a.speedFactor; },
                         [](AxisSettings& a, std::uint64_t v) { a.speedFactor = static_cast<std::uint16_t>(v); }},
    {"acceleration", u32, [](const AxisSettings& a) -> std::uint64_t { return a.acceleration; },
                          [](AxisSettings& a, std::uint64_t v) { a.acceleration = static_cast<std::uint32_t>(v); }},
    {"encoderFlags", u8, [](const AxisSettings& a) -> std::uint64_t { return a.encoderFormat.flags; },
                         [](AxisSettings& a, std::uint64_t v) { a.encoderFormat.flags = static_cast<std::uint8_t>(v); }},
    {"encoderLeadingBits", u8, [](const AxisSettings& a) -> std::uint64_t { return a.encoderFormat.leadingBits; },
                               [](AxisSettings& a, std::uint64_t v) { a.encoderFormat.leadingBits = static_cast<std::uint8_t>(v); }},
    {"encoderBitsPerRevolution", u8, [](const AxisSettings& a) -> std::uint64_t { return a.encoderFormat.bitsPerRevolution; },
                                     [](AxisSettings& a, std::uint64_t v) { a.encoderFormat.bitsPerRevolution = static_cast<std::uint8_t>(v); }},
    {"encoderBitsForRevolutions", u8, [](const AxisSettings& a) -> std::uint64_t { return a.encoderFormat.bitsForRevolutions; },
                                      [](AxisSettings& a, std::uint64_t v) { a.encoderFormat.bitsForRevolutions = static_cast<std::uint8_t>(v); }},
    {"encoderOffset", u32, [](const AxisSettings& a) -> std::uint64_t { return a.encoderOffset; },
                           [](AxisSettings& a, std::uint64_t v) { a.encoderOffset = static_cast<std::uint32_t>(v); }},
};
// clang-format on

constexpr std::string_view motorBytesKey = "motorBytes";

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Decimal, or hexadecimal after 0x. No sign, no overflow past 64 bits.
bool parseUnsigned(std::string_view text, std::uint64_t& value)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 20)
        return false;
    std::uint64_t v = 0;
    for (char c : text) {
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (v > (~std::uint64_t{0} - digit) / base)
            return false;
        v = v * base + digit;
    }
    value = v;
    return true;
}

bool parseHexBytes(std::string_view text, std::array<std::uint8_t, opaqueMotorBytes>& out)
{
    if (text.size() != 2 * opaqueMotorBytes)
        return false;
    std::array<std::uint8_t, opaqueMotorBytes> bytes{};
    for (std::size_t i = 0; i < opaqueMotorBytes; ++i) {
        std::uint64_t v = 0;
        const std::string_view pair = text.substr(2 * i, 2);
        if (!parseUnsigned(std::string("0x").append(pair), v))
            return false;
        bytes[i] = static_cast<std::uint8_t>(v);
    }
    out = bytes;
    return true;
}

void appendAxis(std::ostringstream& out, const char* prefix, const AxisSettings& axis)
{
    for (const AxisField& f : axisFields)
        out << prefix << '.' << f.name << '=' << f.get(axis) << '\n';
    out << prefix << '.' << motorBytesKey << '=';
    for (std::uint8_t b : axis.motorBytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", b);
        out << hex;
    }
    out << '\n';
}

bool setAxisKey(AxisSettings& axis, std::string_view name, std::string_view value, std::string& problem)
{
    if (name == motorBytesKey) {
        if (!parseHexBytes(value, axis.motorBytes))
            problem = "expected " + std::to_string(2 * opaqueMotorBytes) + " hexadecimal digits";
        return true;
    }
    for (const AxisField& f : axisFields) {
        if (name != f.name)
            continue;
        std::uint64_t v = 0;
        if (!parseUnsigned(value, v) || v > f.max)
            problem = "expected a number from 0 to " + std::to_string(f.max);
        else
            f.set(axis, v);
        return true;
    }
    return false;
}

bool setKey(ControllerSettings& s, std::string_view key, std::string_view value, std::string& problem)
{
    if (key.starts_with("ra."))
        return setAxisKey(s.ra, key.substr(3), value, problem);
    if (key.starts_with("dec."))
        return setAxisKey(s.dec, key.substr(4), value, problem);
    for (const DeviceField& f : deviceFields) {
        if (key != f.name)
            continue;
        std::uint64_t v = 0;
        if (!parseUnsigned(value, v) || v > f.max)
            problem = "expected a number from 0 to " + std::to_string(f.max);
        else
            f.set(s, v);
        return true;
    }
    return false;
}

}  // namespace

ControllerSettings factorySettings()
{
    ControllerSettings s;
    s.deviceId = 0x00070203;
    s.deviceWord = 0x0001E078;
    s.deviceByte = 7;
    s.reverseMotorBits = 0;
    s.motorExtraByte = 0x10;
    s.reverseEncoderBits = 0;

    s.ra.axisByte = 1;
    s.ra.gearRatio = 144;
    s.ra.microsteps = 144 * 200 * 64;    // 1 843 200
    s.ra.baseSpeed = 1000;
    s.ra.speedFactor = 16;               // 16 000 microsteps/s: a quarter turn in about 31 s
    s.ra.acceleration = 8000;
    s.ra.motorBytes = motorBytes(6, 1200, 400, 800, 1600, 64, 100000);

    s.dec.axisByte = 2;
    s.dec.gearRatio = 120;
    s.dec.microsteps = 120 * 200 * 64;   // 1 536 000
    s.dec.baseSpeed = 900;
    s.dec.speedFactor = 15;              // 13 500 microsteps/s: a quarter turn in about 30 s
    s.dec.acceleration = 8000;
    s.dec.motorBytes = motorBytes(6, 1000, 300, 700, 1400, 48, 90000);
    return s;
}

std::string formatSettings(const ControllerSettings& settings)
{
    std::ostringstream out;
    out << "# KV7 virtual controller: stored parameters\n";
    for (const DeviceField& f : deviceFields)
        out << f.name << '=' << f.get(settings) << '\n';
    appendAxis(out, "ra", settings.ra);
    appendAxis(out, "dec", settings.dec);
    return out.str();
}

void parseSettings(const std::string& text, ControllerSettings& settings, std::vector<std::string>& problems)
{
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    while (std::getline(in, raw)) {
        ++lineNumber;
        const std::string_view line = trim(raw);
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t eq = line.find('=');
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (eq == std::string_view::npos) {
            problems.push_back(where + "no '=' in \"" + std::string(line) + "\"");
            continue;
        }
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        std::string problem;
        if (!setKey(settings, key, value, problem))
            problems.push_back(where + "unknown key \"" + std::string(key) + "\"");
        else if (!problem.empty())
            problems.push_back(where + std::string(key) + ": " + problem);
    }
}

}  // namespace kv7::sim
