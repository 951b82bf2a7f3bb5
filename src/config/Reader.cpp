// The strict reader of snapshot files. A small JSON parser that takes only
// what a snapshot can hold (objects two deep, arrays of at most six whole
// numbers, short strings), then every key and value checked against the
// field table. Nothing is kept from a file with any fault in it.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "config/Snapshot.h"

namespace kv7::config {

namespace {

constexpr std::size_t maxString = 512;
constexpr std::size_t maxArray = 6;
constexpr int maxDepth = 2;

struct Member;

struct Value {
    enum class Kind : std::uint8_t { Object, Array, Number, String } kind = Kind::Number;
    int line = 1;
    std::uint64_t number = 0;
    std::string text;
    std::vector<Member> members;
    std::vector<std::uint64_t> items;
};

struct Member {
    std::string first;   // the key
    Value second;
};

struct Fault {
    std::string message;
};

class Parser {
public:
    explicit Parser(std::string_view text) : text(text) {}

    Value document()
    {
        Value v = value(0);
        skipBlanks();
        if (at < text.size())
            fail("text after the end of the object");
        if (v.kind != Value::Kind::Object)
            throw Fault{"line 1: the file is not a JSON object"};
        return v;
    }

private:
    [[noreturn]] void fail(const std::string& what) const
    {
        throw Fault{"line " + std::to_string(line) + ": " + what};
    }

    void skipBlanks()
    {
        for (; at < text.size(); ++at) {
            const char c = text[at];
            if (c == '\n')
                ++line;
            else if (c != ' ' && c != '\t' && c != '\r')
                return;
        }
    }

    char peek()
    {
        skipBlanks();
        if (at >= text.size())
            fail("the file ends too early");
        return text[at];
    }

    void expect(char c)
    {
        if (peek() != c)
            fail(std::string("expected '") + c + "'");
        ++at;
    }

    Value value(int depth)
    {
        const char c = peek();
        if (c == '{')
            return object(depth);
        if (c == '[')
            return array();
        Value v;
        v.line = line;
        if (c == '"') {
            v.kind = Value::Kind::String;
            v.text = string();
        } else {
            v.number = number();
        }
        return v;
    }

    Value object(int depth)
    {
        if (depth >= maxDepth)
            fail("an object nested deeper than a snapshot has");
        Value v;
        v.kind = Value::Kind::Object;
        v.line = line;
        expect('{');
        if (peek() == '}') {
            ++at;
            return v;
        }
        for (;;) {
            std::string key = string();
            for (const auto& m : v.members) {
                if (m.first == key)
                    fail("\"" + key + "\" appears twice");
            }
            expect(':');
            Value inner = value(depth + 1);
            v.members.push_back(Member{std::move(key), std::move(inner)});
            if (peek() == '}') {
                ++at;
                return v;
            }
            expect(',');
        }
    }

    Value array()
    {
        Value v;
        v.kind = Value::Kind::Array;
        v.line = line;
        expect('[');
        if (peek() == ']') {
            ++at;
            return v;
        }
        for (;;) {
            if (v.items.size() == maxArray)
                fail("an array longer than " + std::to_string(maxArray) + " numbers");
            v.items.push_back(number());
            if (peek() == ']') {
                ++at;
                return v;
            }
            expect(',');
        }
    }

    std::uint64_t number()
    {
        const char first = peek();
        if (first < '0' || first > '9')
            fail("expected a whole number from 0 up (no sign, fraction or exponent)");
        std::uint64_t n = 0;
        std::size_t digits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
            const auto d = static_cast<std::uint64_t>(text[at] - '0');
            if (n > (~std::uint64_t{0} - d) / 10)
                fail("a number too large for any field");
            n = n * 10 + d;
        }
        if (first == '0' && digits > 1)
            fail("a number with a leading zero");
        if (at < text.size() && (text[at] == '.' || text[at] == 'e' || text[at] == 'E'))
            fail("expected a whole number from 0 up (no sign, fraction or exponent)");
        return n;
    }

    std::string string()
    {
        if (peek() != '"')
            fail("expected a string in double quotes");
        ++at;
        std::string s;
        while (at < text.size() && text[at] != '"') {
            const char c = text[at++];
            if (static_cast<unsigned char>(c) < 0x20)
                fail("a control character inside a string");
            s += c == '\\' ? escaped() : c;
            if (s.size() > maxString)
                fail("a string longer than " + std::to_string(maxString) + " bytes");
        }
        if (at >= text.size())
            fail("a string that does not end");
        ++at;
        return s;
    }

    char escaped()
    {
        if (at >= text.size())
            fail("a string that does not end");
        const char c = text[at++];
        switch (c) {
        case '"':
        case '\\':
        case '/': return c;
        case 'n': return '\n';
        case 't': return '\t';
        case 'u': return unicodeEscape();
        default: fail(std::string("an unknown escape \\") + c);
        }
    }

    // Only \u0000..\u007f: the writer escapes nothing else.
    char unicodeEscape()
    {
        if (at + 4 > text.size())
            fail("a string that does not end");
        unsigned code = 0;
        for (int k = 0; k < 4; ++k) {
            const char h = text[at++];
            const int d = h >= '0' && h <= '9'   ? h - '0'
                          : h >= 'a' && h <= 'f' ? h - 'a' + 10
                          : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                 : -1;
            if (d < 0)
                fail("a \\u escape that is not four hexadecimal digits");
            code = code * 16 + static_cast<unsigned>(d);
        }
        if (code > 0x7F)
            fail("a \\u escape beyond ASCII");
        return static_cast<char>(code);
    }

