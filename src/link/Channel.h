// The internal byte channel: many writers, one reader (the link worker).
// Writers block while the buffer is full, so nothing is ever dropped; the
// reader waits with a time-out. stop() releases every waiter for shutdown.
// Each write lands whole, never interleaved with another writer's bytes, so
// a message needs no lock of its own: a writer waiting for room holds
// nothing that another thread could be queued behind.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace kv7 {

class Channel {
public:
    static constexpr std::size_t capacity = 1024;

    // Appends all length bytes (length <= capacity) as one piece, waiting
    // while there is no room. False once the channel has been stopped, or
    // when giveUp (if given) is set while there is still no room.
    bool write(const std::uint8_t* data, std::size_t length, const std::atomic<bool>* giveUp = nullptr);

    // Makes writers waiting for room look at their giveUp flag again.
    void wakeWriters();

    // Takes up to maxLength bytes, waiting up to timeoutMs for the first.
    // Returns the count, 0 on time-out, -1 once stopped.
    int read(std::uint8_t* buffer, std::size_t maxLength, int timeoutMs);

    // Waits up to ms milliseconds; returns early, with true, when stopped.
    bool sleepUnlessStopped(int ms);

    void stop();
    bool stopped() const;
    std::size_t pending() const;
    // How many writers are waiting for room right now (tests use it to know
    // that a writer has blocked, instead of sleeping).
    std::size_t waitingWriters() const;

private:
    mutable std::mutex mutex;
    std::condition_variable readable;
    std::condition_variable writable;
    std::condition_variable stopping;
    std::uint8_t ring[capacity] = {};
    std::size_t head = 0;   // next byte to read
    std::size_t count = 0;
    std::size_t waiting = 0;
    bool isStopped = false;
};

}  // namespace kv7
