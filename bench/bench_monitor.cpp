// The live encoder monitor's share of the line: the window's thread asks
// for the next reading as soon as the last one is in, the encoders and the
// motor axes in turn, through the real link, AppModel and the real
// heartbeat, against kv7sim pacing its pseudo-terminal at a serial line's
// speed (--line-rate, 8N1, both ways). Reports exchanges per second (one
// request and its reply each) beside what the wire allows for the same
// frames: (request bytes + reply bytes) x 10 bits / baud per exchange.
// Beside it, a plain blocking loop (one thread, the same two requests)
// against the same controller shows how fast the controller itself lets
// exchanges go. The machine's speed drifts from second to second, so the
// two take turns in blocks (the link lets go of the port while the loop
// has it) and each figure is the median of its blocks.
//
// usage: bench_monitor [--seconds S] [--blocks N] [--sim PATH] [RATE...]   (default 9600 115200)
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/AppModel.h"
#include "app/HeartBeatTimer.h"
#include "link/CommControl.h"
#include "platform/posix/PosixSerialPort.h"
#include "protocol/DeviceProtocol.h"

extern char** environ;

namespace {

std::atomic<std::uint64_t> allocationCount{0};

void* allocate(std::size_t n)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n ? n : 1))
        return p;
    std::abort();
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The window's thread: the model posts to it, it takes each reading over
// as the window's dispatch does, and asks for the next.
class Window final : public kv7::iWMUserSender {
public:
    void postUserMessage(std::uint32_t code, std::uint32_t value) override
    {
        {
            const std::lock_guard<std::mutex> guard(mutex);
            if (code == kv7::NotifyMountState)
                ++readings;
            else if (code == kv7::NotifyConfiguration)
                ++configurations;
            else if (code == kv7::NotifyStatus && value == kv7::Status::ConnectionClosed)
                ++closed;
        }
        changed.notify_all();
    }
    bool waitForReadings(std::uint64_t count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, limit, [&] { return readings >= count; });
    }
    bool waitForConfigurations(std::uint64_t count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, limit, [&] { return configurations >= count; });
    }
    bool waitForClosed(std::uint64_t count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, limit, [&] { return closed >= count; });
    }
    std::uint64_t readingCount()
    {
        const std::lock_guard<std::mutex> guard(mutex);
        return readings;
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t readings = 0;
    std::uint64_t configurations = 0;
    std::uint64_t closed = 0;
};

// The POSIX port, counting bytes each way and timing the link's turnaround:
// from the last byte of a reply read to the next request written.
class CountingPort final : public kv7::SerialPort {
public:
    static constexpr std::size_t maxGaps = 1 << 16;

