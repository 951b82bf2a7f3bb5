#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transcript/Recorder.h"
#include "transcript/Transcript.h"

namespace kv7::transcript {
namespace {

// Keeps every write, so a test sees what each call handed the system.
struct MemorySink final : TranscriptSink {
    bool write(const char* text, std::size_t length) override
    {
        writes.emplace_back(text, length);
        return true;
    }
    std::string all() const
    {
        std::string s;
        for (const std::string& w : writes)
            s += w;
        return s;
    }
    std::vector<std::string> writes;
};

struct FixedClock {
    std::int64_t now = 5'000'000;
    RecorderClock clock()
    {
        return {[this] { return now; }, [] { return std::string("2026-12-07T23:00:00Z"); }};
    }
};

TEST(TranscriptLine, TimeDirectionAndBytes)
{
    struct Case {
        std::int64_t micros;
        Direction direction;
        std::vector<std::uint8_t> bytes;
        const char* line;
    };
    const Case cases[] = {
        {0, Direction::ToController, {0xAA, 0x00, 0x01}, "   0.000000 > AA 00 01\n"},
        {12'345'678, Direction::ToHost, {0x55, 0x01, 0x0d}, "  12.345678 < 55 01 0D\n"},
        {123'456'000'001, Direction::ToHost, {0xff}, "123456.000001 < FF\n"},
        {-3, Direction::ToController, {0x10}, "   0.000000 > 10\n"},
    };
    for (const Case& c : cases) {
        char out[lineCapacity];
        const std::size_t n = formatLine(out, c.micros, c.direction, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(std::string(out, n), c.line);
    }
}

TEST(TranscriptLine, UtcTextOfTheStart)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {951782400, "2000-02-29T00:00:00Z"},
        {1796684400, "2026-12-07T23:00:00Z"},
        {-1, "1969-12-31T23:59:59Z"},
    };
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(utcText(seconds), text) << seconds;
}

TEST(Recorder, HeaderAndNotesAtTheFirstOpenAndTimesCountFromThere)
{
    MemorySink sink;
    FixedClock clock;
    Recorder r(sink, clock.clock());
    const std::uint8_t early[] = {0xAA};
    r.record(Direction::ToController, early, 1);   // before any port: nothing to count from
    r.addNote("kv7ctl info");
    r.opened("/dev/pts/3");
    clock.now += 1'250;
    const std::uint8_t identify[] = {0xAA, 0x00, 0x01};
    r.record(Direction::ToController, identify, 3);
    r.opened("/dev/pts/3");
    r.closed();
    EXPECT_EQ(sink.all(),
              "# kv7 transcript 1 started 2026-12-07T23:00:00Z port /dev/pts/3\n"
              "# kv7ctl info\n"
              "   0.001250 > AA 00 01\n"
              "# open /dev/pts/3\n"
              "# close\n");
}

TEST(Recorder, EachLineIsOneWriteAndLongChunksAreSplit)
{
    MemorySink sink;
    FixedClock clock;
    Recorder r(sink, clock.clock());
    r.opened("p");
    const std::vector<std::uint8_t> chunk(bytesPerLine + 3, 0x55);
    const std::size_t before = sink.writes.size();
    r.record(Direction::ToHost, chunk.data(), chunk.size());
    ASSERT_EQ(sink.writes.size(), before + 2);
    EXPECT_EQ(sink.writes[before + 1], "   0.000000 < 55 55 55\n");
}

TEST(Recorder, WhatItWritesReadsBackChunkForChunk)
{
    MemorySink sink;
    FixedClock clock;
    Recorder r(sink, clock.clock());
    r.opened("COM3");
    const std::uint8_t a[] = {0xAA, 0x02, 0x7A, 0x01};
    const std::uint8_t b[] = {0x55, 0x09, 0x7A, 1, 2, 3, 4, 5, 6, 7, 8};
    r.record(Direction::ToController, a, sizeof a);
    clock.now += 40'000;
    r.record(Direction::ToHost, b, sizeof b);
    Transcript t;
    std::string error;
    ASSERT_TRUE(readTranscript(sink.all(), t, error)) << error;
    EXPECT_EQ(t.port, "COM3");
    EXPECT_EQ(t.started, "2026-12-07T23:00:00Z");
    ASSERT_EQ(t.chunks.size(), 2u);
    EXPECT_EQ(t.chunks[0].bytes, std::vector<std::uint8_t>(a, a + sizeof a));
    EXPECT_EQ(t.chunks[1].direction, Direction::ToHost);
    EXPECT_EQ(t.chunks[1].micros, 40'000);
    EXPECT_EQ(t.chunks[1].bytes, std::vector<std::uint8_t>(b, b + sizeof b));
}

}  // namespace
}  // namespace kv7::transcript
