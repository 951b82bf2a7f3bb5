// The snapshot reader: the whole input is the file's text.
//
// Beyond the sanitizers: a file that is refused says why and leaves the
// snapshot as it was; a file that is taken holds only values its fields
// allow, and writes back as text that reads back to the same snapshot.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/Snapshot.h"
#include "fuzz/FuzzSupport.h"

using namespace kv7;
using namespace kv7::fuzz;

namespace {

void checkRanges(const config::Snapshot& s)
{
    const auto specs = config::fieldSpecs();
    check(s.fields.size() == specs.size(), "a snapshot with another number of fields");
    for (std::size_t i = 0; i < specs.size(); ++i) {
        check(s.fields[i].count == specs[i].count, "a field with another number of values");
        for (std::size_t k = 0; k < s.fields[i].count; ++k)
            check(s.fields[i].v[k] <= specs[i].max, "a value beyond its field");
    }
    check(s.version >= 1 && s.version <= config::fileVersion, "a version this program does not read");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    config::Snapshot s;
    s.port = "untouched";
    std::string error;
    if (!config::readSnapshot(text, s, error)) {
        check(!error.empty(), "a refusal without a reason");
        check(s.port == "untouched", "a refused file changed the snapshot");
        return 0;
    }
    checkRanges(s);
    config::Snapshot again;
    check(config::readSnapshot(config::writeSnapshot(s), again, error), "a written snapshot does not read back");
    check(again.fields == s.fields && again.port == s.port && again.savedUtc == s.savedUtc &&
              again.program == s.program,
          "a written snapshot reads back different");
    return 0;
}
