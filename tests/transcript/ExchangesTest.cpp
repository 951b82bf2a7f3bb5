// Every recording in tests/exchanges replayed against the real link: the
// kv7ctl command line the transcript notes (and a batch's input) is run in
// process with the link connected to a replay port, which must see every
// recorded request, byte for byte, and nothing else. Dropping a new
// recording into the folder adds a case.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "transcript/Ports.h"
#include "transcript/Transcript.h"

namespace kv7::transcript {
namespace {

std::vector<std::string> recordings()
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(KV7_EXCHANGES_DIR)) {
        if (entry.path().extension() == ".kv7t")
            files.push_back(entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

Transcript load(const std::string& name)
{
    std::ifstream file(std::string(KV7_EXCHANGES_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    Transcript t;
    std::string error;
    EXPECT_TRUE(readTranscript(text.str(), t, error)) << name << ": " << error;
    return t;
}

// The noted command line with the port replaced by the replay's.
std::vector<std::string> commandLine(const Transcript& t, const std::vector<std::string>& extra)
{
    const std::vector<std::string> notes = notesWithKey(t, "kv7ctl");
    EXPECT_EQ(notes.size(), 1u) << "a recording notes one kv7ctl command line";
    std::vector<std::string> words;
    std::istringstream in(notes.empty() ? std::string() : notes[0]);
    for (std::string w; in >> w;) {
        if (w == "--port")
            in >> w;   // its value too
        else
            words.push_back(w);
    }
    words.insert(words.begin(), {"--port", "0"});
    words.insert(words.begin(), extra.begin(), extra.end());
    return words;
}

struct Replayed {
    int exitCode = -1;
    std::optional<ReplayDifference> difference;
    bool complete = false;
    std::string err;
};

// extra: options put before the recorded ones.
Replayed replay(const Transcript& recorded, const Transcript& driving, const std::vector<std::string>& extra = {})
{
    const cli::ParseResult parsed = cli::parseCommandLine(commandLine(driving, extra));
    EXPECT_TRUE(parsed.ok) << parsed.error;
    std::string input;
    for (const std::string& line : notesWithKey(driving, "input"))
        input += line + "\n";
    ReplayPort port(makeReplayScript(recorded));
    ReplayCatalog catalog(port);
    std::istringstream in(input);
    std::ostringstream out, err;
    cli::Environment env;
    env.catalog = &catalog;
    env.in = &in;
    env.out = &out;
    env.err = &err;
    env.askOperator = [](std::int32_t) { return -1; };
    env.settleMs = 0;
    Replayed r;
    r.exitCode = parsed.ok ? cli::runCommand(parsed.options, env) : -1;
    r.difference = port.difference();
    r.complete = port.complete();
    r.err = err.str();
    return r;
}

class Exchange : public ::testing::TestWithParam<std::string> {};

TEST_P(Exchange, ReplaysAgainstTheLinkWithoutADifference)
{
    const Transcript t = load(GetParam());
    const Replayed r = replay(t, t);
    EXPECT_FALSE(r.difference) << describeDifference(*r.difference);
    EXPECT_TRUE(r.complete) << "not every recorded request came";
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Recorded, Exchange, ::testing::ValuesIn(recordings()),
                         [](const auto& info) {
                             std::string name = info.param.substr(0, info.param.find('.'));
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// The first frame of the recording that is a request with this command code.
const Frame* firstRequest(const std::vector<Frame>& frames, DeviceCommand command)
{
    for (const Frame& f : frames) {
        if (f.direction == Direction::ToController && f.kind == FrameKind::Frame && f.bytes.size() > 2 &&
            f.bytes[2] == static_cast<std::uint8_t>(command))
            return &f;
    }
    return nullptr;
}

TEST(ExchangeDifferences, AnAlteredRequestIsReportedAtItsFrame)
{
    Transcript altered = load("full-run.kv7t");
    const std::vector<Frame> frames = cutFrames(altered);
    const Frame* calibration = firstRequest(frames, DeviceCommand::WriteEncoderCalibration);
    ASSERT_NE(calibration, nullptr);
    // The recorded RA offset's low byte, as if the link had sent another.
    for (Chunk& chunk : altered.chunks) {
        if (chunk.direction == Direction::ToController && chunk.bytes == calibration->bytes)
            chunk.bytes[5] ^= 0x01;
    }
    const Replayed r = replay(altered, load("full-run.kv7t"));
    ASSERT_TRUE(r.difference);
    EXPECT_EQ(r.difference->frameNumber, calibration->number);
    EXPECT_EQ(r.difference->received, calibration->bytes);
    EXPECT_NE(r.exitCode, 0);
}

TEST(ExchangeDifferences, ADifferentClockMovesTheGotoTargetAndIsReported)
{
    // GOTO targets are computed from the sidereal time: replayed at another
    // instant than the recording's --utc, the first GOTO no longer matches.
    const Transcript recorded = load("full-run.kv7t");
    Transcript driving = recorded;
    for (std::string& note : driving.notes) {
        const std::size_t at = note.find("--utc ");
        if (at != std::string::npos)
            note.replace(at + 6, 19, "2026-12-08T01:00:00");
    }
    const std::vector<Frame> frames = cutFrames(recorded);
    const Frame* goTo = firstRequest(frames, DeviceCommand::GoToAxisPositions);
    ASSERT_NE(goTo, nullptr);
    // Once the replay stops answering, the GOTO is given a second.
    const Replayed r = replay(recorded, driving, {"--timeout", "1"});
    ASSERT_TRUE(r.difference);
    EXPECT_EQ(r.difference->frameNumber, goTo->number);
    EXPECT_EQ(r.difference->expected, goTo->bytes);
}

}  // namespace
}  // namespace kv7::transcript
