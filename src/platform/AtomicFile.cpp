#include "platform/AtomicFile.h"

#include <cstdio>
#include <random>
#include <utility>

namespace kv7::atomicfile {

bool readNamed(const std::string& path, std::size_t maxBytes, std::string& text, std::string& error)
{
    switch (readBounded(path, maxBytes, "snapshot file", text, error)) {
    case Read::Text: return true;
    case Read::Missing: error = "no such file"; return false;
    case Read::Failed: return false;
    }
    return false;
}

std::string tooLarge(const std::string& path, std::size_t maxBytes, const char* kind)
{
    return path + " is larger than " + std::to_string(maxBytes) + " bytes, too large for " + kind;
}

Read keepRead(std::string& content, std::size_t got, std::size_t maxBytes, const char* kind,
              const std::string& path, std::string& text, std::string& error)
{
    if (got > maxBytes) {
        error = tooLarge(path, maxBytes, kind);
        return Read::Failed;
    }
    content.resize(got);
    text = std::move(content);
    return Read::Text;
}

std::filesystem::path temporaryName(const std::filesystem::path& directory, const std::string& name)
{
    std::random_device random;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x", random(), random());
    return directory / ("." + name + suffix);
}

}  // namespace kv7::atomicfile