    CountingPort()
    {
        gaps.reserve(maxGaps);
        exchangeTimes.reserve(maxGaps);
        exchangeKinds.reserve(maxGaps);
    }
    bool open(const char* device, std::uint32_t baud) override { return port.open(device, baud); }
    void close() override { port.close(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override
    {
        const auto now = Clock::now();
        if (timing && gaps.size() < maxGaps && lastRead > lastWrite && lastWrite != Clock::time_point{}) {
            gaps.push_back(std::chrono::duration<double, std::micro>(now - lastRead).count());
            exchangeTimes.push_back(std::chrono::duration<double, std::micro>(lastRead - lastWrite).count());
            exchangeKinds.push_back(lastWriteLength == encodersRequestLength ? 0 : 1);
        }
        lastWrite = now;
        lastWriteLength = length;
        sent += length;
        return port.write(data, length, timeoutMs);
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        const int n = port.read(buffer, capacity, timeoutMs);
        if (n > 0) {
            received += static_cast<std::size_t>(n);
            lastRead = Clock::now();
        }
        return n;
    }
    void wakeReader() override { port.wakeReader(); }

    // Written by the link's threads one at a time (the link hands the line
    // from one to the next under its own lock); read after the run.
    std::atomic<std::size_t> sent{0};
    std::atomic<std::size_t> received{0};
    std::atomic<bool> timing{false};
    std::vector<double> gaps;
    std::vector<double> exchangeTimes;   // request written to the reply's last byte read
    std::vector<int> exchangeKinds;      // 0 the encoders, 1 the motor axes

private:
    kv7::PosixSerialPort port;
    Clock::time_point lastRead{};
    Clock::time_point lastWrite{};
    std::size_t lastWriteLength = 0;
    static constexpr std::size_t encodersRequestLength = 4;
};

class OnePortCatalog final : public kv7::PortCatalog {
public:
    OnePortCatalog(kv7::SerialPort* p, std::string d) : port(p), device(std::move(d)) {}
    std::vector<kv7::PortEntry> entries() const override { return {{1, "sim", device, {}}}; }
    bool resolve(std::uint32_t number, kv7::PortBinding& binding) override
    {
        if (number != 1 || device.size() >= sizeof binding.device)
            return false;
        std::memcpy(binding.device, device.c_str(), device.size() + 1);
        binding.port = port;
        return true;
    }

private:
    kv7::SerialPort* port;
    std::string device;
};

// Starts kv7sim and returns its device path (its first line); empty when
// it would not start, e.g. without --line-rate.
std::string startSimulator(const std::vector<std::string>& args, pid_t& pid)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string line;
    char c;
    while (rc == 0 && ::read(fds[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(fds[0]);
    return line;
}

void stopSimulator(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

double medianOf(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

struct Result {
    bool ok = false;
    double bytesPerExchange = 0;
    double wireLimit = 0;                 // exchanges per second the wire allows
    std::vector<double> linkPerSecond;    // one a block
    std::vector<double> plainPerSecond;   // the plain loop's block before each of the link's
    double turnaroundUs = 0;              // median, last reply byte read to next request written
    double exchangeUs[2] = {};            // median, request written to the reply's last byte read: encoders, axes
    double allocationsPerReading = 0;
};

// Readings, encoders and axes in turn, each asked for as soon as the one
// before is in, for the given time; exchanges per second, or 0.
double monitor(kv7::AppModel& model, kv7::CommControl& link, Window& window, CountingPort& port,
               Clock::duration length, std::uint64_t& allocations, std::uint64_t& readings, std::size_t& bytes,
               bool timed = true)
{
    std::uint64_t seen = window.readingCount();
    const std::size_t sent = port.sent, received = port.received;
    const std::uint64_t allocationsBefore = allocationCount.load();
    port.timing = timed;
    const auto start = Clock::now();
    std::uint64_t exchanges = 0;
    while (Clock::now() - start < length) {
        link.readEncoders(exchanges % 2 == 0 ? kv7::ReadMode::Encoders : kv7::ReadMode::Axes);
        if (!window.waitForReadings(++seen, 2s))
            return 0;
        model.dispatchUserMessage(kv7::NotifyMountState, 0);
        ++exchanges;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    port.timing = false;
    allocations += allocationCount.load() - allocationsBefore;
    readings += exchanges;
    bytes += port.sent - sent + port.received - received;
    return exchanges / seconds;
}

// Reads one reply frame (55 L and L bytes) within the time limit.
bool readReply(kv7::PosixSerialPort& port, std::uint8_t* frame)
{
    std::size_t have = 0, want = 2;
    const auto deadline = Clock::now() + 2s;
    while (have < want && Clock::now() < deadline) {
        const int n = port.read(frame + have, want - have, 100);
        if (n < 0)
            return false;
        have += static_cast<std::size_t>(n);
        if (have >= 2)
            want = 2 + std::size_t{frame[1]};
    }
    return have == want;
}

// The yardstick: one thread writing the same two requests in turn and
// blocking for each reply, as fast as the paced controller answers.
double plainLoop(const std::string& device, std::uint32_t rate, Clock::duration length)
{
    kv7::PosixSerialPort port;
    if (!port.open(device.c_str(), rate))
        return 0;
    std::uint8_t requests[2][16];
    const std::uint32_t one[] = {1};
    const std::uint32_t axes[] = {1, kv7::axisBoth};
    const std::size_t sizes[2] = {kv7::encodeCommand(requests[0], kv7::DeviceCommand::ReadEncoders, one),
                                  kv7::encodeCommand(requests[1], kv7::DeviceCommand::ReadAxisPositions, axes)};
    std::uint8_t reply[2 + 256];
    std::uint64_t exchanges = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < length) {
        const int k = static_cast<int>(exchanges % 2);
        if (!port.write(requests[k], sizes[k], 1000) || !readReply(port, reply))
            return 0;
        ++exchanges;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    port.close();
    return exchanges / seconds;
}

Result runAtRate(const std::string& sim, std::uint32_t rate, Clock::duration length, int blocks)
{
    Result r;
    pid_t pid = -1;
    const std::string device = startSimulator({sim, "--line-rate", std::to_string(rate)}, pid);
    if (device.empty()) {
        std::printf("  %u baud: kv7sim would not start with --line-rate %u\n", rate, rate);
        stopSimulator(pid);
        return r;
    }
    kv7::AppModel model;
    Window window;
    model.setSender(&window);
    CountingPort port;
    OnePortCatalog catalog(&port, device);
    kv7::CommControl::Options options;
    options.settleMs = 20;   // reconnects between blocks; the line is quiet then anyway
    kv7::CommControl link(&model, &model, &catalog, options);
    model.setControl(&link);
    kv7::HeartBeatTimer heartbeat;
    heartbeat.setListener(&link);
    heartbeat.start();
    std::uint64_t allocations = 0, readings = 0;
    std::size_t bytes = 0;
    int configurations = 0;
    bool ok = true;
    for (int b = 0; b < blocks && ok; ++b) {
        const double plain = plainLoop(device, rate, length / blocks);
        model.connect(1, rate);
        ok = plain > 0 && window.waitForConfigurations(++configurations, 30s);
        std::uint64_t warmAllocations = 0, warmReadings = 0;
        std::size_t warmBytes = 0;
        ok = ok && monitor(model, link, window, port, 200ms, warmAllocations, warmReadings, warmBytes, false) > 0;
        const double perSecond = ok ? monitor(model, link, window, port, length / blocks, allocations, readings, bytes) : 0;
        ok = ok && perSecond > 0;
        r.plainPerSecond.push_back(plain);
        r.linkPerSecond.push_back(perSecond);
        link.disconnect();
        ok = ok && window.waitForClosed(b + 1, 5s);
    }
    heartbeat.clearListener();
    heartbeat.stop();
    link.stopThreads();
    stopSimulator(pid);
    r.ok = ok && readings > 0;
    if (!r.ok)
        return r;
    r.allocationsPerReading = static_cast<double>(allocations) / readings;
    r.bytesPerExchange = static_cast<double>(bytes) / readings;
    r.wireLimit = rate / 10.0 / r.bytesPerExchange;
    r.turnaroundUs = medianOf(port.gaps);
    std::vector<double> kinds[2];
    for (std::size_t i = 0; i < port.exchangeTimes.size(); ++i)
        kinds[port.exchangeKinds[i]].push_back(port.exchangeTimes[i]);
    r.exchangeUs[0] = medianOf(kinds[0]);
    r.exchangeUs[1] = medianOf(kinds[1]);
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string sim = KV7SIM_PATH;
    double seconds = 10;
    int blocks = 5;
    std::vector<std::uint32_t> rates;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--seconds" && i + 1 < argc)
            seconds = std::max(1.0, std::atof(argv[++i]));
        else if (a == "--blocks" && i + 1 < argc)
            blocks = std::max(1, std::atoi(argv[++i]));
        else if (a == "--sim" && i + 1 < argc)
            sim = argv[++i];
        else if (std::atoi(a.c_str()) > 0)
            rates.push_back(static_cast<std::uint32_t>(std::atoi(a.c_str())));
        else {
            std::fprintf(stderr, "usage: %s [--seconds S] [--blocks N] [--sim PATH] [RATE...]\n", argv[0]);
            return 2;
        }
    }
    if (rates.empty())
        rates = {9600, 115200};

    std::printf("live monitor against kv7sim --line-rate, encoders and axes in turn, %.0f s per rate for each of the "
                "link and a plain loop, taking turns in %d blocks:\n", seconds, blocks);
    bool allOk = true;
    for (std::uint32_t rate : rates) {
        const auto length = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        const Result r = runAtRate(sim, rate, length, blocks);
        if (!r.ok) {
            std::printf("  %6u baud: no result\n", rate);
            allOk = false;
            continue;
        }
        std::vector<double> linkShares, plainShares, ratios;
        for (std::size_t b = 0; b < r.linkPerSecond.size(); ++b) {
            linkShares.push_back(100.0 * r.linkPerSecond[b] / r.wireLimit);
            plainShares.push_back(100.0 * r.plainPerSecond[b] / r.wireLimit);
            ratios.push_back(100.0 * r.linkPerSecond[b] / r.plainPerSecond[b]);
        }
        auto range = [](const std::vector<double>& v) {
            char text[64];
            std::snprintf(text, sizeof text, "%.1f to %.1f", *std::min_element(v.begin(), v.end()),
                          *std::max_element(v.begin(), v.end()));
            return std::string(text);
        };
        const double share = medianOf(linkShares);
        std::printf("  %6u baud: the link %7.1f exchanges/s, wire limit %7.1f/s (%.1f bytes each): %5.1f %% "
                    "(blocks %s %%)   target >= 95 %%: %s\n",
                    rate, medianOf(r.linkPerSecond), r.wireLimit, r.bytesPerExchange, share,
                    range(linkShares).c_str(), share >= 95.0 ? "met" : "MISSED");
        std::printf("          plain blocking loop against the same controller: %.1f exchanges/s, %.1f %% of the wire "
                    "(blocks %s %%); the link: %.1f %% of it (blocks %s %%)\n", medianOf(r.plainPerSecond),
                    medianOf(plainShares), range(plainShares).c_str(), medianOf(ratios), range(ratios).c_str());
        std::printf("          medians: request written to the reply's last byte read, encoders %.1f us (the wire "
                    "alone: %.1f us), axes %.1f us (%.1f us); from there to the next request written (link and "
                    "window) %.1f us\n", r.exchangeUs[0], 150e6 / rate, r.exchangeUs[1], 190e6 / rate,
                    r.turnaroundUs);
        std::printf("          heap allocations per reading: %.2f\n", r.allocationsPerReading);
        allOk = allOk && share >= 95.0;
    }
    return allOk ? 0 : 1;
}
