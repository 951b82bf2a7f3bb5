#include "transcript/Recorder.h"

#include <chrono>

namespace kv7::transcript {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

// Writes value as decimal digits at out, at least width of them (space
// padded on the left); returns how many characters were written.
std::size_t writeDecimal(char* out, std::uint64_t value, std::size_t width, char pad)
{
    char digits[24];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::size_t at = 0;
    for (; at + n < width; ++at)
        out[at] = pad;
    while (n > 0)
        out[at++] = digits[--n];
    return at;
}

}  // namespace

FileSink::~FileSink()
{
    if (file)
        std::fclose(file);
}

bool FileSink::open(const std::string& path, std::string& error)
{
    file = std::fopen(path.c_str(), "wb");
    if (!file)
        error = "cannot create " + path;
    return file != nullptr;
}

bool FileSink::write(const char* text, std::size_t length)
{
    if (!file)
        return false;
    const bool written = std::fwrite(text, 1, length, file) == length;
    return std::fflush(file) == 0 && written;
}

RecorderClock RecorderClock::system()
{
    RecorderClock c;
    c.micros = [] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    };
    c.utcText = [] {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        return transcript::utcText(std::chrono::duration_cast<std::chrono::seconds>(now).count());
    };
    return c;
}

std::string utcText(std::int64_t unixSeconds)
{
    // Civil date from days since 1970-01-01 (proleptic Gregorian).
    const std::int64_t days = (unixSeconds >= 0 ? unixSeconds : unixSeconds - 86399) / 86400;
    const std::int64_t secondOfDay = unixSeconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[128];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(secondOfDay / 3600), static_cast<long long>(secondOfDay / 60 % 60),
                  static_cast<long long>(secondOfDay % 60));
    return text;
}

std::size_t formatLine(char* out, std::int64_t micros, Direction direction, const std::uint8_t* bytes,
                       std::size_t count)
{
    if (micros < 0)
        micros = 0;
    if (count > bytesPerLine)
        count = bytesPerLine;
    std::size_t at = writeDecimal(out, static_cast<std::uint64_t>(micros / 1000000), 4, ' ');
    out[at++] = '.';
    at += writeDecimal(out + at, static_cast<std::uint64_t>(micros % 1000000), 6, '0');
    out[at++] = ' ';
    out[at++] = static_cast<char>(direction);
    for (std::size_t i = 0; i < count; ++i) {
        out[at++] = ' ';
        out[at++] = hexDigits[bytes[i] >> 4];
        out[at++] = hexDigits[bytes[i] & 0x0F];
    }
    out[at++] = '\n';
    return at;
}

Recorder::Recorder(TranscriptSink& s, RecorderClock c) : sink(s), clock(std::move(c)) {}

void Recorder::addNote(std::string note)
{
    const std::lock_guard<std::mutex> guard(noteLock);
    notes += "# " + note + "\n";
}

void Recorder::opened(const std::string& port)
{
    const std::lock_guard<std::mutex> guard(noteLock);
    if (started.load()) {
        writeText("# open " + port + "\n");
        return;
    }
    startMicros = clock.micros();
    writeText(std::string(headerStart) + std::to_string(formatVersion) + " started " + clock.utcText() + " port " +
              port + "\n" + notes);
    started.store(true, std::memory_order_release);
}

void Recorder::closed()
{
    const std::lock_guard<std::mutex> guard(noteLock);
    if (started.load())
        writeText("# close\n");
}

void Recorder::writeText(const std::string& text)
{
    if (!sink.write(text.data(), text.size()))
        failed.store(true);
}

void Recorder::record(Direction direction, const std::uint8_t* bytes, std::size_t count)
{
    if (count == 0 || !started.load(std::memory_order_acquire))
        return;
    // The time is taken under the lock that orders the lines, so that the
    // file's times never go back even when both directions record at once.
    const std::lock_guard<std::mutex> guard(lineLock);
    const std::int64_t micros = clock.micros() - startMicros;
    while (count > 0) {
        const std::size_t n = count < bytesPerLine ? count : bytesPerLine;
        recordLine(direction, micros, bytes, n);
        bytes += n;
        count -= n;
    }
}

void Recorder::recordLine(Direction direction, std::int64_t micros, const std::uint8_t* bytes, std::size_t count)
{
    char* line = lines[direction == Direction::ToController ? 0 : 1];
    const std::size_t length = formatLine(line, micros, direction, bytes, count);
    if (!sink.write(line, length))
        failed.store(true);
}

}  // namespace kv7::transcript
