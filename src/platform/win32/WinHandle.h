// Owned kernel handles. Windows has two "no handle" values: CreateFile
// returns INVALID_HANDLE_VALUE, CreateEvent and CreateThread return null;
// both count as empty here.
#pragma once

#include "platform/UniqueHandle.h"
#include "platform/win32/WindowsHeaders.h"

namespace kv7 {

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle none() noexcept { return nullptr; }
    static bool valid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { ::CloseHandle(h); }
};

using WinHandle = UniqueHandle<KernelHandleTraits>;

// An unnamed event; manual reset unless said otherwise.
inline WinHandle makeEvent(bool manualReset = true, bool signalled = false)
{
    return WinHandle(::CreateEventW(nullptr, manualReset ? TRUE : FALSE, signalled ? TRUE : FALSE, nullptr));
}

}  // namespace kv7
