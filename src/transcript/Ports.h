// The transcript at the seams the link already has: a catalogue that hands
// out its ports wrapped in a recorder, and a port (with its catalogue)
// that plays a recording back in process. The link's own code is unchanged.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/PortCatalog.h"
#include "protocol/SerialPort.h"
#include "transcript/Recorder.h"
#include "transcript/Replay.h"

namespace kv7::transcript {

// Passes everything to the port it wraps, and records what is written
// (before it goes) and what is read.
class RecordingPort final : public SerialPort {
public:
    explicit RecordingPort(Recorder& recorder) : recorder(recorder) {}
    void wrap(SerialPort* port) { inner = port; }

    bool open(const char* device, std::uint32_t baud) override;
    OpenError openError() const override { return inner->openError(); }
    void close() override;
    std::size_t discardedAtClose() const override { return inner->discardedAtClose(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override;
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override;
    void wakeReader() override { inner->wakeReader(); }

private:
    Recorder& recorder;
    SerialPort* inner = nullptr;
};

// Another catalogue's ports, recorded. The link holds one port at a time,
// so one wrapper serves every connect.
class RecordingCatalog final : public PortCatalog {
public:
    RecordingCatalog(PortCatalog& inner, Recorder& recorder) : inner(inner), port(recorder) {}
    std::vector<PortEntry> entries() const override { return inner.entries(); }
    bool resolve(std::uint32_t number, PortBinding& binding) override;

private:
    PortCatalog& inner;
    RecordingPort port;
};

// A serial port whose far end is a ReplayEngine: what the link writes is
// compared with the recording, and the recorded answers are read back.
class ReplayPort final : public SerialPort {
public:
    explicit ReplayPort(ReplayScript script) : engine(std::move(script)) {}

    bool open(const char* device, std::uint32_t baud) override;
    void close() override;
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override;
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override;
    void wakeReader() override;

    // The first request that differed, if any, and whether every recorded
    // request came.
    std::optional<ReplayDifference> difference() const;
    bool complete() const;

private:
    mutable std::mutex lock;
    std::condition_variable ready;
    ReplayEngine engine;
    bool wake = false;
};

// Every port number resolves to the one replay port.
class ReplayCatalog final : public PortCatalog {
public:
    explicit ReplayCatalog(ReplayPort& port) : port(port) {}
    std::vector<PortEntry> entries() const override;
    bool resolve(std::uint32_t number, PortBinding& binding) override;

private:
    ReplayPort& port;
};

}  // namespace kv7::transcript
