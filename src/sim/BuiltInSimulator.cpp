#include "sim/BuiltInSimulator.h"

#include <cstring>

namespace kv7::sim {

BuiltInSimulator::BuiltInSimulator() : BuiltInSimulator(PtyHost::Options{}) {}

BuiltInSimulator::BuiltInSimulator(const PtyHost::Options& o) : options(o) {}

BuiltInSimulator::~BuiltInSimulator() { port.close(); }

bool BuiltInSimulator::bind(PortBinding& binding)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (ptyHost && ptyHost->hungUp()) {
        port.close();
        ptyHost.reset();
    }
    if (!ptyHost) {
        auto fresh = std::make_unique<PtyHost>(options);
        if (!fresh->start())
            return false;
        ptyHost = std::move(fresh);
    }
    const std::string& path = ptyHost->path();
    if (path.size() >= sizeof binding.device)
        return false;
    std::memset(binding.device, 0, sizeof binding.device);
    std::memcpy(binding.device, path.data(), path.size());
    binding.port = &port;
    binding.simulated = true;
    return true;
}

PtyHost* BuiltInSimulator::host()
{
    std::lock_guard<std::mutex> guard(mutex);
    return ptyHost.get();
}

}  // namespace kv7::sim
