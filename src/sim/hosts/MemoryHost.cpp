#include "sim/hosts/MemoryHost.h"

#include <chrono>

namespace kv7::sim {

MemoryHost::MemoryHost(const SimConfig& config) : controller(config) {}

bool MemoryHost::open(const char*, std::uint32_t)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (controller.vanished())
        return false;
    // As a real port is flushed on open: stale replies go, and a command
    // frame left half-sent by the previous connection is forgotten.
    controller.readAll();
    controller.dropPartialFrame();
    opened = true;
    woken = false;   // a wake-up meant for the previous connection's reader
    ++openCount;
    return true;
}

void MemoryHost::close()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        opened = false;
    }
    readable.notify_all();
}

bool MemoryHost::write(const std::uint8_t* data, std::size_t length, int)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (!opened || controller.vanished())
            return false;
        controller.receive(data, length);
    }
    readable.notify_all();
    return true;
}

int MemoryHost::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(mutex);
    auto ready = [this] {
        return woken || !opened || gone() || controller.nextReleaseTime() <= controller.now();
    };
    if (timeoutMs > 0)
        readable.wait_for(guard, std::chrono::milliseconds(timeoutMs), ready);
    if (woken) {
        woken = false;
        return 0;
    }
    if (!opened || gone())
        return -1;
    const std::size_t limit = capacity < 65536 ? capacity : 65536;
    return static_cast<int>(controller.read(buffer, limit));
}

void MemoryHost::wakeReader()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        woken = true;
    }
    readable.notify_all();
}

void MemoryHost::advance(double seconds)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        controller.advance(seconds);
    }
    readable.notify_all();
}

bool MemoryHost::isOpen() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return opened;
}

int MemoryHost::timesOpened() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return openCount;
}

}  // namespace kv7::sim
