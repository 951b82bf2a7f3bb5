// The simulator suites' scratch directory, made the Windows way (there is
// no mkdtemp): a fresh name under the temporary directory, created once.
#include <windows.h>

#include <string>

#include "SimTestUtil.h"

namespace kv7::sim::test {

TempDir::TempDir()
{
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            base / ("kv7sim-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                    std::to_string(::GetTickCount64()) + "-" + std::to_string(attempt));
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
