#include "ui/RecordFields.h"


#include "ui/ControlIds.h"
#include "ui/FieldText.h"

namespace kv7 {

namespace {

using P = ControllerParameters;
using A = AxisConfiguration;
using M = MountState;
using G = FieldGroup;

FieldValue number(std::uint64_t n)
{
    FieldValue f;
    f.v[0] = n;
    return f;
}

template <class T, std::size_t N>
FieldValue list(const T (&values)[N])
{
    static_assert(N <= 6);
    FieldValue f;
    f.kind = FieldValue::Kind::List;
    f.count = N;
    for (std::size_t i = 0; i < N; ++i)
        f.v[i] = values[i];
    return f;
}

template <class T, std::size_t N>
FieldValue twoLists(const T (&values)[2][N])
{
    static_assert(N <= 3);
    FieldValue f;
    f.kind = FieldValue::Kind::TwoLists;
    f.count = 2 * N;
    for (std::size_t i = 0; i < N; ++i) {
        f.v[i] = values[0][i];
        f.v[N + i] = values[1][i];
    }
    return f;
}

FieldValue dms(std::uint32_t arcseconds)
{
    FieldValue f = number(arcseconds);
    f.kind = FieldValue::Kind::Dms;
    return f;
}

// The data of the table: one row a field.
const ConfigurationField configurationRows[] = {
    {"startCode", G::Parameters, [](const P& p, const A&) { return number(p.startCode); }, 0, {}},
    {"deviceId", G::Parameters, [](const P& p, const A&) { return number(p.deviceId); }, 0, {}},
    {"deviceWord", G::Parameters, [](const P& p, const A&) { return number(p.deviceWord); }, 0, {}},
    {"deviceByte", G::Parameters, [](const P& p, const A&) { return number(p.deviceByte); }, 0, {}},
    {"raAxisByte", G::Parameters, [](const P& p, const A&) { return number(p.raAxisByte); }, 0, {}},
    {"decAxisByte", G::Parameters, [](const P& p, const A&) { return number(p.decAxisByte); }, 0, {}},
    {"raGearRatio", G::Parameters, [](const P& p, const A&) { return number(p.raGearRatio); }, MainId::RaGearRatio,
     {}},
    {"raMicrosteps", G::Parameters, [](const P& p, const A&) { return number(p.raMicrosteps); },
     MainId::RaMicrosteps, {}},
    {"raBaseSpeed", G::Parameters, [](const P& p, const A&) { return number(p.raBaseSpeed); }, 0, {}},
    {"decGearRatio", G::Parameters, [](const P& p, const A&) { return number(p.decGearRatio); },
     MainId::DecGearRatio, {}},
    {"decMicrosteps", G::Parameters, [](const P& p, const A&) { return number(p.decMicrosteps); },
     MainId::DecMicrosteps, {}},
    {"decBaseSpeed", G::Parameters, [](const P& p, const A&) { return number(p.decBaseSpeed); }, 0, {}},
    {"raSpeedFactor", G::Parameters, [](const P& p, const A&) { return number(p.raSpeedFactor); }, 0, {}},
    {"decSpeedFactor", G::Parameters, [](const P& p, const A&) { return number(p.decSpeedFactor); }, 0, {}},
    {"reverseMotorBits", G::Parameters, [](const P& p, const A&) { return number(p.reverseMotorBits); }, 0,
     {MainId::RaReverseMotor, MainId::DecReverseMotor}},
    {"motorExtraByte", G::Parameters, [](const P& p, const A&) { return number(p.motorExtraByte); }, 0, {}},
    {"motorSettingA", G::Parameters, [](const P& p, const A&) { return list(p.motorSettingA); }, 0, {}},
    {"motorSettingsB", G::Parameters, [](const P& p, const A&) { return twoLists(p.motorSettingsB); }, 0, {}},
    {"motorSettingsC", G::Parameters, [](const P& p, const A&) { return twoLists(p.motorSettingsC); }, 0, {}},
    {"motorSettingsD", G::Parameters, [](const P& p, const A&) { return twoLists(p.motorSettingsD); }, 0, {}},
    {"motorSettingsE", G::Parameters, [](const P& p, const A&) { return twoLists(p.motorSettingsE); }, 0, {}},
    {"motorSettingsF", G::Parameters, [](const P& p, const A&) { return twoLists(p.motorSettingsF); }, 0, {}},
    {"motorSettingG", G::Parameters, [](const P& p, const A&) { return list(p.motorSettingG); }, 0, {}},
    {"motorSettingH", G::Parameters, [](const P& p, const A&) { return list(p.motorSettingH); }, 0, {}},
    {"motorSettingI", G::Parameters, [](const P& p, const A&) { return list(p.motorSettingI); }, 0, {}},
    {"raMaxSpeed", G::Parameters, [](const P& p, const A&) { return number(p.raMaxSpeed); }, 0, {}},
    {"decMaxSpeed", G::Parameters, [](const P& p, const A&) { return number(p.decMaxSpeed); }, 0, {}},
    {"raFlags", G::EncoderFormat, [](const P&, const A& a) { return number(a.encoderFormat.raFlags); }, 0, {}},
    {"decFlags", G::EncoderFormat, [](const P&, const A& a) { return number(a.encoderFormat.decFlags); }, 0, {}},
    {"raLeadingBits", G::EncoderFormat, [](const P&, const A& a) { return number(a.encoderFormat.raLeadingBits); },
     0, {}},
    {"raBitsPerRevolution", G::EncoderFormat,
     [](const P&, const A& a) { return number(a.encoderFormat.raBitsPerRevolution); }, MainId::RaBitsPerRevolution,
     {}},
    {"raBitsForRevolutions", G::EncoderFormat,
     [](const P&, const A& a) { return number(a.encoderFormat.raBitsForRevolutions); }, 0, {}},
    {"decLeadingBits", G::EncoderFormat,
     [](const P&, const A& a) { return number(a.encoderFormat.decLeadingBits); }, 0, {}},
    {"decBitsPerRevolution", G::EncoderFormat,
     [](const P&, const A& a) { return number(a.encoderFormat.decBitsPerRevolution); },
     MainId::DecBitsPerRevolution, {}},
    {"decBitsForRevolutions", G::EncoderFormat,
     [](const P&, const A& a) { return number(a.encoderFormat.decBitsForRevolutions); }, 0, {}},
    // All 64 bits: a 32-bit encoder turn cut to its low half would read 0.
    {"raEncoderResolution", G::AxisConfiguration, [](const P&, const A& a) { return number(a.raEncoderResolution); },
     MainId::RaEncoderResolution, {}},
    {"decEncoderResolution", G::AxisConfiguration,
     [](const P&, const A& a) { return number(a.decEncoderResolution); }, MainId::DecEncoderResolution, {}},
    {"reverseEncoderBits", G::AxisConfiguration, [](const P&, const A& a) { return number(a.reverseEncoderBits); },
     0, {MainId::RaReverseEncoder, MainId::DecReverseEncoder}},
    {"raEncoderOffset", G::AxisConfiguration, [](const P&, const A& a) { return number(a.raEncoderOffset); },
     MainId::RaEncoderOffset, {}},
    {"decEncoderOffset", G::AxisConfiguration, [](const P&, const A& a) { return number(a.decEncoderOffset); },
     MainId::DecEncoderOffset, {}},
};

const MountStateField mountStateRows[] = {
    {"valid", [](const M& m) { return number(m.valid); }, 0},
    {"raEncoderPosition", [](const M& m) { return number(m.raEncoderPosition); }, MainId::RaEncoderSystem},
    {"decEncoderPosition", [](const M& m) { return number(m.decEncoderPosition); }, MainId::DecEncoderSystem},
    {"raEncoderArcsec", [](const M& m) { return number(m.raEncoderArcsec); }, MainId::RaEncoderArcsec},
    {"decEncoderArcsec", [](const M& m) { return number(m.decEncoderArcsec); }, MainId::DecEncoderArcsec},
    {"raEncoderDms", [](const M& m) { return dms(m.raEncoderArcsec); }, MainId::RaEncoderDms},
    {"decEncoderDms", [](const M& m) { return dms(m.decEncoderArcsec); }, MainId::DecEncoderDms},
};

std::string numbers(const std::uint64_t* v, std::size_t n)
{
    std::string s = "[";
    for (std::size_t i = 0; i < n; ++i)
        s += (i ? "," : "") + std::to_string(v[i]);
    return s + "]";
}

void showField(iControlSurface& dialog, int id, const FieldValue& value)
{
    if (value.kind == FieldValue::Kind::Dms)
        setDmsField(dialog, id, static_cast<std::int32_t>(value.v[0]));
    else
        setUnsignedField(dialog, id, value.v[0]);
}

}  // namespace

std::string fieldText(const FieldValue& value)
{
    switch (value.kind) {
    case FieldValue::Kind::Number: return std::to_string(value.v[0]);
    case FieldValue::Kind::List: return numbers(value.v, value.count);
    case FieldValue::Kind::TwoLists:
        return numbers(value.v, value.count / 2u) + " " + numbers(value.v + value.count / 2u, value.count / 2u);
    case FieldValue::Kind::Dms: return dmsText(static_cast<std::int32_t>(value.v[0]));
    }
    return {};
}

std::span<const ConfigurationField> configurationFields() { return configurationRows; }

std::span<const MountStateField> mountStateFields() { return mountStateRows; }

void showConfigurationFields(iControlSurface& dialog, const ControllerParameters& parameters,
                             const AxisConfiguration& axes)
{
    for (const ConfigurationField& field : configurationRows) {
        const FieldValue value = field.value(parameters, axes);
        if (field.windowField != 0)
            showField(dialog, field.windowField, value);
        for (int bit = 0; bit < 2; ++bit) {
            if (field.windowChecks[bit] != 0)
                dialog.setCheck(field.windowChecks[bit], (value.v[0] >> bit & 1) != 0);
        }
    }
}

void showMountStateFields(iControlSurface& dialog, const MountState& mountState)
{
    for (const MountStateField& field : mountStateRows) {
        if (field.windowField != 0)
            showField(dialog, field.windowField, field.value(mountState));
    }
}

}  // namespace kv7
