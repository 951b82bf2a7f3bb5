// Programs started from a test: CMake gives their Unix paths, wine takes
// Windows paths, and the Unix root is drive Z: there.
#pragma once

#include <algorithm>
#include <string>

namespace kv7::test {

inline std::wstring windowsPath(std::wstring path)
{
    if (!path.empty() && path[0] == L'/')
        path = L"Z:" + path;
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

}  // namespace kv7::test
