#include "ui/WritePreview.h"

#include <algorithm>
#include <cstdio>

#include "ui/RecordFields.h"

namespace kv7 {

config::Snapshot snapshotOf(const ControllerParameters& p, const AxisConfiguration& a)
{
    config::Snapshot s;
    for (const ConfigurationField& f : configurationFields()) {
        config::Numbers* n = s.field(f.name);
        if (!n)
            continue;   // derived from others (the encoder resolutions)
        const FieldValue v = f.value(p, a);
        n->count = v.count;
        std::copy(v.v, v.v + v.count, n->v);
    }
    return s;
}

std::string utcStamp(const UtcTime& t)
{
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return b;
}

std::vector<SettingChange> settingChanges(const config::Snapshot& held, const config::Snapshot& after)
{
    std::vector<SettingChange> changes;
    for (const config::Difference& d : config::differences(after, held))
        changes.push_back({config::qualifiedName(config::fieldSpecs()[d.index]), config::numbersText(d.inController),
                           config::numbersText(d.inFile)});
    return changes;
}

AxisConfiguration withEncoderFormat(AxisConfiguration axes, const EncoderFormat& format)
{
    axes.encoderFormat = format;
    return axes;
}

AxisConfiguration withCalibration(AxisConfiguration axes, std::uint8_t reverseBits, std::uint32_t raOffset,
                                  std::uint32_t decOffset)
{
    axes.reverseEncoderBits = reverseBits;
    axes.raEncoderOffset = raOffset;
    axes.decEncoderOffset = decOffset;
    return axes;
}

ControllerParameters withMotorReversal(ControllerParameters parameters, std::uint8_t reverseBits,
                                       std::uint8_t extraByte)
{
    parameters.reverseMotorBits = reverseBits;
    parameters.motorExtraByte = extraByte;
    return parameters;
}

std::string changeLines(const std::vector<SettingChange>& changes)
{
    std::size_t width = 0;
    for (const SettingChange& c : changes)
        width = std::max(width, c.field.size());
    std::string text;
    for (const SettingChange& c : changes)
        text += "  " + c.field + std::string(width - c.field.size() + 2, ' ') + c.before + " -> " + c.after + "\n";
    return text;
}

}  // namespace kv7
