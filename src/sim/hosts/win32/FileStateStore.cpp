// The state file on Windows: the same rules as on POSIX, carried out by platform/win32/AtomicFile.cpp.
#include "sim/hosts/FileStateStore.h"

#include "sim/hosts/StateFileRules.h"

namespace kv7::sim {

StateStore::Loaded FileStateStore::load(std::string& text, std::string& error)
{
    return statefile::load(file, text, error);
}

bool FileStateStore::save(const std::string& text, std::string& error) { return statefile::save(file, text, error); }

}  // namespace kv7::sim
