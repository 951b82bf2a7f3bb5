#include "SimTestUtil.h"

#include <cstdlib>
#include <unistd.h>

namespace kv7::sim::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kv7sim-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()))
        dir = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ec);
}

}  // namespace kv7::sim::test
