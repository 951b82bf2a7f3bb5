// What a live view costs the line and the link: the window refreshes the
// encoder and motor rows by itself, one reading every 500 ms, encoders and
// axes in turn. Runs the real link (without threads) against the virtual
// controller in memory and counts every byte each way, and every heap
// allocation the link makes per refresh once it is connected.
//
//   bench_liveview [refreshes]      (default 2000)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/AppModel.h"
#include "link/CommControl.h"
#include "sim/hosts/MemoryHost.h"
#include "BenchSupport.h"

namespace {

using kv7::bench::OnePort;
using kv7::bench::Quiet;
using kv7::bench::connectWithoutThreads;
using kv7::bench::settle;
using kv7::bench::unthreaded;

std::atomic<long> allocations{0};

}  // namespace

void* operator new(std::size_t n)
{
    ++allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

// Counts the bytes that cross the line each way.
class CountingPort final : public kv7::SerialPort {
public:
    explicit CountingPort(kv7::SerialPort& inner) : port(inner) {}
    bool open(const char* device, std::uint32_t baud) override { return port.open(device, baud); }
    void close() override { port.close(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override
    {
        sent += length;
        return port.write(data, length, timeoutMs);
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        const int n = port.read(buffer, capacity, timeoutMs);
        if (n > 0)
            received += static_cast<std::size_t>(n);
        return n;
    }
    std::size_t sent = 0;
    std::size_t received = 0;

private:
    kv7::SerialPort& port;
};

// Answers the two readings from fixed buffers, so that any allocation left
// to count is the link's own.
class FixedAnswers final : public kv7::SerialPort {
public:
    // Until fixed() the simulator answers (the connect sequence); then the
    // readings come from the buffers below.
    explicit FixedAnswers(kv7::sim::MemoryHost& simulator) : inner(simulator) {}
    void fix() { fixedNow = true; }
    bool open(const char* device, std::uint32_t baud) override { return inner.open(device, baud); }
    void close() override { inner.close(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override
    {
        if (!fixedNow)
            return inner.write(data, length, timeoutMs);
        static const std::uint8_t encoders[] = {0x55, 9, 122, 1, 0, 0, 0, 2, 0, 0, 0};
        static const std::uint8_t axes[] = {0x55, 12, 31, 192, 0, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0};
        if (length >= 3 && data[2] == 122)
            queue(encoders, sizeof encoders);
        else if (length >= 3 && data[2] == 31)
            queue(axes, sizeof axes);
        return true;
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        if (!fixedNow)
            return inner.read(buffer, capacity, timeoutMs);
        std::size_t n = 0;
        while (n < capacity && head < tail)
            buffer[n++] = bytes[head++];
        return static_cast<int>(n);
    }

private:
    void queue(const std::uint8_t* reply, std::size_t length)
    {
        head = 0;
        tail = length;
        for (std::size_t i = 0; i < length; ++i)
            bytes[i] = reply[i];
    }
    kv7::sim::MemoryHost& inner;
    bool fixedNow = false;
    std::uint8_t bytes[32] = {};
    std::size_t head = 0;
    std::size_t tail = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    const long refreshes = argc > 1 ? std::atol(argv[1]) : 2000;
    kv7::sim::MemoryHost host;
    CountingPort port(host);
    OnePort catalog(&port);
    Quiet listener;
    kv7::AppModel model;
    kv7::CommControl link(&listener, &model, &catalog, unthreaded());

    if (!connectWithoutThreads(link, host, listener)) {
        std::fprintf(stderr, "bench_liveview: the simulator never connected\n");
        return 1;
    }

    port.sent = port.received = 0;
    const long before = allocations.load();
    for (long r = 0; r < refreshes; ++r) {
        link.readEncoders(r % 2 == 0 ? kv7::ReadMode::Encoders : kv7::ReadMode::Axes);
        settle(link, host);
        if (r % 2 == 1)
            link.onHeartBeat();   // time passes on the link too
    }
    const long linkAllocations = allocations.load() - before;

    const double bytes = static_cast<double>(port.sent + port.received);
    const double perRefresh = bytes / static_cast<double>(refreshes);
    const double perSecond = perRefresh * 2.0;   // a refresh every 500 ms
    const double line9600 = 960.0;                // 8N1: ten bits a byte
    std::printf("live view: %ld refreshes, %ld readings delivered\n", refreshes, listener.readings);
    std::printf("  bytes on the line per refresh   %.1f (sent %.1f, received %.1f)\n", perRefresh,
                static_cast<double>(port.sent) / refreshes, static_cast<double>(port.received) / refreshes);
    std::printf("  at two refreshes a second       %.1f bytes/s = %.1f %% of a 9600 baud line\n", perSecond,
                100.0 * perSecond / line9600);
    std::printf("  heap allocations per refresh    %.3f (link and simulator together)\n",
                static_cast<double>(linkAllocations) / refreshes);

    // The link alone: connected through the simulator, then answered from
    // fixed buffers, so that every allocation counted is the link's.
    kv7::sim::MemoryHost connectHost;
    FixedAnswers fixed(connectHost);
    OnePort fixedCatalog(&fixed);
    Quiet alone;
    kv7::CommControl bare(&alone, &model, &fixedCatalog, unthreaded());
    connectWithoutThreads(bare, connectHost, alone);
    fixed.fix();
    const long start = allocations.load();
    const auto began = std::chrono::steady_clock::now();
    for (long r = 0; r < refreshes; ++r) {
        bare.readEncoders(r % 2 == 0 ? kv7::ReadMode::Encoders : kv7::ReadMode::Axes);
        while (bare.pollSerial() + bare.pump() > 0) {
        }
        if (r % 2 == 1)
            bare.onHeartBeat();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("  heap allocations per refresh    %.3f (the link alone, %ld readings)\n",
                static_cast<double>(allocations.load() - start) / refreshes, alone.readings);
    // The worker's own time for a refresh, run back to back on one thread:
    // what two refreshes a second add to an idle link, without the threads'
    // wake-ups (two more a second each for the worker and the reader).
    std::printf("  link time per refresh           %.2f us = %.4f %% of one core at two a second\n",
                1e6 * seconds / refreshes, 100.0 * 2.0 * seconds / refreshes);
    return listener.readings == refreshes ? 0 : 1;
}
