// The transcript reader, the frame cutter, the frame descriptions and the
// replay engine: the whole input is the file's text.
//
// Beyond the sanitizers: a refused file says which line and why; a taken
// file's chunks each hold 1..bytesPerLine bytes in time order; the frames
// hold every byte of the chunks, numbered 1, 2, ...; replaying the
// recording's own requests gives no difference and every answer byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "transcript/Replay.h"
#include "transcript/Transcript.h"

using namespace kv7;
using namespace kv7::fuzz;
using namespace kv7::transcript;

namespace {

std::size_t checkChunks(const Transcript& t)
{
    std::size_t total = 0;
    for (std::size_t i = 0; i < t.chunks.size(); ++i) {
        const Chunk& c = t.chunks[i];
        check(!c.bytes.empty() && c.bytes.size() <= bytesPerLine, "a chunk of no bytes or too many");
        check(i == 0 || c.micros >= t.chunks[i - 1].micros, "time going backwards was taken");
        total += c.bytes.size();
    }
    return total;
}

void checkReplay(const Transcript& t)
{
    const ReplayScript script = makeReplayScript(t);
    ReplayEngine engine(script);
    engine.open();
    std::size_t expected = script.greeting.size();
    for (const ReplayStep& step : script.steps) {
        engine.receive(step.request.data(), step.request.size());
        expected += step.answer.size();
    }
    check(!engine.difference(), "the recording's own requests differ from it");
    check(engine.complete(), "the recording's own requests did not complete it");
    std::uint8_t buffer[256];
    std::size_t got = 0;
    while (const std::size_t n = engine.read(buffer, sizeof buffer))
        got += n;
    check(got == expected, "the answers lost or gained bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Transcript t;
    std::string error;
    if (!readTranscript(text, t, error)) {
        check(error.rfind("line ", 0) == 0, "a refusal without its line");
        return 0;
    }
    const std::size_t total = checkChunks(t);
    std::size_t framed = 0;
    int number = 0;
    for (const Frame& f : cutFrames(t)) {
        check(f.number == ++number, "frames out of number");
        check(!f.bytes.empty(), "an empty frame");
        framed += f.bytes.size();
        describeFrame(f);
    }
    check(framed == total, "the frames do not hold every byte");
    checkReplay(t);
    return 0;
}
