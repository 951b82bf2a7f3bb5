#include "SimTestUtil.h"

#include <random>
#include <string>

namespace kv7::sim::test {

TempDir::TempDir()
{
    // create_directory fails when the name exists, so a directory made here
    // belongs to this test alone, on every system.
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("kv7sim-test-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            dir = candidate;
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ec);
}

}  // namespace kv7::sim::test
