// The rules of the state file that hold on every system: how much of it is
// read, and the name a store writes under before it renames. The two
// FileStateStore implementations carry them out with their system's calls.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "sim/engine/StateStore.h"

namespace kv7::sim::statefile {

std::string tooLarge(const std::string& path);

// The end of a load: content was sized maxStateBytes + 1 and got bytes of
// it were read. The byte past the bound shows a file that grew after its
// size was taken.
StateStore::Loaded keepRead(std::string& content, std::size_t got, const std::string& path, std::string& text,
                            std::string& error);

// A name nobody can guess beside the target: `.NAME.` and 16 hex digits.
std::filesystem::path temporaryName(const std::filesystem::path& directory, const std::string& name);

enum class Attempt { Created, Taken, Failed };

// Creates the file a store writes first, in the target's directory so that
// the rename stays on one file system, under a temporaryName. create(
// candidate) tries one name, exclusively, and says whether it made the
// file, found the name taken (another is tried, 16 in all) or failed
// (having set error). temporary is the name last tried.
template <class Create>
bool createTemporary(const std::filesystem::path& directory, const std::string& name, const std::string& path,
                     std::filesystem::path& temporary, std::string& error, Create&& create)
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        temporary = temporaryName(directory, name);
        switch (create(temporary)) {
        case Attempt::Created: return true;
        case Attempt::Failed: return false;
        case Attempt::Taken: break;
        }
    }
    error = "no unused temporary name beside " + path;
    return false;
}

}  // namespace kv7::sim::statefile
