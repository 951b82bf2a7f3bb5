#include "sim/hosts/StateFileRules.h"

#include <cstdio>
#include <random>
#include <utility>

namespace kv7::sim::statefile {

std::string tooLarge(const std::string& path)
{
    return path + " is larger than " + std::to_string(maxStateBytes) + " bytes, too large for a state file";
}

StateStore::Loaded keepRead(std::string& content, std::size_t got, const std::string& path, std::string& text,
                            std::string& error)
{
    if (got > maxStateBytes) {
        error = tooLarge(path);
        return StateStore::Loaded::Failed;
    }
    content.resize(got);
    text = std::move(content);
    return StateStore::Loaded::Text;
}

std::filesystem::path temporaryName(const std::filesystem::path& directory, const std::string& name)
{
    std::random_device random;
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x%08x", random(), random());
    return directory / ("." + name + suffix);
}

}  // namespace kv7::sim::statefile
