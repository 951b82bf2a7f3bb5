// The snapshot file: what is written reads back the same, and a file with
// any fault in it is refused with a message that says where and what.
#include <gtest/gtest.h>

#include <string>

#include "config/Snapshot.h"

namespace kv7::config {
namespace {

Snapshot sample()
{
    Snapshot s;
    s.savedUtc = "2026-12-07T20:30:00Z";
    s.port = "/dev/ttyUSB0 \"left\"";
    s.program = "kv7ctl 0.1.0";
    const auto specs = fieldSpecs();
    for (std::size_t i = 0; i < specs.size(); ++i) {
        s.fields[i].count = specs[i].count;
        for (std::size_t k = 0; k < specs[i].count; ++k)
            s.fields[i].v[k] = (i * 7 + k) % (specs[i].max + 1);
    }
    // A word the controller can clock in: 25 bits a turn, none for turns.
    for (const char* name : {"raBitsPerRevolution", "decBitsPerRevolution"})
        s.field(name)->v[0] = 25;
    for (const char* name : {"raBitsForRevolutions", "decBitsForRevolutions"})
        s.field(name)->v[0] = 0;
    s.field("raEncoderOffset")->v[0] = 0xFFFFFFFF;
    return s;
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(Snapshot, WhatIsWrittenReadsBackTheSame)
{
    const Snapshot written = sample();
    Snapshot read;
    std::string error;
    ASSERT_TRUE(readSnapshot(writeSnapshot(written), read, error)) << error << "\n" << writeSnapshot(written);
    EXPECT_EQ(read.fields, written.fields);
    EXPECT_EQ(read.port, written.port);
    EXPECT_EQ(read.savedUtc, written.savedUtc);
    EXPECT_EQ(read.program, written.program);
    EXPECT_EQ(read.version, fileVersion);
}

TEST(Snapshot, ACorruptFileIsRefusedSayingWhereAndWhat)
{
    const std::string good = writeSnapshot(sample());
    struct Case {
        const char* name;
        std::string text;
        const char* message;
    };
    const Case cases[] = {
        {"empty", "", "line 1: the file ends too early"},
        {"not an object", "[1,2]", "line 1: the file is not a JSON object"},
        {"cut short", good.substr(0, good.size() / 2), "the file ends too early"},
        {"text after the end", good + "{}", "text after the end of the object"},
        {"another format", replaced(good, "kv7-configuration", "kv8"), "line 2: format: \"kv8\" is not a kv7"},
        {"a newer version", replaced(good, "\"version\": 1", "\"version\": 2"),
         "line 3: version: the file's version 2 is newer than this program reads (1); use a newer kv7ctl"},
        {"version zero", replaced(good, "\"version\": 1", "\"version\": 0"), "version: must be 1 or more"},
        {"an unknown top-level key", replaced(good, "\"port\":", "\"comment\": \"x\",\n  \"port\":"),
         "line 5: comment: not a key of a version 1 snapshot"},
        {"a missing section", replaced(good, "\"motor\":", "\"motors\":"), "motors: not a key"},
        {"a missing field", replaced(good, "\"raFlags\":", "\"raFlag\":"), "encoderFormat: has no \"raFlags\""},
        {"a field in another section", replaced(good, "\"deviceByte\":", "\"raFlags\": 1,\n    \"deviceByte\":"),
         "identity: unknown field \"raFlags\""},
        {"a key twice", replaced(good, "\"deviceByte\":", "\"deviceId\": 1,\n    \"deviceByte\":"),
         "\"deviceId\" appears twice"},
        {"a string for a number", replaced(good, "\"raMicrosteps\": ", "\"raMicrosteps\": \"1\", \"x\": "),
         "axes.raMicrosteps: must be a number"},
        {"a negative number", replaced(good, "\"raMicrosteps\": ", "\"raMicrosteps\": -"), "expected a whole number"},
        {"a fraction", replaced(good, "\"raMicrosteps\": ", "\"raMicrosteps\": 1.5, \"x\": "),
         "expected a whole number"},
        {"a leading zero", replaced(good, "\"raMicrosteps\": ", "\"raMicrosteps\": 0"), "a leading zero"},
        {"beyond 64 bits", replaced(good, "\"raMicrosteps\": ", "\"raMicrosteps\": 99999999999999999999"),
         "a number too large for any field"},
        {"beyond the field", replaced(good, "\"raEncoderOffset\": 4294967295", "\"raEncoderOffset\": 4294967296"),
         "encoderCalibration.raEncoderOffset: 4294967296 is above 4294967295"},
        {"flags beyond 7", replaced(good, "\"raFlags\": ", "\"raFlags\": 8, \"x\": "),
         "encoderFormat.raFlags: 8 is above 7"},
        {"no bits a turn", replaced(good, "\"decBitsPerRevolution\": 25", "\"decBitsPerRevolution\": 0"),
         "encoderFormat.decBitsPerRevolution: must be from 1 to 32"},
        {"a word beyond 32 bits", replaced(good, "\"raBitsForRevolutions\": 0", "\"raBitsForRevolutions\": 8"),
         "raBitsPerRevolution and raBitsForRevolutions exceed 32 together"},
        {"an array too short", replaced(good, "\"motorSettingA\": [", "\"motorSettingA\": [1,"),
         "motor.motorSettingA: must be an array of 2 numbers"},
        {"an array too long", replaced(good, "\"motorSettingsB\": [", "\"motorSettingsB\": [1,"),
         "an array longer than 6 numbers"},
        {"an array for a number", replaced(good, "\"deviceByte\": ", "\"deviceByte\": [1], \"x\": "),
         "identity.deviceByte: must be a number"},
        {"nested too deep", replaced(good, "\"deviceByte\": ", "\"deviceByte\": {\"a\": 1}, \"x\": "),
         "an object nested deeper than a snapshot has"},
        {"a string that does not end", "{\"format\": \"kv7", "a string that does not end"},
        {"a control character", replaced(good, "kv7ctl 0.1.0", "kv7ctl\x01"), "a control character inside a string"},
        {"an unknown escape", replaced(good, "kv7ctl 0.1.0", "kv7\\q"), "an unknown escape \\q"},
        {"a non-ASCII escape", replaced(good, "kv7ctl 0.1.0", "kv7\\u00e9"), "a \\u escape beyond ASCII"},
        {"larger than the bound", good + std::string(maxFileBytes, ' '), "larger than 64 KiB; not a snapshot"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Snapshot s;
        s.port = "untouched";
        std::string error;
        EXPECT_FALSE(readSnapshot(c.text, s, error));
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(s.port, "untouched");
    }
}

TEST(Snapshot, DifferencesNameEachFieldThatDiffersWithBothValues)
{
    const Snapshot file = sample();
    Snapshot controller = file;
    EXPECT_TRUE(differences(file, controller).empty());
    controller.field("raFlags")->v[0] = 3;
    controller.field("motorSettingG")->v[1] = 9;
    const auto found = differences(file, controller);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(qualifiedName(fieldSpecs()[found[0].index]), "encoderFormat.raFlags");
    EXPECT_EQ(numbersText(found[0].inController), "3");
    EXPECT_EQ(qualifiedName(fieldSpecs()[found[1].index]), "motor.motorSettingG");
    EXPECT_EQ(numbersText(found[1].inFile), numbersText(*file.field("motorSettingG")));
}

TEST(Snapshot, AnotherControllerModelIsNamed)
{
    const Snapshot file = sample();
    struct Case {
        const char* field;
        const char* said;   // empty: the same model
    };
    const Case cases[] = {{"deviceByte", ""}, {"deviceId", "deviceId"}, {"deviceWord", "deviceWord"}};
    for (const Case& c : cases) {
        Snapshot connected = file;
        connected.field(c.field)->v[0] += 1;
        const std::string why = modelMismatch(file, connected);
        EXPECT_EQ(why.empty(), *c.said == '\0') << c.field;
        EXPECT_NE(why.find(c.said), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace kv7::config
