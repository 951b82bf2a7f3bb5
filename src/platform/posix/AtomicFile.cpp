// The POSIX calls behind platform/AtomicFile.h.
#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/UniqueFd.h"

namespace kv7::atomicfile {

namespace {

std::string failure(const std::string& path) { return path + ": " + std::strerror(errno); }

std::string notAFile(const std::string& path, mode_t mode)
{
    if (S_ISLNK(mode))
        return path + " is a symbolic link; give the path of the file itself";
    if (S_ISDIR(mode))
        return path + " is a directory";
    return path + " is not a regular file";
}

}  // namespace

Read readBounded(const std::string& file, std::size_t maxBytes, const char* kind, std::string& text,
                 std::string& error)
{
    // Looked at before it is opened: opening a device can act on it (a
    // serial port changes its control lines, a tape rewinds).
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return Read::Missing;
        error = failure(file);
        return Read::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = notAFile(file, st.st_mode);
        return Read::Failed;
    }

    // The path may have changed since: O_NOFOLLOW refuses a link put there,
    // O_NONBLOCK keeps a FIFO put there from waiting for a writer, and
    // fstat below sees what was really opened.
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return Read::Missing;
        error = errno == ELOOP ? notAFile(file, S_IFLNK) : failure(file);
        return Read::Failed;
    }
    if (::fstat(fd.get(), &st) != 0) {
        error = failure(file);
        return Read::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        error = notAFile(file, st.st_mode);
        return Read::Failed;
    }
    if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        error = tooLarge(file, maxBytes, kind);
        return Read::Failed;
    }

    std::string content(maxBytes + 1, '\0');
    std::size_t got = 0;
    while (got < content.size()) {
        const ssize_t n = ::read(fd.get(), content.data() + got, content.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = failure(file);
            return Read::Failed;
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return keepRead(content, got, maxBytes, kind, file, text, error);
}

namespace {

// Gives the new file the old one's owner and mode, and writes text into it.
bool fill(int fd, const struct stat* old, const std::string& text)
{
    if (old) {
        // Only root can give a file to another owner; for anyone else the
        // old file was theirs already, so a refusal here changes nothing.
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
            [[maybe_unused]] const int owned = ::fchown(fd, old->st_uid, old->st_gid);
        }
        if (::fchmod(fd, old->st_mode & 0777) != 0)
            return false;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// The rename itself lasts once the directory is on the disk. Some file
// systems cannot sync a directory; the file is whole either way.
void syncDirectory(const std::string& directory)
{
    UniqueFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        [[maybe_unused]] const int synced = ::fsync(dir.get());
    }
}

}  // namespace

bool replace(const std::string& file, const std::string& text, std::string& error)
{
    const std::filesystem::path target(file);
    const std::string name = target.filename().string();
    if (name.empty() || name == "." || name == "..") {
        error = file + " does not name a file";
        return false;
    }
    // The temporary file must be on the same file system for the rename.
    const std::string directory = target.has_parent_path() ? target.parent_path().string() : ".";

    struct stat old {};
    const bool replacing = ::lstat(file.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT) {
        error = failure(file);
        return false;
    }
    // Renaming over a link, a directory or a device would not write the
    // file the program was given; whatever it is stays as it is.
    if (replacing && !S_ISREG(old.st_mode)) {
        error = notAFile(file, old.st_mode);
        return false;
    }

    // Created only if nothing is there: a link planted beside the target
    // cannot redirect the write.
    std::filesystem::path temporaryPath;
    UniqueFd fd;
    const bool created = createTemporary(
        directory, name, file, temporaryPath, error, [&](const std::filesystem::path& candidate) {
            fd.reset(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644));
            if (fd.valid())
                return Attempt::Created;
            if (errno == EEXIST)
                return Attempt::Taken;
            error = failure(candidate.string());
            return Attempt::Failed;
        });
    if (!created)
        return false;
    const std::string temporary = temporaryPath.string();
    // On the disk before the rename, or a crash could leave the new name on
    // an empty file.
    const bool whole = fill(fd.get(), replacing ? &old : nullptr, text) && ::fsync(fd.get()) == 0 &&
                       ::close(fd.release()) == 0;
    if (!whole || ::rename(temporary.c_str(), file.c_str()) != 0) {
        error = failure(whole ? file : temporary);
        fd.reset();
        ::unlink(temporary.c_str());
        return false;
    }
    syncDirectory(directory);
    return true;
}

}  // namespace kv7::atomicfile
