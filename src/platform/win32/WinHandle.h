// Owned kernel handles. Windows has two "no handle" values: CreateFile
// returns INVALID_HANDLE_VALUE, CreateEvent and CreateThread return null;
// both count as empty here.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace kv7 {

class WinHandle {
public:
    WinHandle() = default;
    explicit WinHandle(HANDLE h) : handle(h) {}
    ~WinHandle() { reset(); }
    WinHandle(WinHandle&& other) noexcept : handle(other.release()) {}
    WinHandle& operator=(WinHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    WinHandle(const WinHandle&) = delete;
    WinHandle& operator=(const WinHandle&) = delete;

    HANDLE get() const { return handle; }
    bool valid() const { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    HANDLE release()
    {
        HANDLE h = handle;
        handle = nullptr;
        return h;
    }
    void reset(HANDLE h = nullptr)
    {
        if (valid())
            ::CloseHandle(handle);
        handle = h;
    }

private:
    HANDLE handle = nullptr;
};

// An unnamed event; manual reset unless said otherwise.
inline WinHandle makeEvent(bool manualReset = true, bool signalled = false)
{
    return WinHandle(::CreateEventW(nullptr, manualReset ? TRUE : FALSE, signalled ? TRUE : FALSE, nullptr));
}

}  // namespace kv7
