// A configuration snapshot: everything the link read from a controller at
// connect, kept in a small versioned JSON file so that what was there before
// a change can be seen again and put back. This library knows the file and
// its fields only; kv7ctl maps them to and from the link's records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kv7::config {

inline constexpr int fileVersion = 1;               // what this program writes and reads
inline constexpr std::size_t maxFileBytes = 64 * 1024;
inline constexpr std::string_view fileFormat = "kv7-configuration";

// The file's sections, in the order they are written.
enum class Section : std::uint8_t { Identity, Axes, EncoderFormat, EncoderCalibration, Motor };

// Which of the link's requests writes a field back; None: no request does.
enum class Writer : std::uint8_t { None, EncoderFormat, EncoderCalibration, MotorReversal };

struct FieldSpec {
    const char* name;          // the records' name, as kv7ctl info shows it
    Section section;
    std::uint8_t count;        // 1: a number; more: an array of that many (RA's first, then Dec's)
    std::uint64_t max;         // every number lies in 0..max
    Writer writer;
};

// Every field of a snapshot, in file order.
std::span<const FieldSpec> fieldSpecs();
const char* sectionName(Section section);
// "encoderFormat.raFlags"
std::string qualifiedName(const FieldSpec& spec);

struct Numbers {
    std::uint8_t count = 0;
    std::uint64_t v[6] = {};

    friend bool operator==(const Numbers&, const Numbers&) = default;
};

// "7" or "[1,2,3,4,5,6]".
std::string numbersText(const Numbers& numbers);

struct Snapshot {
    int version = fileVersion;
    std::string savedUtc;      // "2026-12-07T20:30:00Z"
    std::string port;
    std::string program;       // "kv7ctl 0.1.0"
    std::vector<Numbers> fields = std::vector<Numbers>(fieldSpecs().size());   // by fieldSpecs() index

    // The field of that name; null when there is none.
    const Numbers* field(std::string_view name) const;
    Numbers* field(std::string_view name);
    // A single number's value (0 for a name there is not).
    std::uint64_t number(std::string_view name) const;
};

std::string writeSnapshot(const Snapshot& snapshot);

// Reads a snapshot strictly: the text at most maxFileBytes, every key known,
// every field present once with a number or array of the right length and
// range, a version this program reads. False with error saying where and
// what is wrong; snapshot is then untouched.
bool readSnapshot(std::string_view text, Snapshot& snapshot, std::string& error);

// Empty when file was taken from the same controller model as connected
// (device id and device word); otherwise why it must not be restored there.
std::string modelMismatch(const Snapshot& file, const Snapshot& connected);

struct Difference {
    std::size_t index;         // into fieldSpecs()
    Numbers inFile;
    Numbers inController;
};

std::vector<Difference> differences(const Snapshot& file, const Snapshot& controller);

}  // namespace kv7::config
