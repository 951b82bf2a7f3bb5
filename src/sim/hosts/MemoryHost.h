// The virtual controller behind an in-memory serial port, for tests: hand
// it to a CommControl through a small PortCatalog and the link's real
// framer and state machine talk to the simulator with no OS device at all.
// Simulated time moves only when the test calls advance().
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "protocol/SerialPort.h"
#include "sim/engine/VirtualController.h"

namespace kv7::sim {

class MemoryHost final : public SerialPort {
public:
    explicit MemoryHost(const SimConfig& config = {});

    // SerialPort. open() fails once the device has vanished; read()
    // returns -1 when closed, or once a vanished device has sent its last byte.
    bool open(const char* device, std::uint32_t baud) override;
    void close() override;
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override;
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override;
    void wakeReader() override;

    // Moves the simulator's clock on; wakes a waiting read() when replies fall due.
    void advance(double seconds);

    // Runs f(VirtualController&) under the host's lock and returns its result.
    template <class F>
    auto withController(F&& f)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return f(controller);
    }

    bool isOpen() const;
    int timesOpened() const;

private:
    bool gone() const { return controller.vanished() && !controller.hasQueuedOutput(); }

    mutable std::mutex mutex;
    std::condition_variable readable;
    VirtualController controller;
    bool opened = false;
    bool woken = false;
    int openCount = 0;
};

}  // namespace kv7::sim
