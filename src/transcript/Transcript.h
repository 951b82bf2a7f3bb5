// A recorded transcript read back (strictly, with bounds on everything, so
// that any file, however broken, gives a line-numbered error and never a
// crash), and cut into frames by the protocol's own frame assembler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transcript/Recorder.h"

namespace kv7::transcript {

constexpr std::size_t maxTranscriptBytes = 32u * 1024 * 1024;
constexpr std::size_t maxLineLength = lineCapacity + 64;

struct Chunk {
    std::int64_t micros = 0;
    Direction direction = Direction::ToController;
    std::vector<std::uint8_t> bytes;
    int line = 0;
};

struct Transcript {
    int version = 0;
    std::string started;             // the UTC wall time of the start, as written
    std::string port;
    std::vector<std::string> notes;  // comment lines without "# ", in order
    std::vector<Chunk> chunks;
};

// False with "line N: what" in error for text that is not a transcript.
bool readTranscript(std::string_view text, Transcript& out, std::string& error);

// The notes that begin with key and a space, without them ("kv7ctl" gives
// the words of "# kv7ctl --utc ... goto ...").
std::vector<std::string> notesWithKey(const Transcript& t, std::string_view key);

enum class FrameKind {
    Frame,        // a whole frame: start byte, length, payload
    Stray,        // bytes outside any frame
    Incomplete,   // a frame the transcript ends in the middle of
};

struct Frame {
    int number = 0;                  // 1, 2, ... in transcript order, both directions
    std::int64_t micros = 0;         // when its last byte was recorded
    Direction direction = Direction::ToController;
    FrameKind kind = FrameKind::Frame;
    std::vector<std::uint8_t> bytes;
};

// The transcript's bytes cut into frames, each direction by its own
// assembler (0xAA frames to the controller, 0x55 frames back).
std::vector<Frame> cutFrames(const Transcript& t);

// What a frame says, by the command table and the reply layouts.
struct FrameField {
    std::string name;
    std::uint32_t value = 0;
    bool isSigned = false;
    std::vector<std::uint8_t> block;   // a motor settings block, shown as bytes
};

struct FrameMeaning {
    std::string name;                  // "GoToAxisPositions", "ReadEncoders reply", "stray bytes"
    std::vector<FrameField> fields;
    std::string problem;               // e.g. "length 3, the command takes 10"; empty when none
};

FrameMeaning describeFrame(const Frame& frame);

// "AA 00 01"
std::string hexText(const std::vector<std::uint8_t>& bytes);

}  // namespace kv7::transcript
