#include "config/Snapshot.h"

#include <algorithm>

namespace kv7::config {

namespace {

using S = Section;
using W = Writer;

constexpr std::uint64_t u8 = 0xFF;
constexpr std::uint64_t u16 = 0xFFFF;
constexpr std::uint64_t u32 = 0xFFFFFFFF;

// The data of the file: one row a field, the link's records' names.
const FieldSpec specs[] = {
    {"startCode", S::Identity, 1, u8, W::None},
    {"deviceId", S::Identity, 1, u32, W::None},
    {"deviceWord", S::Identity, 1, u32, W::None},
    {"deviceByte", S::Identity, 1, u8, W::None},
    {"raAxisByte", S::Identity, 1, u8, W::None},
    {"decAxisByte", S::Identity, 1, u8, W::None},
    {"raGearRatio", S::Axes, 1, u32, W::None},
    {"raMicrosteps", S::Axes, 1, u32, W::None},
    {"raBaseSpeed", S::Axes, 1, u32, W::None},
    {"decGearRatio", S::Axes, 1, u32, W::None},
    {"decMicrosteps", S::Axes, 1, u32, W::None},
    {"decBaseSpeed", S::Axes, 1, u32, W::None},
    {"raSpeedFactor", S::Axes, 1, u32, W::None},
    {"decSpeedFactor", S::Axes, 1, u32, W::None},
    {"raMaxSpeed", S::Axes, 1, u32, W::None},
    {"decMaxSpeed", S::Axes, 1, u32, W::None},
    // The limits of the window's Encoder setup: flags 0..7, leading bits
    // and bits for revolutions 0..31, bits per revolution 1..32 (checked
    // together with the bits for revolutions by the reader).
    {"raFlags", S::EncoderFormat, 1, 7, W::EncoderFormat},
    {"decFlags", S::EncoderFormat, 1, 7, W::EncoderFormat},
    {"raLeadingBits", S::EncoderFormat, 1, 31, W::EncoderFormat},
    {"raBitsPerRevolution", S::EncoderFormat, 1, 32, W::EncoderFormat},
    {"raBitsForRevolutions", S::EncoderFormat, 1, 31, W::EncoderFormat},
    {"decLeadingBits", S::EncoderFormat, 1, 31, W::EncoderFormat},
    {"decBitsPerRevolution", S::EncoderFormat, 1, 32, W::EncoderFormat},
    {"decBitsForRevolutions", S::EncoderFormat, 1, 31, W::EncoderFormat},
    {"reverseEncoderBits", S::EncoderCalibration, 1, 3, W::EncoderCalibration},
    {"raEncoderOffset", S::EncoderCalibration, 1, u32, W::EncoderCalibration},
    {"decEncoderOffset", S::EncoderCalibration, 1, u32, W::EncoderCalibration},
    {"reverseMotorBits", S::Motor, 1, 3, W::MotorReversal},
    {"motorExtraByte", S::Motor, 1, u8, W::MotorReversal},
    {"motorSettingA", S::Motor, 2, u16, W::None},
    {"motorSettingsB", S::Motor, 6, u16, W::None},
    {"motorSettingsC", S::Motor, 6, u8, W::None},
    {"motorSettingsD", S::Motor, 4, u8, W::None},
    {"motorSettingsE", S::Motor, 4, u8, W::None},
    {"motorSettingsF", S::Motor, 4, u16, W::None},
    {"motorSettingG", S::Motor, 2, u16, W::None},
    {"motorSettingH", S::Motor, 2, u8, W::None},
    {"motorSettingI", S::Motor, 2, u32, W::None},
};

std::string quoted(const std::string& text)
{
    std::string s = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static const char hex[] = "0123456789abcdef";
            s += "\\u00";
            s += hex[(c >> 4) & 0xF];
            s += hex[c & 0xF];
        } else {
            s += c;
        }
    }
    return s + "\"";
}

std::string sectionText(const Snapshot& snapshot, Section section)
{
    std::string s;
    for (std::size_t i = 0; i < std::size(specs); ++i) {
        if (specs[i].section != section)
            continue;
        s += s.empty() ? "\n" : ",\n";
        s += "    \"" + std::string(specs[i].name) + "\": " + numbersText(snapshot.fields[i]);
    }
    return "{" + s + "\n  }";
}

}  // namespace

std::span<const FieldSpec> fieldSpecs() { return specs; }

const char* sectionName(Section section)
{
    switch (section) {
    case Section::Identity: return "identity";
    case Section::Axes: return "axes";
    case Section::EncoderFormat: return "encoderFormat";
    case Section::EncoderCalibration: return "encoderCalibration";
    case Section::Motor: return "motor";
    }
    return "";
}

std::string qualifiedName(const FieldSpec& spec) { return std::string(sectionName(spec.section)) + "." + spec.name; }

std::string numbersText(const Numbers& numbers)
{
    if (numbers.count == 1)
        return std::to_string(numbers.v[0]);
    std::string s = "[";
    for (std::size_t i = 0; i < numbers.count; ++i)
        s += (i ? "," : "") + std::to_string(numbers.v[i]);
    return s + "]";
}

const Numbers* Snapshot::field(std::string_view name) const
{
    const auto* found =
        std::find_if(std::begin(specs), std::end(specs), [&](const FieldSpec& s) { return name == s.name; });
    return found == std::end(specs) ? nullptr : &fields[static_cast<std::size_t>(found - std::begin(specs))];
}

Numbers* Snapshot::field(std::string_view name)
{
    return const_cast<Numbers*>(static_cast<const Snapshot&>(*this).field(name));
}

std::uint64_t Snapshot::number(std::string_view name) const
{
    const Numbers* n = field(name);
    return n ? n->v[0] : 0;
}

std::string writeSnapshot(const Snapshot& snapshot)
{
    std::string s = "{\n  \"format\": " + quoted(std::string(fileFormat)) + ",\n  \"version\": " +
                    std::to_string(snapshot.version) + ",\n  \"savedUtc\": " + quoted(snapshot.savedUtc) +
                    ",\n  \"port\": " + quoted(snapshot.port) + ",\n  \"program\": " + quoted(snapshot.program);
    for (const Section section : {Section::Identity, Section::Axes, Section::EncoderFormat,
                                  Section::EncoderCalibration, Section::Motor})
        s += ",\n  \"" + std::string(sectionName(section)) + "\": " + sectionText(snapshot, section);
    return s + "\n}\n";
}

std::string modelMismatch(const Snapshot& file, const Snapshot& connected)
{
    for (const char* name : {"deviceId", "deviceWord"}) {
        if (file.number(name) != connected.number(name))
            return std::string("the file was saved from another controller model (") + name + " " +
                   std::to_string(file.number(name)) + ", this controller's is " +
                   std::to_string(connected.number(name)) + ")";
    }
    return {};
}

std::vector<Difference> differences(const Snapshot& file, const Snapshot& controller)
{
    std::vector<Difference> found;
    for (std::size_t i = 0; i < std::size(specs); ++i) {
        if (file.fields[i] != controller.fields[i])
            found.push_back({i, file.fields[i], controller.fields[i]});
    }
    return found;
}

}  // namespace kv7::config
