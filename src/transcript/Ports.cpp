#include "transcript/Ports.h"

#include <chrono>
#include <cstring>

namespace kv7::transcript {

bool RecordingPort::open(const char* device, std::uint32_t baud)
{
    if (!inner->open(device, baud))
        return false;
    recorder.opened(device);
    return true;
}

void RecordingPort::close()
{
    inner->close();
    recorder.closed();
}

bool RecordingPort::write(const std::uint8_t* data, std::size_t length, int timeoutMs)
{
    recorder.record(Direction::ToController, data, length);
    return inner->write(data, length, timeoutMs);
}

int RecordingPort::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    const int n = inner->read(buffer, capacity, timeoutMs);
    if (n > 0)
        recorder.record(Direction::ToHost, buffer, static_cast<std::size_t>(n));
    return n;
}

bool RecordingCatalog::resolve(std::uint32_t number, PortBinding& binding)
{
    if (!inner.resolve(number, binding) || !binding.port)
        return false;
    port.wrap(binding.port);
    binding.port = &port;
    return true;
}

bool ReplayPort::open(const char*, std::uint32_t)
{
    const std::lock_guard<std::mutex> guard(lock);
    engine.open();
    wake = false;
    return true;
}

void ReplayPort::close() {}

bool ReplayPort::write(const std::uint8_t* data, std::size_t length, int)
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        engine.receive(data, length);
    }
    ready.notify_all();
    return true;
}

int ReplayPort::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(lock);
    ready.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return wake || engine.hasOutput(); });
    wake = false;
    return static_cast<int>(engine.read(buffer, capacity));
}

void ReplayPort::wakeReader()
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        wake = true;
    }
    ready.notify_all();
}

std::optional<ReplayDifference> ReplayPort::difference() const
{
    const std::lock_guard<std::mutex> guard(lock);
    return engine.difference();
}

bool ReplayPort::complete() const
{
    const std::lock_guard<std::mutex> guard(lock);
    return engine.complete();
}

std::vector<PortEntry> ReplayCatalog::entries() const
{
    PortEntry e;
    e.name = "Replay";
    e.device = "replay";
    return {e};
}

bool ReplayCatalog::resolve(std::uint32_t, PortBinding& binding)
{
    binding.port = &port;
    std::strncpy(binding.device, "replay", sizeof binding.device - 1);
    return true;
}

}  // namespace kv7::transcript
