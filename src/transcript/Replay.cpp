#include "transcript/Replay.h"

#include <algorithm>
#include <cstring>

namespace kv7::transcript {

ReplayScript makeReplayScript(const Transcript& t)
{
    ReplayScript script;
    for (const Frame& f : cutFrames(t)) {
        if (f.direction == Direction::ToHost) {
            auto& to = script.steps.empty() ? script.greeting : script.steps.back().answer;
            to.insert(to.end(), f.bytes.begin(), f.bytes.end());
        } else if (f.kind == FrameKind::Frame) {
            script.steps.push_back({f.number, f.bytes, {}});
        }
    }
    return script;
}

std::string describeDifference(const ReplayDifference& d)
{
    if (d.frameNumber == 0)
        return "a request past the end of the recording: received " + hexText(d.received);
    return "frame " + std::to_string(d.frameNumber) + ": expected " + hexText(d.expected) + ", received " +
           hexText(d.received);
}

ReplayEngine::ReplayEngine(ReplayScript s) : script(std::move(s)) {}

void ReplayEngine::open()
{
    if (greeted)
        return;
    greeted = true;
    output.insert(output.end(), script.greeting.begin(), script.greeting.end());
}

void ReplayEngine::receive(const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count && !firstDifference; ++i) {
        if (assembler.currentState() == FrameAssembler::WaitStart)
            frame.clear();
        const bool complete = assembler.push(bytes[i]);
        if (assembler.currentState() != FrameAssembler::WaitStart || complete)
            frame.push_back(bytes[i]);
        if (complete)
            takeRequest(frame.data(), frame.size());
    }
}

void ReplayEngine::takeRequest(const std::uint8_t* bytes, std::size_t length)
{
    if (next == script.steps.size()) {
        firstDifference = ReplayDifference{0, {}, {bytes, bytes + length}};
        return;
    }
    const ReplayStep& step = script.steps[next];
    if (step.request.size() != length || !std::equal(step.request.begin(), step.request.end(), bytes)) {
        firstDifference = ReplayDifference{step.frameNumber, step.request, {bytes, bytes + length}};
        return;
    }
    ++next;
    output.insert(output.end(), step.answer.begin(), step.answer.end());
}

std::size_t ReplayEngine::read(std::uint8_t* out, std::size_t capacity)
{
    const std::size_t n = std::min(capacity, output.size() - sent);
    if (n > 0)
        std::memcpy(out, output.data() + sent, n);
    sent += n;
    return n;
}

}  // namespace kv7::transcript
