// Reading and replacing a small file of this program's own (the
// simulator's state file, the operator's settings) so that neither a path
// somebody got wrong nor a crash can do harm. One header, the system calls
// per platform: posix/AtomicFile.cpp, win32/AtomicFile.cpp.
//
// Reading takes only a regular file of at most maxBytes, so a FIFO, a
// device or a huge file named by mistake is refused at once instead of
// hanging the program or filling its memory. A symbolic link is refused
// too: replacing renames a new file over the path, which would put a plain
// file where the link was.
//
// Replacing writes a new file under a fresh, unpredictable name beside the
// target, created exclusively (never through a link somebody planted),
// flushes it to the disk and renames it over the target, so a crash leaves
// either the old file or the new one and a reader never sees half of
// either. On POSIX the new file keeps the old one's permissions and a first
// file gets 0644 less the umask; on Windows it takes its folder's.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kv7::atomicfile {

enum class Read { Text, Missing, Failed };

// kind names the file in a complaint about its size ("a state file").
Read readBounded(const std::string& path, std::size_t maxBytes, const char* kind, std::string& text,
                 std::string& error);

bool replace(const std::string& path, const std::string& text, std::string& error);

// readBounded for a file the operator named: true with its text, false with
// error saying why ("no such file" when it is missing).
bool readNamed(const std::string& path, std::size_t maxBytes, std::string& text, std::string& error);

// ---- Shared by the two implementations --------------------------------------

std::string tooLarge(const std::string& path, std::size_t maxBytes, const char* kind);

// The end of a read: content was sized maxBytes + 1 and got bytes of it
// were read. The byte past the bound shows a file that grew after its size
// was taken.
Read keepRead(std::string& content, std::size_t got, std::size_t maxBytes, const char* kind,
              const std::string& path, std::string& text, std::string& error);

// A name nobody can guess beside the target: `.NAME.` and 16 hex digits.
std::filesystem::path temporaryName(const std::filesystem::path& directory, const std::string& name);

enum class Attempt { Created, Taken, Failed };

// Creates the file replace writes first, in the target's directory so that
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

}  // namespace kv7::atomicfile
