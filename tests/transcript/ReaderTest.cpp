#include <gtest/gtest.h>

#include <string>

#include "transcript/Transcript.h"

namespace kv7::transcript {
namespace {

const std::string header = "# kv7 transcript 1 started 2026-12-07T23:00:00Z port /dev/pts/3\n";

TEST(TranscriptReader, ABrokenLineIsNamedByItsNumber)
{
    struct Case {
        std::string text;
        const char* error;
    };
    const Case cases[] = {
        {"", "line 1: empty file"},
        {"# kv7 transcript 2 started x port p\n", "line 1: not a kv7 transcript header"},
        {"   0.000001 > AA\n", "line 1: not a kv7 transcript header"},
        {header + "   0.00001 > AA\n", "line 2: expected a time"},
        {header + "x0.000001 > AA\n", "line 2: expected a time"},
        {header + "1234567890.000000 > AA\n", "line 2: expected a time"},
        {header + "   0.000001 = AA\n", "line 2: expected > or <"},
        {header + "   0.000001 >\n", "line 2: a line without bytes"},
        {header + "   0.000001 > AG\n", "line 2: not a hex byte"},
        {header + "   0.000001 > AA0\n", "line 2: expected a space and two hex digits"},
        {header + "   0.000001 > AA \n", "line 2: expected a space and two hex digits"},
        {header + "   0.000002 > AA\n   0.000001 < 55\n", "line 3: time goes backwards"},
        {header + "# ok\n" + std::string(maxLineLength + 1, '#') + "\n", "line 3: line longer than"},
        {header + "   0.000001 > AA\x01\n", "line 2: control character"},
        {header + "   0.000001 >" + [] {
             std::string s;
             for (std::size_t i = 0; i <= bytesPerLine; ++i)
                 s += " 00";
             return s;
         }() + "\n",
         "line 2: too many bytes on one line"},
    };
    for (const Case& c : cases) {
        Transcript t;
        std::string error;
        EXPECT_FALSE(readTranscript(c.text, t, error)) << c.text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << " gave " << error;
    }
}

TEST(TranscriptReader, NotesBlankLinesAndCarriageReturnsAreTaken)
{
    Transcript t;
    std::string error;
    const std::string text = header + "# kv7ctl --utc 2026-12-07T23:00:00 info\r\n\n# input state\n  0.5 > AA\n";
    EXPECT_FALSE(readTranscript(text, t, error));   // five decimals: not a time
    ASSERT_TRUE(readTranscript(header + "# kv7ctl --utc 2026-12-07T23:00:00 info\r\n\n# input state\n"
                                         "   0.500000 > aa 00 01\n",
                               t, error))
        << error;
    EXPECT_EQ(notesWithKey(t, "kv7ctl"), std::vector<std::string>{"--utc 2026-12-07T23:00:00 info"});
    EXPECT_EQ(notesWithKey(t, "input"), std::vector<std::string>{"state"});
    ASSERT_EQ(t.chunks.size(), 1u);
    EXPECT_EQ(t.chunks[0].micros, 500'000);
    EXPECT_EQ(t.chunks[0].line, 5);
    EXPECT_EQ(t.chunks[0].bytes, (std::vector<std::uint8_t>{0xAA, 0x00, 0x01}));
}

Transcript chunks(std::initializer_list<std::pair<char, std::vector<std::uint8_t>>> list)
{
    Transcript t;
    std::int64_t micros = 0;
    for (const auto& [direction, bytes] : list)
        t.chunks.push_back({micros += 10, static_cast<Direction>(direction), bytes, 0});
    return t;
}

TEST(TranscriptFrames, EachDirectionIsCutByItsOwnStartByte)
{
    // The reply comes in two pieces, with noise before it; a command the
    // transcript ends inside is shown as incomplete.
    const Transcript t = chunks({{'>', {0xAA, 0x02, 0x7A, 0x01}},
                                 {'<', {0x00, 0x13, 0x55, 0x09, 0x7A, 1, 0, 0}},
                                 {'<', {0, 2, 0, 0, 0}},
                                 {'>', {0xAA, 0x01}}});
    const std::vector<Frame> frames = cutFrames(t);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].kind, FrameKind::Frame);
    EXPECT_EQ(frames[1].kind, FrameKind::Stray);
    EXPECT_EQ(frames[1].bytes, (std::vector<std::uint8_t>{0x00, 0x13}));
    EXPECT_EQ(frames[2].kind, FrameKind::Frame);
    EXPECT_EQ(frames[2].micros, 30);   // when its last byte came
    EXPECT_EQ(frames[2].bytes.size(), 11u);
    EXPECT_EQ(frames[3].kind, FrameKind::Incomplete);
    EXPECT_EQ(frames[3].number, 4);
}

TEST(TranscriptFrames, CommandsAndRepliesAreReadByTheProtocolTables)
{
    struct Case {
        char direction;
        std::vector<std::uint8_t> bytes;
        const char* name;
        const char* fields;   // name=value, in order
        const char* problem;
    };
    const Case cases[] = {
        {'>', {0xAA, 0x02, 0x7A, 0x01}, "ReadEncoders", "arg1=1 ", ""},
        {'>', {0xAA, 0x0B, 0x25, 0x01, 0xC0, 0x10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, "GoToAxisPositions",
         "arg1=1 arg2=192 arg3=16 arg4=4294967295 ", ""},
        {'>', {0xAA, 0x01, 0x25}, "GoToAxisPositions", "", "length 1, the command takes 11"},
        {'>', {0xAA, 0x01, 0x63}, "unknown command 99", "", ""},
        {'<', {0x55, 0x09, 0x7A, 1, 0, 0, 0, 2, 0, 0, 0}, "ReadEncoders reply",
         "RaEncoderPosition=1 DecEncoderPosition=2 ", ""},
        {'<', {0x55, 0x05, 0x7A, 1, 0, 0, 0}, "ReadEncoders reply", "", "shorter than its layout (L 5, at least 9)"},
        {'<', {0x55, 0x01, 0x0D}, "StoreParameters reply", "", ""},
    };
    for (const Case& c : cases) {
        Frame f;
        f.direction = static_cast<Direction>(c.direction);
        f.bytes = c.bytes;
        const FrameMeaning m = describeFrame(f);
        std::string fields;
        for (const FrameField& field : m.fields)
            fields += field.name + "=" + std::to_string(field.value) + " ";
        EXPECT_EQ(m.name, c.name);
        EXPECT_EQ(fields, c.fields) << c.name;
        EXPECT_EQ(m.problem, c.problem) << c.name;
    }
}

}  // namespace
}  // namespace kv7::transcript
