// The state file on Windows: the same bounds on what is read, and the same
// unguessable, exclusively created temporary file renamed over the target.
// The replaced file's permissions are not carried over: the new file takes
// those of its folder, as any file made there does.
#include "sim/hosts/FileStateStore.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "platform/win32/WinHandle.h"

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

std::string tooLarge(const std::string& path)
{
    return path + " is larger than " + std::to_string(maxStateBytes) + " bytes, too large for a state file";
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
        error = tooLarge(file);
        return Loaded::Failed;
    }

    std::ifstream in(target, std::ios::binary);
    if (!in) {
        error = file + " cannot be opened";
        return Loaded::Failed;
    }
    // One byte past the bound shows a file that grew since its size was taken.
    std::string content(maxStateBytes + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (in.bad()) {
        error = file + " cannot be read";
        return Loaded::Failed;
    }
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got > maxStateBytes) {
        error = tooLarge(file);
        return Loaded::Failed;
    }
    content.resize(got);
    text = std::move(content);
    return Loaded::Text;
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

    std::random_device random;
    fs::path temporary;
    WinHandle handle;
    for (int attempt = 0; attempt < 16 && !handle.valid(); ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".%08x%08x", random(), random());
        temporary = directory / ("." + target.filename().string() + suffix);
        handle.reset(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        const DWORD code = handle.valid() ? ERROR_SUCCESS : ::GetLastError();
        if (!handle.valid() && code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = windowsFailure(temporary.string(), code);
            return false;
        }
    }
    if (!handle.valid()) {
        error = "no unused temporary name beside " + file;
        return false;
    }
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
