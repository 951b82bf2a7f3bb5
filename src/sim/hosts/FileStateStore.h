// The state file of a virtual controller (kv7sim --state FILE). One header,
// one implementation per platform: FileStateStore.cpp for POSIX,
// win32/FileStateStore.cpp for Windows.
//
// Loading reads only a regular file of at most maxStateBytes, so a FIFO, a
// device or a huge file named by mistake is refused at once instead of
// hanging the simulator or filling its memory. A symbolic link is refused
// too: the store replaces the file by renaming, which would put a plain
// file where the link was.
//
// Saving writes a new file under a fresh, unpredictable name beside the
// target, created exclusively (never through a link somebody planted),
// flushes it to the disk and renames it over the target, so a crash leaves
// either the old file or the new one. The new file keeps the old one's
// permissions; a first file gets 0644 less the umask.
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
