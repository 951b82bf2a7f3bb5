#include "transcript/Transcript.h"

#include "protocol/DeviceProtocol.h"
#include "protocol/ReplyLayout.h"

namespace kv7::transcript {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// "started T port P" after "# kv7 transcript N ".
bool readHeader(std::string_view line, Transcript& out)
{
    const std::string_view start(headerStart);
    if (line.substr(0, start.size()) != start)
        return false;
    line.remove_prefix(start.size());
    if (line.empty() || !isDigit(line[0]))
        return false;
    out.version = line[0] - '0';
    const std::string_view started = " started ";
    if (line.substr(1, started.size()) != started || out.version != formatVersion)
        return false;
    line.remove_prefix(1 + started.size());
    const std::size_t portAt = line.find(" port ");
    if (portAt == std::string_view::npos || portAt == 0)
        return false;
    out.started = std::string(line.substr(0, portAt));
    out.port = std::string(line.substr(portAt + 6));
    return true;
}

// "S.UUUUUU": seconds (at most 9 digits) and exactly six digits of microseconds.
bool readTime(std::string_view& line, std::int64_t& micros)
{
    while (!line.empty() && line[0] == ' ')
        line.remove_prefix(1);
    std::int64_t seconds = 0;
    std::size_t i = 0;
    for (; i < line.size() && isDigit(line[i]); ++i) {
        if (i == 9)
            return false;
        seconds = seconds * 10 + (line[i] - '0');
    }
    if (i == 0 || i + 7 > line.size() || line[i] != '.')
        return false;
    std::int64_t fraction = 0;
    for (std::size_t j = i + 1; j < i + 7; ++j) {
        if (!isDigit(line[j]))
            return false;
        fraction = fraction * 10 + (line[j] - '0');
    }
    micros = seconds * 1000000 + fraction;
    line.remove_prefix(i + 7);
    return true;
}

// " D XX XX ..." after the time.
const char* readBytes(std::string_view line, Chunk& chunk)
{
    if (line.size() < 2 || line[0] != ' ' || (line[1] != '>' && line[1] != '<'))
        return "expected > or < after the time";
    chunk.direction = static_cast<Direction>(line[1]);
    line.remove_prefix(2);
    while (!line.empty()) {
        if (line.size() < 3 || line[0] != ' ')
            return "expected a space and two hex digits";
        const int high = hexValue(line[1]);
        const int low = hexValue(line[2]);
        if (high < 0 || low < 0)
            return "not a hex byte";
        if (chunk.bytes.size() == bytesPerLine)
            return "too many bytes on one line";
        chunk.bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        line.remove_prefix(3);
    }
    return chunk.bytes.empty() ? "a line without bytes" : nullptr;
}

bool fail(std::string& error, int line, const std::string& what)
{
    error = "line " + std::to_string(line) + ": " + what;
    return false;
}

bool readLine(std::string_view line, int number, Transcript& out, std::string& error)
{
    if (number == 1)
        return readHeader(line, out) ? true : fail(error, 1, "not a kv7 transcript header (\"# kv7 transcript 1 started ...\")");
    if (line.empty())
        return true;
    if (line[0] == '#') {
        line.remove_prefix(line.size() > 1 && line[1] == ' ' ? 2 : 1);
        out.notes.emplace_back(line);
        return true;
    }
    Chunk chunk;
    chunk.line = number;
    if (!readTime(line, chunk.micros))
        return fail(error, number, "expected a time as seconds with six decimals");
    if (!out.chunks.empty() && chunk.micros < out.chunks.back().micros)
        return fail(error, number, "time goes backwards");
    if (const char* problem = readBytes(line, chunk))
        return fail(error, number, problem);
    out.chunks.push_back(std::move(chunk));
    return true;
}

}  // namespace

bool readTranscript(std::string_view text, Transcript& out, std::string& error)
{
    out = Transcript{};
    if (text.size() > maxTranscriptBytes)
        return fail(error, 0, "the file is larger than " + std::to_string(maxTranscriptBytes) + " bytes");
    if (text.empty())
        return fail(error, 1, "empty file");
    int number = 0;
    while (!text.empty()) {
        ++number;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.size() > maxLineLength)
            return fail(error, number, "line longer than " + std::to_string(maxLineLength) + " characters");
        for (const char c : line) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                return fail(error, number, "control character");
        }
        if (!readLine(line, number, out, error))
            return false;
    }
    return true;
}

std::vector<std::string> notesWithKey(const Transcript& t, std::string_view key)
{
    std::vector<std::string> found;
    for (const std::string& note : t.notes) {
        if (note.size() > key.size() && note.compare(0, key.size(), key) == 0 && note[key.size()] == ' ')
            found.push_back(note.substr(key.size() + 1));
    }
    return found;
}

std::string hexText(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace kv7::transcript