    std::string_view text;
    std::size_t at = 0;
    int line = 1;
};

[[noreturn]] void refuse(const Value& v, const std::string& where, const std::string& what)
{
    throw Fault{"line " + std::to_string(v.line) + ": " + where + ": " + what};
}

const Value* member(const Value& object, std::string_view key)
{
    for (const auto& m : object.members) {
        if (m.first == key)
            return &m.second;
    }
    return nullptr;
}

const char* kindName(Value::Kind kind)
{
    static const char* const kinds[] = {"an object", "an array", "a number", "a string"};
    return kinds[static_cast<int>(kind)];
}

// A key of the top level, of that kind.
const Value& required(const Value& root, std::string_view key, Value::Kind kind)
{
    const Value* v = member(root, key);
    if (!v)
        refuse(root, std::string(key), "missing");
    if (v->kind != kind)
        refuse(*v, std::string(key), std::string("must be ") + kindName(kind));
    return *v;
}

Numbers fieldValue(const Value& v, const FieldSpec& spec, const std::string& name)
{
    Numbers n;
    if (spec.count == 1) {
        if (v.kind != Value::Kind::Number)
            refuse(v, name, "must be a number");
        n.count = 1;
        n.v[0] = v.number;
    } else {
        if (v.kind != Value::Kind::Array || v.items.size() != spec.count)
            refuse(v, name, "must be an array of " + std::to_string(spec.count) + " numbers");
        n.count = spec.count;
        std::copy(v.items.begin(), v.items.end(), n.v);
    }
    for (std::size_t k = 0; k < n.count; ++k) {
        if (n.v[k] > spec.max)
            refuse(v, name, std::to_string(n.v[k]) + " is above " + std::to_string(spec.max));
    }
    return n;
}

void readSection(const Value& root, Section section, Snapshot& s)
{
    const std::string sectionKey = sectionName(section);
    const Value& object = required(root, sectionKey, Value::Kind::Object);
    const auto specs = fieldSpecs();
    for (std::size_t i = 0; i < specs.size(); ++i) {
        if (specs[i].section != section)
            continue;
        const Value* v = member(object, specs[i].name);
        if (!v)
            refuse(object, sectionKey, "has no \"" + std::string(specs[i].name) + "\"");
        s.fields[i] = fieldValue(*v, specs[i], qualifiedName(specs[i]));
    }
    for (const auto& m : object.members) {
        const auto spec =
            std::find_if(specs.begin(), specs.end(), [&](const FieldSpec& f) { return m.first == f.name; });
        if (spec == specs.end() || spec->section != section)
            refuse(m.second, sectionKey, "unknown field \"" + m.first + "\"");
    }
}

// Bits per revolution 1..32 and, with the bits for revolutions, at most 32
// in all: the word the controller clocks in.
void checkEncoderWords(const Value& root, const Snapshot& s)
{
    for (const char* axis : {"ra", "dec"}) {
        const std::string a = axis;
        const std::uint64_t bits = s.number(a + "BitsPerRevolution");
        const std::uint64_t revolutions = s.number(a + "BitsForRevolutions");
        const Value& format = *member(root, "encoderFormat");
        if (bits < 1)
            refuse(format, "encoderFormat." + a + "BitsPerRevolution", "must be from 1 to 32");
        if (bits + revolutions > 32)
            refuse(format, "encoderFormat", a + "BitsPerRevolution and " + a + "BitsForRevolutions exceed 32 together");
    }
}

constexpr const char* topLevelKeys[] = {"format", "version", "savedUtc", "port", "program",
                                       "identity", "axes", "encoderFormat", "encoderCalibration", "motor"};

void readHeader(const Value& root, Snapshot& s)
{
    const Value& format = required(root, "format", Value::Kind::String);
    if (format.text != fileFormat)
        refuse(format, "format", "\"" + format.text + "\" is not a kv7 configuration snapshot");
    const Value& version = required(root, "version", Value::Kind::Number);
    if (version.number > static_cast<std::uint64_t>(fileVersion))
        refuse(version, "version",
               "the file's version " + std::to_string(version.number) + " is newer than this program reads (" +
                   std::to_string(fileVersion) + "); use a newer kv7ctl");
    if (version.number < 1)
        refuse(version, "version", "must be 1 or more");
    // A key this version does not know may hold something the operator
    // expects back; restoring less than the file says is refused.
    for (const auto& m : root.members) {
        if (std::find(std::begin(topLevelKeys), std::end(topLevelKeys), m.first) == std::end(topLevelKeys))
            refuse(m.second, m.first, "not a key of a version " + std::to_string(fileVersion) + " snapshot");
    }
    s.version = static_cast<int>(version.number);
    s.savedUtc = required(root, "savedUtc", Value::Kind::String).text;
    s.port = required(root, "port", Value::Kind::String).text;
    s.program = required(root, "program", Value::Kind::String).text;
}

}  // namespace

bool readSnapshot(std::string_view text, Snapshot& snapshot, std::string& error)
{
    if (text.size() > maxFileBytes) {
        error = "larger than " + std::to_string(maxFileBytes / 1024) + " KiB; not a snapshot";
        return false;
    }
    try {
        const Value root = Parser(text).document();
        Snapshot s;
        readHeader(root, s);
        for (const Section section : {Section::Identity, Section::Axes, Section::EncoderFormat,
                                      Section::EncoderCalibration, Section::Motor})
            readSection(root, section, s);
        checkEncoderWords(root, s);
        snapshot = std::move(s);
        return true;
    } catch (const Fault& fault) {
        error = fault.message;
        return false;
    }
}

}  // namespace kv7::config
