#include "FaultHarness.h"

#include <cstring>
#include <filesystem>
#include <thread>

#include <malloc.h>

#include "link/LinkTypes.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KV7_SANITIZED_HEAP 1
// The sanitizers replace malloc, and mallinfo2 no longer sees their heap.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace kv7::faults {

bool TapPort::open(const char* device, std::uint32_t baud) { return port.open(device, baud); }

void TapPort::close() { port.close(); }

bool TapPort::write(const std::uint8_t* data, std::size_t length, int timeoutMs)
{
    const bool ok = port.write(data, length, timeoutMs);
    {
        std::lock_guard<std::mutex> guard(mutex);
        ++frames;
    }
    changed.notify_all();
    return ok;
}

int TapPort::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    const int n = port.read(buffer, capacity, timeoutMs);
    if (n > 0) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            bytesRead.insert(bytesRead.end(), buffer, buffer + n);
        }
        changed.notify_all();
    }
    return n;
}

Bytes TapPort::received() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return bytesRead;
}

void TapPort::clearReceived()
{
    std::lock_guard<std::mutex> guard(mutex);
    bytesRead.clear();
}

std::size_t TapPort::receivedCount() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return bytesRead.size();
}

std::size_t TapPort::framesWritten() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return frames;
}

bool TapPort::waitForFramesWritten(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> guard(mutex);
    return changed.wait_for(guard, limit, [&] { return frames >= count; });
}

bool TapPort::waitForReceived(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> guard(mutex);
    return changed.wait_for(guard, limit, [&] { return bytesRead.size() >= count; });
}

std::vector<PortEntry> TapCatalog::entries() const { return {PortEntry{1, "tap", path, {}}}; }

bool TapCatalog::resolve(std::uint32_t number, PortBinding& binding)
{
    if (number != 1 || path.size() >= sizeof binding.device)
        return false;
    std::memcpy(binding.device, path.c_str(), path.size() + 1);
    binding.port = tap;
    binding.simulated = false;
    return true;
}

sim::PtyHost::Options SimLink::hostOptions(const sim::FaultConfig& faults, double timeScale)
{
    sim::PtyHost::Options o;
    o.config.faults = faults;
    o.timeScale = timeScale;
    return o;
}

namespace {

// The device path of a freshly started host; empty if it could not start.
std::string startedPath(sim::PtyHost& host)
{
    std::string error;
    if (!host.start(&error)) {
        ADD_FAILURE() << "no pseudo-terminal: " << error;
        return {};
    }
    return host.path();
}

}  // namespace

SimLink::SimLink(const sim::FaultConfig& faults, double timeScale) : SimLink(hostOptions(faults, timeScale)) {}

SimLink::SimLink(const sim::PtyHost::Options& options) : host(options), catalog(&tap, startedPath(host))
{
    CommControl::Options o;
    o.settleMs = 5;
    link = std::make_unique<CommControl>(&listener, &model, &catalog, o);
}

SimLink::~SimLink()
{
    // The link goes first: its reader must not outlive the terminal.
    link.reset();
    host.stop();
}

bool SimLink::connectAndConfigure(std::chrono::milliseconds limit)
{
    const std::size_t configurations = listener.configurations().size();
    const std::size_t frames = tap.framesWritten();
    const std::size_t bytes = tap.receivedCount();
    link->connect(1, 9600);
    // The identify reply (7 bytes) must be in before the pause's ticks count.
    if (!tap.waitForFramesWritten(frames + 1, limit) || !tap.waitForReceived(bytes + 7, limit))
        return false;
    for (int i = 0; i < 30 && tap.framesWritten() < frames + 2 && link->isPortOpen(); ++i) {
        link->onHeartBeat();
        tap.waitForFramesWritten(frames + 2, 5ms);
    }
    auto configured = [&] { return listener.configurations().size() > configurations; };
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!configured() && std::chrono::steady_clock::now() < deadline)
        listener.waitForConfiguration(10ms);
    if (!configured())
        return false;
    // The worker sets linkReady just after the notification returns.
    while (!link->isLinkReady() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    return link->isLinkReady();
}

bool SimLink::barrier()
{
    const std::size_t before = countOf(listener.statuses(), Status::NotConnectedYet);
    link->storeParameters();
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (countOf(listener.statuses(), Status::NotConnectedYet) == before) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        listener.waitForStatusCount(listener.statuses().size() + 1, 50ms);
    }
    return true;
}

MountState SimLink::expectedReading()
{
    return host.withController([](sim::VirtualController& c) {
        MountState m;
        m.valid = 1;
        m.raEncoderPosition = c.encoderReading(sim::Axis::Ra);
        m.decEncoderPosition = c.encoderReading(sim::Axis::Dec);
        return m;
    });
}

std::size_t countOf(const std::vector<std::uint32_t>& statuses, std::uint32_t status)
{
    std::size_t n = 0;
    for (std::uint32_t s : statuses)
        n += s == status;
    return n;
}

namespace {

std::size_t entriesOf(const char* dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

}  // namespace

std::size_t threadCount() { return entriesOf("/proc/self/task"); }

std::size_t openDescriptors() { return entriesOf("/proc/self/fd"); }

std::size_t heapInUse()
{
#ifdef KV7_SANITIZED_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

}  // namespace kv7::faults
