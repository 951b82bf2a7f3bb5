#include "support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "protocol/DeviceProtocol.h"

namespace kv7::test {

std::string hex(const Bytes& bytes)
{
    std::string s;
    char b[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        if (i)
            s += ' ';
        s += b;
    }
    return s;
}

Bytes unhex(const std::string& text)
{
    Bytes out;
    unsigned value = 0;
    int digits = 0;
    for (char c : text) {
        int v = -1;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        if (v < 0)
            continue;
        value = value * 16 + static_cast<unsigned>(v);
        if (++digits == 2) {
            out.push_back(static_cast<std::uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return out;
}

::testing::AssertionResult sameBytes(const Bytes& actual, const Bytes& expected)
{
    const std::size_t common = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (actual[i] != expected[i]) {
            char b[96];
            std::snprintf(b, sizeof b, "byte %zu differs: got %02X, expected %02X", i, actual[i], expected[i]);
            return ::testing::AssertionFailure()
                   << b << "\n  got:      " << hex(actual) << "\n  expected: " << hex(expected);
        }
    }
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "length " << actual.size() << ", expected " << expected.size()
                                             << " (first " << common << " bytes agree)\n  got:      " << hex(actual)
                                             << "\n  expected: " << hex(expected);
    }
    return ::testing::AssertionSuccess();
}

Bytes reply(const Bytes& payload)
{
    Bytes frame(payload.size() + 2);
    frame[0] = replyStartByte;
    frame[1] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + 2);
    return frame;
}

// ---------------------------------------------------------------------------

void RecordingListener::onStatus(std::uint32_t status)
{
    std::lock_guard<std::mutex> guard(mutex);
    statusLog.push_back(status);
    changed.notify_all();
}

void RecordingListener::onConfiguration(std::uint32_t status, std::uint32_t extra, const ControllerParameters& p,
                                        const AxisConfiguration& a)
{
    std::lock_guard<std::mutex> guard(mutex);
    configurationLog.push_back({status, extra, p, a});
    statusLog.push_back(status);
    changed.notify_all();
}

void RecordingListener::onMeridianFlipPrompt(std::int32_t kind)
{
    std::lock_guard<std::mutex> guard(mutex);
    promptLog.push_back(kind);
    changed.notify_all();
}

void RecordingListener::onMountState(const MountState& m)
{
    std::lock_guard<std::mutex> guard(mutex);
    mountStateLog.push_back(m);
    changed.notify_all();
}

std::vector<std::uint32_t> RecordingListener::statuses() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return statusLog;
}

std::vector<std::int32_t> RecordingListener::prompts() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return promptLog;
}

std::vector<RecordingListener::Configuration> RecordingListener::configurations() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return configurationLog;
}

std::vector<MountState> RecordingListener::mountStates() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return mountStateLog;
}

void RecordingListener::clear()
{
    std::lock_guard<std::mutex> guard(mutex);
    statusLog.clear();
    promptLog.clear();
    configurationLog.clear();
    mountStateLog.clear();
}

bool RecordingListener::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> guard(mutex);
    return changed.wait_for(guard, limit, done);
}

bool RecordingListener::waitForStatus(std::uint32_t status, std::chrono::milliseconds limit)
{
    return waitFor([&] { return std::find(statusLog.begin(), statusLog.end(), status) != statusLog.end(); }, limit);
}

bool RecordingListener::waitForStatusCount(std::size_t count, std::chrono::milliseconds limit)
{
    return waitFor([&] { return statusLog.size() >= count; }, limit);
}

bool RecordingListener::waitForMountStates(std::size_t count, std::chrono::milliseconds limit)
{
    return waitFor([&] { return mountStateLog.size() >= count; }, limit);
}

bool RecordingListener::waitForPrompts(std::size_t count, std::chrono::milliseconds limit)
{
    return waitFor([&] { return promptLog.size() >= count; }, limit);
}

bool RecordingListener::waitForConfiguration(std::chrono::milliseconds limit)
{
    return waitFor([&] { return !configurationLog.empty(); }, limit);
}

// ---------------------------------------------------------------------------

bool FakeController::open(const char* dev, std::uint32_t baud)
{
    std::lock_guard<std::mutex> guard(mutex);
    ++opens;
    device = dev ? dev : "";
    baudRate = baud;
    opened = openResult;
    woken = false;
    hungUp = false;
    return openResult;
}

OpenError FakeController::openError() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return opened ? OpenError::None : failure;
}

std::size_t FakeController::discardedAtClose() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return discardAtClose;
}

void FakeController::setOpenError(OpenError e)
{
    std::lock_guard<std::mutex> guard(mutex);
    failure = e;
}

void FakeController::hangUp()
{
    std::lock_guard<std::mutex> guard(mutex);
    hungUp = true;
    changed.notify_all();
}

void FakeController::setWriteResult(bool ok)
{
    std::lock_guard<std::mutex> guard(mutex);
    writeResult = ok;
}

void FakeController::setDiscardedAtClose(std::size_t n)
{
    std::lock_guard<std::mutex> guard(mutex);
    discardAtClose = n;
}

void FakeController::close()
{
    std::lock_guard<std::mutex> guard(mutex);
    opened = false;
    pending.clear();
    changed.notify_all();
}

bool FakeController::write(const std::uint8_t* data, std::size_t length, int)
{
    std::lock_guard<std::mutex> guard(mutex);
    if (!opened || !writeResult)
        return false;
    Bytes frame(data, data + length);
    written.push_back(frame);
    if (length >= 3) {
        auto it = script.find(frame[2]);
        if (it != script.end() && !it->second.empty()) {
            const Bytes answer = it->second.front();
            if (it->second.size() > 1 || once[frame[2]])
                it->second.pop_front();
            pending.insert(pending.end(), answer.begin(), answer.end());
        }
    }
    changed.notify_all();
    return true;
}

