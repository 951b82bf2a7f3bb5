#include "sim/hosts/win32/PipeSimulator.h"

#include <cstring>

namespace kv7::sim {

namespace {

// The previous client's close reaches the host as a failed read; it then
// listens again at once. This only bounds a host that never comes back.
constexpr auto listenLimit = std::chrono::milliseconds(2000);

}  // namespace

PipeSimulator::PipeSimulator() : PipeSimulator(PipeHost::Options{}) {}

PipeSimulator::PipeSimulator(const PipeHost::Options& o) : options(o) {}

PipeSimulator::~PipeSimulator() { port.close(); }

bool PipeSimulator::bind(PortBinding& binding)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (pipeHost && pipeHost->hungUp()) {
        port.close();
        pipeHost.reset();
    }
    if (!pipeHost) {
        auto fresh = std::make_unique<PipeHost>(options);
        if (!fresh->start())
            return false;
        pipeHost = std::move(fresh);
    }
    const std::string& path = pipeHost->path();
    if (path.size() >= sizeof binding.device || !pipeHost->waitUntilListening(listenLimit))
        return false;
    std::memset(binding.device, 0, sizeof binding.device);
    std::memcpy(binding.device, path.data(), path.size());
    binding.port = &port;
    binding.simulated = true;
    return true;
}

PipeHost* PipeSimulator::host()
{
    std::lock_guard<std::mutex> guard(mutex);
    return pipeHost.get();
}

}  // namespace kv7::sim
