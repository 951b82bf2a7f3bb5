// The state file of a virtual controller (kv7sim --state FILE), read and
// replaced through platform/AtomicFile.h (see there for what is refused and
// how a save survives a crash). FileStateStore.cpp serves POSIX and
// win32/FileStateStore.cpp Windows; both go through StateFileRules.h.
//
// Loading reads only a regular file of at most maxStateBytes; a symbolic
// link is refused. Saving writes an exclusively created temporary file
// beside the target and renames it over the target.
#pragma once

#include <string>
#include <utility>

#include "sim/engine/StateStore.h"

namespace kv7::sim {

class FileStateStore final : public StateStore {
public:
    explicit FileStateStore(std::string path) : file(std::move(path)) {}

    Loaded load(std::string& text, std::string& error) override;
    bool save(const std::string& text, std::string& error) override;

    const std::string& path() const { return file; }

private:
    std::string file;
};

}  // namespace kv7::sim
