#include "version/Version.h"

// Generated into the build folder; only this file includes it, so that a
// new commit recompiles one file.
#include "BuildVersion.h"

namespace kv7 {

std::string_view versionNumber() { return KV7_VERSION_NUMBER; }

std::string_view buildCommit() { return KV7_BUILD_COMMIT; }

std::string_view versionText() { return KV7_VERSION_TEXT; }

std::string versionLine(std::string_view program)
{
    std::string line(program);
    line += ' ';
    line += versionText();
    return line;
}

}  // namespace kv7
