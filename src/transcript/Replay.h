// The controller's side of a recorded exchange, played back: each request
// the host sends is compared byte for byte with the recorded one, and the
// bytes the controller sent after it in the recording are the answer. The
// first request that differs stops the play: nothing more is answered, and
// the difference (the frame number as `kv7ctl transcript show` counts, and
// both byte strings) is kept for the report.
//
// Requests are compared exactly. Requests whose bytes depend on the clock
// (GOTO targets, sync positions) repeat only when the host runs on the
// clock of the recording: kv7ctl records its command line with --utc, and
// replaying it with the same fixed instant sends the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/DeviceProtocol.h"
#include "transcript/Transcript.h"

namespace kv7::transcript {

struct ReplayStep {
    int frameNumber = 0;                  // of the request
    std::vector<std::uint8_t> request;
    std::vector<std::uint8_t> answer;     // every controller byte up to the next request
};

struct ReplayScript {
    std::vector<std::uint8_t> greeting;   // controller bytes before the first request
    std::vector<ReplayStep> steps;
};

// Stray and incomplete bytes towards the controller are not requests and
// are not compared; the controller's bytes go back as recorded, stray or not.
ReplayScript makeReplayScript(const Transcript& t);

struct ReplayDifference {
    int frameNumber = 0;                  // the recorded request's; 0 past the end of the recording
    std::vector<std::uint8_t> expected;   // empty past the end
    std::vector<std::uint8_t> received;
};

// "frame 12: expected AA 0A 25 ..., received AA 0A 25 ..."
std::string describeDifference(const ReplayDifference& d);

class ReplayEngine {
public:
    explicit ReplayEngine(ReplayScript script);

    // A host opened the line: the greeting is queued (once).
    void open();
    // Bytes from the host.
    void receive(const std::uint8_t* bytes, std::size_t count);
    // Takes up to capacity queued answer bytes; returns how many.
    std::size_t read(std::uint8_t* out, std::size_t capacity);

    bool hasOutput() const { return sent < output.size(); }
    const std::optional<ReplayDifference>& difference() const { return firstDifference; }
    std::size_t requestsAnswered() const { return next; }
    std::size_t requestsRecorded() const { return script.steps.size(); }
    bool complete() const { return !firstDifference && next == script.steps.size(); }

private:
    void takeRequest(const std::uint8_t* frame, std::size_t length);

    ReplayScript script;
    FrameAssembler assembler{commandStartByte};
    std::vector<std::uint8_t> frame;
    std::vector<std::uint8_t> output;
    std::size_t sent = 0;
    std::size_t next = 0;
    bool greeted = false;
    std::optional<ReplayDifference> firstDifference;
};

}  // namespace kv7::transcript
