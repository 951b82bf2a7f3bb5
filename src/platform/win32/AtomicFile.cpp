// The Win32 calls behind platform/AtomicFile.h: the same bounds on what is
// read, and the same unguessable, exclusively created temporary file moved
// over the target. The replaced file's permissions are not carried over:
// the new file takes those of its folder, as any file made there does.
#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <system_error>

#include "platform/win32/WinHandle.h"

namespace kv7::atomicfile {

namespace {

namespace fs = std::filesystem;

std::string windowsFailure(const std::string& path, DWORD code)
{
    return path + ": " + std::system_category().message(static_cast<int>(code));
}

std::string notAFile(const std::string& path, fs::file_type type)
{
    return path + (type == fs::file_type::directory ? " is a directory" : " is not a regular file");
}

}  // namespace

Read readBounded(const std::string& file, std::size_t maxBytes, const char* kind, std::string& text,
                 std::string& error)
{
    const fs::path target(file);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (status.type() == fs::file_type::not_found)
        return Read::Missing;
    if (ec) {
        error = file + ": " + ec.message();
        return Read::Failed;
    }
    if (status.type() != fs::file_type::regular) {
        error = notAFile(file, status.type());
        return Read::Failed;
    }
    const std::uintmax_t size = fs::file_size(target, ec);
    if (ec) {
        error = file + ": " + ec.message();
        return Read::Failed;
    }
    if (size > maxBytes) {
        error = tooLarge(file, maxBytes, kind);
        return Read::Failed;
    }

    std::ifstream in(target, std::ios::binary);
    if (!in) {
        error = file + " cannot be opened";
        return Read::Failed;
    }
    std::string content(maxBytes + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.bad()) {
        error = file + " cannot be read";
        return Read::Failed;
    }
    return keepRead(content, static_cast<std::size_t>(in.gcount()), maxBytes, kind, file, text, error);
}

bool replace(const std::string& file, const std::string& text, std::string& error)
{
    const fs::path target(file);
    if (!target.has_filename()) {
        error = file + " does not name a file";
        return false;
    }
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (status.type() != fs::file_type::not_found && status.type() != fs::file_type::regular) {
        error = ec ? file + ": " + ec.message() : notAFile(file, status.type());
        return false;
    }
    // The temporary file must be on the same volume for the move.
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");

    fs::path temporary;
    WinHandle handle;
    const bool created = createTemporary(
        directory, target.filename().string(), file, temporary, error, [&](const fs::path& candidate) {
            handle.reset(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            if (handle.valid())
                return Attempt::Created;
            const DWORD code = ::GetLastError();
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
                return Attempt::Taken;
            error = windowsFailure(candidate.string(), code);
            return Attempt::Failed;
        });
    if (!created)
        return false;
    auto abandon = [&](DWORD code, const std::string& path) {
        error = windowsFailure(path, code);
        handle.reset();
        ::DeleteFileW(temporary.c_str());
        return false;
    };

    std::size_t written = 0;
    while (written < text.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - written, 1 << 20));
        if (!::WriteFile(handle.get(), text.data() + written, chunk, &n, nullptr) || n == 0)
            return abandon(::GetLastError(), temporary.string());
        written += n;
    }
    if (!::FlushFileBuffers(handle.get()))
        return abandon(::GetLastError(), temporary.string());
    handle.reset();
    if (!::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return abandon(::GetLastError(), file);
    return true;
}

}  // namespace kv7::atomicfile
