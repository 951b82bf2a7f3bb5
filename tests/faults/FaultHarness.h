// The link with its real threads, talking through the real POSIX serial
// code to the virtual controller on a pseudo-terminal, with a tap on the
// port that records what crossed the line, so a test can tell which
// replies arrived whole.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/AppModel.h"
#include "link/CommControl.h"
#include "protocol/PortCatalog.h"
#include "platform/posix/PosixSerialPort.h"
#include "sim/hosts/PtyHost.h"
#include "support/TestSupport.h"

namespace kv7::faults {

using test::Bytes;
using namespace std::chrono_literals;

// A POSIX serial port that keeps a copy of every byte read and counts the
// frames written.
class TapPort final : public SerialPort {
public:
    bool open(const char* device, std::uint32_t baud) override;
    void close() override;
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override;
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override;
    void wakeReader() override { port.wakeReader(); }

    Bytes received() const;
    void clearReceived();   // keeps the buffer, so nothing is freed or grown
    std::size_t receivedCount() const;
    std::size_t framesWritten() const;
    bool waitForFramesWritten(std::size_t count, std::chrono::milliseconds limit);
    bool waitForReceived(std::size_t count, std::chrono::milliseconds limit);

private:
    PosixSerialPort port;
    mutable std::mutex mutex;
    std::condition_variable changed;
    Bytes bytesRead;
    std::size_t frames = 0;
};

// Port 1 is the tap, opened on the given device path.
class TapCatalog final : public PortCatalog {
public:
    TapCatalog(TapPort* port, std::string device) : tap(port), path(std::move(device)) {}
    std::vector<PortEntry> entries() const override;
    bool resolve(std::uint32_t number, PortBinding& binding) override;

private:
    TapPort* tap;
    std::string path;
};

// A virtual controller with the given faults on a pseudo-terminal, and a
// threaded link pointed at it through the tap.
struct SimLink {
    explicit SimLink(const sim::FaultConfig& faults = {}, double timeScale = 1.0);
    explicit SimLink(const sim::PtyHost::Options& options);
    ~SimLink();

    static sim::PtyHost::Options hostOptions(const sim::FaultConfig& faults, double timeScale);

    // Connects and feeds the two ticks of the pause after the identify
    // reply as soon as that reply is in. True once the configuration has
    // arrived.
    bool connectAndConfigure(std::chrono::milliseconds limit = 5s);

    // Returns once every message written before it has been handled: while
    // the link is not ready, a refused command comes back as status 12.
    bool barrier();

    // The count the controller reports for each axis right now.
    MountState expectedReading();

    sim::PtyHost host;
    TapPort tap;
    TapCatalog catalog;
    test::RecordingListener listener;
    AppModel model;
    std::unique_ptr<CommControl> link;
};

// How many of a status were raised.
std::size_t countOf(const std::vector<std::uint32_t>& statuses, std::uint32_t status);

// Resources of this process.
std::size_t threadCount();       // entries of /proc/self/task
std::size_t openDescriptors();   // entries of /proc/self/fd
std::size_t heapInUse();         // bytes the allocator has handed out and not had back

}  // namespace kv7::faults
