#include "link/Channel.h"

#include <chrono>

namespace kv7 {

bool Channel::write(const std::uint8_t* data, std::size_t length, const std::atomic<bool>* giveUp)
{
    if (length > capacity)
        return false;
    std::unique_lock<std::mutex> guard(mutex);
    const auto canGo = [&] { return isStopped || capacity - count >= length || (giveUp && giveUp->load()); };
    if (!canGo()) {
        ++waiting;
        writable.wait(guard, canGo);
        --waiting;
    }
    if (isStopped || capacity - count < length)
        return false;
    std::size_t tail = (head + count) % capacity;
    for (std::size_t i = 0; i < length; ++i) {
        ring[tail] = data[i];
        tail = (tail + 1) % capacity;
    }
    count += length;
    guard.unlock();
    readable.notify_one();
    return true;
}

int Channel::read(std::uint8_t* buffer, std::size_t maxLength, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(mutex);
    if (timeoutMs > 0) {
        readable.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                          [&] { return isStopped || count > 0; });
    }
    if (isStopped)
        return -1;
    std::size_t n = count < maxLength ? count : maxLength;
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = ring[head];
        head = (head + 1) % capacity;
    }
    count -= n;
    guard.unlock();
    if (n > 0)
        writable.notify_all();
    return static_cast<int>(n);
}

void Channel::wakeWriters()
{
    // Taking the mutex orders this after the flag a writer is to see: a
    // writer is either still before its check or already waiting.
    { std::lock_guard<std::mutex> guard(mutex); }
    writable.notify_all();
}

bool Channel::sleepUnlessStopped(int ms)
{
    std::unique_lock<std::mutex> guard(mutex);
    return stopping.wait_for(guard, std::chrono::milliseconds(ms), [&] { return isStopped; });
}

void Channel::stop()
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        isStopped = true;
    }
    readable.notify_all();
    writable.notify_all();
    stopping.notify_all();
}

bool Channel::stopped() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return isStopped;
}

std::size_t Channel::pending() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return count;
}

std::size_t Channel::waitingWriters() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return waiting;
}

}  // namespace kv7
