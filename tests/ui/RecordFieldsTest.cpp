// The records' fields as the window and kv7ctl show them.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ui/RecordFields.h"

namespace kv7::test {
namespace {

TEST(RecordFields, ValuesReadAsKv7ctlPrintsThem)
{
    ControllerParameters p;
    p.raGearRatio = 144;
    p.motorSettingA[0] = 1200;
    p.motorSettingA[1] = 1000;
    p.motorSettingsB[0][2] = 1600;
    p.motorSettingsB[1][0] = 300;
    AxisConfiguration a;
    a.raEncoderResolution = std::uint64_t{1} << 32;
    a.encoderFormat.decBitsPerRevolution = 24;
    MountState m;
    m.raEncoderArcsec = 45000;
    m.decEncoderArcsec = static_cast<std::uint32_t>(-3600);

    struct Case {
        const char* name;
        const char* text;
    };
    const Case configuration[] = {
        {"raGearRatio", "144"},
        {"motorSettingA", "[1200,1000]"},
        {"motorSettingsB", "[0,0,1600] [300,0,0]"},
        {"raEncoderResolution", "4294967296"},
        {"decBitsPerRevolution", "24"},
    };
    for (const Case& c : configuration) {
        std::string text = "no such field";
        for (const ConfigurationField& f : configurationFields()) {
            if (std::string(f.name) == c.name)
                text = fieldText(f.value(p, a));
        }
        EXPECT_EQ(text, c.text) << c.name;
    }
    const Case mount[] = {
        {"raEncoderArcsec", "45000"},
        {"raEncoderDms", "+12:30:00"},
        {"decEncoderDms", "-01:00:00"},
    };
    for (const Case& c : mount) {
        std::string text = "no such field";
        for (const MountStateField& f : mountStateFields()) {
            if (std::string(f.name) == c.name)
                text = fieldText(f.value(m));
        }
        EXPECT_EQ(text, c.text) << c.name;
    }
}

TEST(RecordFields, EachNameAndEachWindowFieldBelongsToOneRow)
{
    std::set<std::string> names;
    std::set<int> ids;
    for (const ConfigurationField& f : configurationFields()) {
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
        for (int id : {f.windowField, f.windowChecks[0], f.windowChecks[1]})
            EXPECT_TRUE(id == 0 || ids.insert(id).second) << f.name << " " << id;
    }
    for (const MountStateField& f : mountStateFields()) {
        EXPECT_TRUE(names.insert(f.name).second) << f.name;
        EXPECT_TRUE(f.windowField == 0 || ids.insert(f.windowField).second) << f.name;
    }
}

}  // namespace
}  // namespace kv7::test
