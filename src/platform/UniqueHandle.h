// One owned system resource (a kernel handle, a GDI object, a file
// descriptor), given back exactly once: when the owner goes, when it is
// reset to another, or never, if released. Moving hands it on; copying is
// not allowed. Traits say what the resource is:
//
//   struct Traits {
//       using Handle = ...;
//       static Handle none();           // what an empty owner holds
//       static bool valid(Handle h);    // some systems have more than one "none"
//       static void close(Handle h);    // called only for a valid handle
//   };
#pragma once

#include <utility>

namespace kv7 {

template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() = default;
    explicit UniqueHandle(Handle h) noexcept : handle(h) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Handle get() const noexcept { return handle; }
    bool valid() const noexcept { return Traits::valid(handle); }
    Handle release() noexcept { return std::exchange(handle, Traits::none()); }
    void reset(Handle h = Traits::none()) noexcept
    {
        if (valid())
            Traits::close(handle);
        handle = h;
    }

private:
    Handle handle = Traits::none();
};

}  // namespace kv7
