// Records every byte of a serial exchange with its time, as text a person
// can grep, one line per chunk:
//
//   # kv7 transcript 1 started 2026-12-07T23:00:00Z port /dev/pts/3
//      0.012345 > AA 01 01
//      0.031250 < 55 05 01 03 02 07 00
//
// ">" is host to controller, "<" controller to host; the time is seconds
// since the start with microseconds. Recording runs on the link's own
// threads: each chunk is formatted into a fixed buffer of its direction
// (no allocation) and handed to the sink in one write, which passes it to
// the operating system at once, so a crash loses at most the chunk being
// recorded.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

namespace kv7::transcript {

constexpr int formatVersion = 1;
constexpr char headerStart[] = "# kv7 transcript ";
// Bytes per line: a longer chunk is recorded as several lines of the same time.
constexpr std::size_t bytesPerLine = 128;
constexpr std::size_t lineCapacity = 32 + 3 * bytesPerLine;

enum class Direction : char { ToController = '>', ToHost = '<' };

// Where the lines go. write() gets one whole line (or the header) per call.
class TranscriptSink {
public:
    virtual ~TranscriptSink() = default;
    virtual bool write(const char* text, std::size_t length) = 0;
};

// A file written through <cstdio>: each write is passed to the system at
// once (fwrite, fflush); there is no fsync per line.
class FileSink final : public TranscriptSink {
public:
    FileSink() = default;
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Creates or truncates path; false with the reason when it cannot.
    bool open(const std::string& path, std::string& error);
    bool write(const char* text, std::size_t length) override;

private:
    std::FILE* file = nullptr;
};

// Microseconds of a monotonic clock, and the UTC wall time as
// YYYY-MM-DDTHH:MM:SSZ; both injectable so that tests get fixed text.
struct RecorderClock {
    std::function<std::int64_t()> micros;
    std::function<std::string()> utcText;
    static RecorderClock system();
};

class Recorder {
public:
    explicit Recorder(TranscriptSink& sink, RecorderClock clock = RecorderClock::system());

    // Comment lines written right after the header (what produced the
    // exchange, e.g. kv7ctl's command line); "# " is put before each.
    void addNote(std::string note);

    // The header on the first call (the time starts there), a "# open"
    // line on later ones. Called when a port opens.
    void opened(const std::string& port);
    void closed();

    // One chunk each way. Ignored before the first opened(). Safe from any
    // thread; lines reach the sink one at a time, in the order of their times.
    void record(Direction direction, const std::uint8_t* bytes, std::size_t count);

    // False once a write to the sink failed.
    bool healthy() const { return !failed.load(); }

private:
    void writeText(const std::string& text);
    void recordLine(Direction direction, std::int64_t micros, const std::uint8_t* bytes, std::size_t count);

    TranscriptSink& sink;
    RecorderClock clock;
    std::string notes;
    std::atomic<bool> started{false};
    std::atomic<bool> failed{false};
    std::int64_t startMicros = 0;
    std::mutex noteLock;   // header and comment lines
    std::mutex lineLock;   // chunk lines: one at a time, in time order
    char lines[2][lineCapacity] = {};   // one buffer per direction
};

// Writes "  S.UUUUUU D XX XX ...\n" for up to bytesPerLine bytes into out
// (lineCapacity bytes) and returns its length.
std::size_t formatLine(char* out, std::int64_t micros, Direction direction, const std::uint8_t* bytes,
                       std::size_t count);

// "YYYY-MM-DDTHH:MM:SSZ" for seconds since 1970-01-01 UTC.
std::string utcText(std::int64_t unixSeconds);

}  // namespace kv7::transcript
