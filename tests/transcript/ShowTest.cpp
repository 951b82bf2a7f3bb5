// kv7ctl transcript show: the frames of a recording as a person and a
// script read them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Runner.h"

namespace kv7::cli {
namespace {

struct Shown {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Files come from a map instead of the disk, as the program's readFile would give them.
Shown show(std::vector<std::string> args, const std::string& text)
{
    const ParseResult parsed = parseCommandLine(args);
    EXPECT_TRUE(parsed.ok) << parsed.error;
    std::ostringstream out, err;
    Environment env;
    env.out = &out;
    env.err = &err;
    env.readFile = [&](const std::string&, std::size_t, std::string& into, std::string&) {
        into = text;
        return true;
    };
    Shown s;
    s.exitCode = runCommand(parsed.options, env);
    s.out = out.str();
    s.err = err.str();
    return s;
}

const std::string recording = "# kv7 transcript 1 started 2026-12-07T23:18:36Z port /dev/pts/0\n"
                              "# kv7ctl --port /dev/pts/0 read-encoders\n"
                              "   0.500786 > AA 02 7A 01\n"
                              "   0.504321 < 07 55 09 7A 01 00 00 00\n"
                              "   0.504400 < FE FF FF FF\n"
                              "   0.600000 > AA 0B 25\n";

TEST(TranscriptShow, EachFrameWithItsTimeDirectionNameFieldsAndBytes)
{
    const Shown s = show({"transcript", "show", "t.kv7t"}, recording);
    EXPECT_EQ(s.exitCode, 0) << s.err;
    EXPECT_EQ(s.out, "Transcript t.kv7t: started 2026-12-07T23:18:36Z, port /dev/pts/0\n"
                     "# kv7ctl --port /dev/pts/0 read-encoders\n"
                     "    1       0.500786 > ReadEncoders arg1=1  [AA 02 7A 01]\n"
                     "    2       0.504321 < bytes outside any frame  [07]\n"
                     "    3       0.504400 < ReadEncoders reply RaEncoderPosition=1 DecEncoderPosition=4294967294"
                     "  [55 09 7A 01 00 00 00 FE FF FF FF]\n"
                     "    4       0.600000 > incomplete frame (the transcript ends inside it)  [AA 0B 25]\n");
}

TEST(TranscriptShow, JsonGivesOneObjectAFrame)
{
    const Shown s = show({"--json", "transcript", "show", "t.kv7t"}, recording);
    EXPECT_EQ(s.exitCode, 0) << s.err;
    std::istringstream lines(s.out);
    std::vector<std::string> objects;
    for (std::string line; std::getline(lines, line);)
        objects.push_back(line);
    ASSERT_EQ(objects.size(), 4u) << s.out;
    EXPECT_EQ(objects[0], "{\"frame\":1,\"seconds\":0.500786,\"direction\":\">\",\"kind\":\"frame\","
                          "\"name\":\"ReadEncoders\",\"bytes\":\"AA 02 7A 01\",\"fields\":{\"arg1\":1}}");
    EXPECT_EQ(objects[1].find("{\"frame\":2,\"seconds\":0.504321,\"direction\":\"<\",\"kind\":\"stray\""), 0u);
    EXPECT_NE(objects[2].find("\"fields\":{\"RaEncoderPosition\":1,\"DecEncoderPosition\":4294967294}"),
              std::string::npos);
    EXPECT_NE(objects[3].find("\"problem\":\"the transcript ends inside it\""), std::string::npos);
}

TEST(TranscriptShow, AFileThatIsNotATranscriptNamesItsLineAndFails)
{
    const Shown s = show({"transcript", "show", "t.kv7t"}, recording + "   0.700000 > XY\n");
    EXPECT_EQ(s.exitCode, 1);
    EXPECT_EQ(s.err, "kv7ctl: t.kv7t: line 7: not a hex byte\n");
    EXPECT_TRUE(s.out.empty());
}

}  // namespace
}  // namespace kv7::cli
