// Helpers shared by the suites: a recording notification listener, a
// scripted fake controller behind the SerialPort seam, a byte-exact frame
// matcher, a fixed clock and a catalogue over test ports.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/Interfaces.h"
#include "protocol/PortCatalog.h"
#include "protocol/SerialPort.h"

namespace kv7::test {

using Bytes = std::vector<std::uint8_t>;

std::string hex(const Bytes& bytes);
Bytes unhex(const std::string& text);   // "AA 01 01" -> {0xAA, 0x01, 0x01}

// Passes when the frames are equal; otherwise names the first differing byte.
::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected);

// A reply frame 55 L payload.
Bytes reply(const Bytes& payload);

// Records every notification; waits are bounded so a broken link fails the
// test instead of hanging it.
class RecordingListener final : public iNotificationListener {
public:
    struct Configuration {
        std::uint32_t status = 0;
        std::uint32_t extra = 0;
        ControllerParameters parameters;
        AxisConfiguration axes;
    };

    void onStatus(std::uint32_t status) override;
    void onConfiguration(std::uint32_t status, std::uint32_t extra, const ControllerParameters& p,
                         const AxisConfiguration& a) override;
    void onMeridianFlipPrompt(std::int32_t kind) override;
    void onMountState(const MountState& m) override;

    std::vector<std::uint32_t> statuses() const;
    std::vector<std::int32_t> prompts() const;
    std::vector<Configuration> configurations() const;
    std::vector<MountState> mountStates() const;
    void clear();

    // True once status has been raised (at any time since the last clear).
    bool waitForStatus(std::uint32_t status, std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool waitForStatusCount(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool waitForMountStates(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool waitForPrompts(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool waitForConfiguration(std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::uint32_t> statusLog;
    std::vector<std::int32_t> promptLog;
    std::vector<Configuration> configurationLog;
    std::vector<MountState> mountStateLog;
};

// A controller in memory. Every frame the link writes is recorded; replies
// come from a script keyed by device command code: each write of that code
// takes the next scripted reply, and the last one keeps answering.
class FakeController final : public SerialPort {
public:
    bool open(const char* device, std::uint32_t baud) override;
    OpenError openError() const override;
    void close() override;
    std::size_t discardedAtClose() const override;
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override;
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override;
    void wakeReader() override;

    void respond(std::uint8_t commandCode, const Bytes& replyBytes);
    void respondOnce(std::uint8_t commandCode, const Bytes& replyBytes);
    void silence(std::uint8_t commandCode);
    void clearScript();
    // Answers of a sane controller to the whole connect sequence.
    void scriptConnect(std::uint32_t raMicrosteps = 2000000, std::uint32_t decMicrosteps = 1000000,
                       std::uint32_t raBaseSpeed = 1000, std::uint32_t decBaseSpeed = 1000,
                       std::uint16_t speedFactor = 50);

    // Bytes that arrive as if the controller had sent them.
    void inject(const Bytes& bytes);
    // Largest piece one read hands out (replies split across reads).
    void setChunkSize(std::size_t n);
    void setOpenResult(bool ok);
    void setOpenError(OpenError e);          // why a refused open failed
    void hangUp();                           // reads fail once what was sent is read
    void setWriteResult(bool ok);            // false: every write fails, as on a pulled device
    void setDiscardedAtClose(std::size_t n); // output a close had to throw away

    std::vector<Bytes> frames() const;
    Bytes lastFrame() const;
    std::size_t frameCount() const;
    void clearFrames();
    bool waitForFrames(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    bool isOpen() const;
    std::uint32_t lastBaud() const;
    std::string lastDevice() const;
    int openCount() const;

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<Bytes> written;
    std::map<std::uint8_t, std::deque<Bytes>> script;
    std::map<std::uint8_t, bool> once;
    std::deque<std::uint8_t> pending;
    std::size_t chunk = 128;
    bool openResult = true;
    bool writeResult = true;
    bool hungUp = false;
    OpenError failure = OpenError::CannotOpen;
    std::size_t discardAtClose = 0;
    bool opened = false;
    bool woken = false;
    int opens = 0;
    std::uint32_t baudRate = 0;
    std::string device;
};

class FixedClock final : public iUtcClock {
public:
    explicit FixedClock(UtcTime t = {}) : instant(t) {}
    UtcTime now() const override;
    void set(const UtcTime& t);

private:
    mutable std::mutex mutex;
    UtcTime instant;
};

// Numbers 1..N map to the given ports; 0 maps to a "simulated" port when set.
class TestCatalog final : public PortCatalog {
public:
    void add(std::uint32_t number, SerialPort* port, const std::string& device = "test-port",
             bool simulated = false);
    std::vector<PortEntry> entries() const override;
    bool resolve(std::uint32_t number, PortBinding& binding) override;

private:
    struct Slot {
        SerialPort* port;
        std::string device;
        bool simulated;
    };
    std::map<std::uint32_t, Slot> portSlots;
};

}  // namespace kv7::test
