#include "sim/hosts/StateFileRules.h"

#include "platform/AtomicFile.h"

namespace kv7::sim::statefile {

StateStore::Loaded load(const std::string& path, std::string& text, std::string& error)
{
    switch (atomicfile::readBounded(path, maxStateBytes, "a state file", text, error)) {
    case atomicfile::Read::Text: return StateStore::Loaded::Text;
    case atomicfile::Read::Missing: return StateStore::Loaded::Nothing;
    case atomicfile::Read::Failed: break;
    }
    return StateStore::Loaded::Failed;
}

bool save(const std::string& path, const std::string& text, std::string& error)
{
    return atomicfile::replace(path, text, error);
}

}  // namespace kv7::sim::statefile