int FakeController::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    std::unique_lock<std::mutex> guard(mutex);
    if (timeoutMs > 0)
        changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                         [&] { return woken || !pending.empty() || !opened || hungUp; });
    if (woken) {
        woken = false;
        return 0;
    }
    if (!opened || (hungUp && pending.empty()))
        return -1;
    std::size_t n = std::min({capacity, chunk, pending.size()});
    for (std::size_t i = 0; i < n; ++i) {
        buffer[i] = pending.front();
        pending.pop_front();
    }
    return static_cast<int>(n);
}

void FakeController::wakeReader()
{
    std::lock_guard<std::mutex> guard(mutex);
    woken = true;
    changed.notify_all();
}

void FakeController::respond(std::uint8_t code, const Bytes& replyBytes)
{
    std::lock_guard<std::mutex> guard(mutex);
    script[code].push_back(replyBytes);
    once[code] = false;
}

void FakeController::respondOnce(std::uint8_t code, const Bytes& replyBytes)
{
    std::lock_guard<std::mutex> guard(mutex);
    script[code].push_back(replyBytes);
    once[code] = true;
}

void FakeController::silence(std::uint8_t code)
{
    std::lock_guard<std::mutex> guard(mutex);
    script.erase(code);
}

void FakeController::clearScript()
{
    std::lock_guard<std::mutex> guard(mutex);
    script.clear();
}

void FakeController::scriptConnect(std::uint32_t raMicrosteps, std::uint32_t decMicrosteps, std::uint32_t raBaseSpeed,
                                   std::uint32_t decBaseSpeed, std::uint16_t speedFactor)
{
    auto u32 = [](Bytes& b, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    respond(1, unhex("55 05 01 07 00 02 01"));
    respond(3, unhex("55 02 00 21"));
    respond(2, unhex("55 05 00 78 56 34 12"));

    Bytes axis{0, 0};                       // reply bytes 2 and 3
    axis.push_back(0x11);                   // RA axis byte (reply byte 4)
    u32(axis, 144);
    u32(axis, raMicrosteps);
    u32(axis, raBaseSpeed);
    axis.push_back(0x22);                   // Dec axis byte (reply byte 17)
    u32(axis, 180);
    u32(axis, decMicrosteps);
    u32(axis, decBaseSpeed);
    respond(20, reply(axis));

    Bytes motor{0, 0, 0x02, 0x5A};          // reverse bits 2, extra byte 0x5A
    for (int a = 0; a < 2; ++a) {
        Bytes block(27, 0);
        block[0] = static_cast<std::uint8_t>(speedFactor);
        block[1] = static_cast<std::uint8_t>(speedFactor >> 8);
        for (std::size_t i = 2; i < 27; ++i)
            block[i] = static_cast<std::uint8_t>(0x30 + a * 0x40 + i);
        motor.insert(motor.end(), block.begin(), block.end());
    }
    respond(21, reply(motor));
    respond(23, unhex("55 09 00 02 0C 18 00 01 0A 16 00"));
    respond(123, unhex("55 0A 00 01 E8 03 00 00 D0 07 00 00"));
}

void FakeController::inject(const Bytes& bytes)
{
    std::lock_guard<std::mutex> guard(mutex);
    pending.insert(pending.end(), bytes.begin(), bytes.end());
    changed.notify_all();
}

void FakeController::setChunkSize(std::size_t n)
{
    std::lock_guard<std::mutex> guard(mutex);
    chunk = n ? n : 1;
}

void FakeController::setOpenResult(bool ok)
{
    std::lock_guard<std::mutex> guard(mutex);
    openResult = ok;
}

std::vector<Bytes> FakeController::frames() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return written;
}

Bytes FakeController::lastFrame() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return written.empty() ? Bytes{} : written.back();
}

std::size_t FakeController::frameCount() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return written.size();
}

void FakeController::clearFrames()
{
    std::lock_guard<std::mutex> guard(mutex);
    written.clear();
}

bool FakeController::waitForFrames(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> guard(mutex);
    return changed.wait_for(guard, limit, [&] { return written.size() >= count; });
}

bool FakeController::isOpen() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return opened;
}

std::uint32_t FakeController::lastBaud() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return baudRate;
}

std::string FakeController::lastDevice() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return device;
}

int FakeController::openCount() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return opens;
}

// ---------------------------------------------------------------------------

UtcTime FixedClock::now() const
{
    std::lock_guard<std::mutex> guard(mutex);
    return instant;
}

void FixedClock::set(const UtcTime& t)
{
    std::lock_guard<std::mutex> guard(mutex);
    instant = t;
}

void TestCatalog::add(std::uint32_t number, SerialPort* port, const std::string& device, bool simulated)
{
    portSlots[number] = {port, device, simulated};
}

std::vector<PortEntry> TestCatalog::entries() const
{
    std::vector<PortEntry> out;
    for (const auto& [number, slot] : portSlots)
        out.push_back({number, slot.device, slot.device, {}});
    return out;
}

bool TestCatalog::resolve(std::uint32_t number, PortBinding& binding)
{
    auto it = portSlots.find(number);
    if (it == portSlots.end() || it->second.device.size() >= sizeof binding.device)
        return false;
    binding.port = it->second.port;
    std::memcpy(binding.device, it->second.device.c_str(), it->second.device.size() + 1);
    binding.simulated = it->second.simulated;
    return true;
}

}  // namespace kv7::test
