// A directory of the test's own, removed afterwards; kv7ctl's settings are
// pointed into it, so no test reads or writes the user's real files.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace kv7::cli::test {

class TestDir {
public:
    TestDir()
    {
        // create_directory fails when the name exists: the directory made
        // here belongs to this test alone.
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::random_device random;
        for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
            const std::filesystem::path candidate = base / ("kv7ctl-test-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(candidate, ec))
                dir = candidate;
        }
    }
    ~TestDir()
    {
        std::error_code ec;
        if (!dir.empty())
            std::filesystem::remove_all(dir, ec);
    }
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    bool made() const { return !dir.empty(); }
    std::string path() const { return dir.string(); }
    std::string file(const std::string& name) const { return (dir / name).string(); }

private:
    std::filesystem::path dir;
};

}  // namespace kv7::cli::test
