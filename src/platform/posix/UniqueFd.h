// An owned POSIX file descriptor; -1 is "none".
#pragma once

#include <unistd.h>

#include "platform/UniqueHandle.h"

namespace kv7 {

struct FileDescriptorTraits {
    using Handle = int;
    static constexpr Handle none() noexcept { return -1; }
    static constexpr bool valid(Handle fd) noexcept { return fd >= 0; }
    static void close(Handle fd) noexcept { ::close(fd); }
};

using UniqueFd = UniqueHandle<FileDescriptorTraits>;

}  // namespace kv7
