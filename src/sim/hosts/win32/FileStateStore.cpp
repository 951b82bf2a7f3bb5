// The state file on Windows: the same bounds on what is read, and the same
// unguessable, exclusively created temporary file renamed over the target.
// The replaced file's permissions are not carried over: the new file takes
// those of its folder, as any file made there does.
#include "sim/hosts/FileStateStore.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/win32/WinHandle.h"
#include "sim/hosts/StateFileRules.h"

namespace kv7::sim {

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

StateStore::Loaded FileStateStore::load(std::string& text, std::string& error)
{
    const fs::path target(file);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (status.type() == fs::file_type::not_found)
        return Loaded::Nothing;
    if (ec) {
        error = file + ": " + ec.message();
        return Loaded::Failed;
    }
    if (status.type() != fs::file_type::regular) {
        error = notAFile(file, status.type());
        return Loaded::Failed;
    }
    const std::uintmax_t size = fs::file_size(target, ec);
    if (ec) {
        error = file + ": " + ec.message();
        return Loaded::Failed;
    }
    if (size > maxStateBytes) {
        error = statefile::tooLarge(file);
        return Loaded::Failed;
    }

    std::ifstream in(target, std::ios::binary);
    if (!in) {
        error = file + " cannot be opened";
        return Loaded::Failed;
    }
    std::string content(maxStateBytes + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.bad()) {
        error = file + " cannot be read";
        return Loaded::Failed;
    }
    return statefile::keepRead(content, static_cast<std::size_t>(in.gcount()), file, text, error);
}

bool FileStateStore::save(const std::string& text, std::string& error)
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
    const bool created = statefile::createTemporary(
        directory, target.filename().string(), file, temporary, error, [&](const fs::path& candidate) {
            handle.reset(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
            if (handle.valid())
                return statefile::Attempt::Created;
            const DWORD code = ::GetLastError();
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS)
                return statefile::Attempt::Taken;
            error = windowsFailure(candidate.string(), code);
            return statefile::Attempt::Failed;
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

}  // namespace kv7::sim
