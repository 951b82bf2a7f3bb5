// Shared pieces of the fuzz targets: a controller behind the SerialPort
// seam that either answers like a sane KV7 or hands out the fuzzer's bytes,
// a listener that checks every notification, and a fixed clock.
//
// A broken invariant aborts, so libFuzzer keeps the input as a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Interfaces.h"
#include "protocol/DeviceProtocol.h"
#include "link/LinkTypes.h"
#include "protocol/PortCatalog.h"
#include "protocol/SerialPort.h"

namespace kv7::fuzz {

[[noreturn]] inline void fail(const char* what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

inline void check(bool condition, const char* what)
{
    if (!condition)
        fail(what);
}

// The readings the sane controller reports; no byte of either is 0x55, so a
// reply carrying them never holds a second start byte.
constexpr std::uint32_t probeRa = 0x01020304;
constexpr std::uint32_t probeDec = 0x0A0B0C0D;

// A command frame as the link must send it: start byte, a length that
// matches the command's payload shape, a code from the device command table.
inline void checkCommandFrame(const std::uint8_t* data, std::size_t length)
{
    check(length >= 3 && length <= maxCommandFrame, "command frame length");
    check(data[0] == commandStartByte, "command frame start byte");
    check(static_cast<std::size_t>(data[1]) + 2 == length, "command frame length byte");
    const DeviceCommandInfo* info = findDeviceCommand(data[2]);
    check(info != nullptr, "command frame code not in the device command table");
    check(data[1] == payloadLength(*info), "command frame payload length");
}

// A serial port with a controller behind it. In scripted mode it answers
// every awaited command like a healthy KV7 (unless that code is withheld);
// in fed mode it answers nothing and read() hands out whatever feed() put
// in. Writes while closed, and malformed frames, are invariant failures.
class FuzzPort final : public SerialPort {
public:
    static constexpr std::size_t queueSize = 4096;

    bool open(const char* device, std::uint32_t) override
    {
        if (device && std::strcmp(device, "absent") == 0)
            return false;
        opened = true;
        head = count = 0;
        return true;
    }
    void close() override
    {
        opened = false;
        head = count = 0;
    }
    bool write(const std::uint8_t* data, std::size_t length, int) override
    {
        check(opened, "frame written to a closed port");
        checkCommandFrame(data, length);
        ++framesWritten;
        if (!fed && !withheld[data[2]])
            answer(data[2]);
        return true;
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int) override
    {
        check(opened, "read from a closed port");
        std::size_t n = count < capacity ? count : capacity;
        if (chunk > 0 && n > chunk)
            n = chunk;
        for (std::size_t i = 0; i < n; ++i) {
            buffer[i] = ring[head];
            head = (head + 1) % queueSize;
        }
        count -= n;
        return static_cast<int>(n);
    }

    // Bytes the controller "sends"; what does not fit is dropped.
    void feed(const std::uint8_t* data, std::size_t length)
    {
        for (std::size_t i = 0; i < length && count < queueSize; ++i)
            ring[(head + count++) % queueSize] = data[i];
    }
    std::size_t pending() const { return count; }
    bool isOpen() const { return opened; }

    bool fed = false;              // true: answer nothing, hand out fed bytes
    bool withheld[256] = {};       // scripted mode: codes left unanswered
    bool motionAtRest = false;     // what ReadMotionStatus reports
    std::size_t chunk = 0;         // largest piece one read hands out; 0: no limit
    std::size_t framesWritten = 0;

private:
    void reply(std::uint8_t code, const std::uint8_t* payload, std::size_t length)
    {
        const std::uint8_t head2[3] = {replyStartByte, static_cast<std::uint8_t>(length + 1), code};
        feed(head2, 3);
        feed(payload, length);
    }

    void answer(std::uint8_t code)
    {
        std::uint8_t p[64] = {};
        switch (static_cast<DeviceCommand>(code)) {
        case DeviceCommand::Identify:
            writeU32le(p, 0x00070203);
            reply(code, p, 4);
            return;
        case DeviceCommand::ReadDeviceByte:
            p[0] = 7;
            reply(code, p, 1);
            return;
        case DeviceCommand::ReadDeviceWord:
            writeU32le(p, 0x0001E078);
            reply(code, p, 4);
            return;
        case DeviceCommand::ReadAxisParameters:
            p[0] = axisBoth;
            p[1] = 1;
            writeU32le(p + 2, 144);
            writeU32le(p + 6, 2000000);
            writeU32le(p + 10, 1000);
            p[14] = 2;
            writeU32le(p + 15, 120);
            writeU32le(p + 19, 1000000);
            writeU32le(p + 23, 900);
            reply(code, p, 27);
            return;
        case DeviceCommand::ReadMotorSettings:
            p[0] = axisBoth;
            p[1] = 0;
            p[2] = 0x10;
            writeU16le(p + 3, 16);
            writeU16le(p + 30, 15);
            reply(code, p, 57);
            return;
        case DeviceCommand::ReadEncoderFormat: {
            const std::uint8_t f[8] = {0, 12, 25, 0, 0, 12, 25, 0};
            reply(code, f, 8);
            return;
        }
        case DeviceCommand::ReadEncoderCalibration:
            reply(code, p, 9);
            return;
        case DeviceCommand::ReadEncoders:
        case DeviceCommand::ReadEncodersMode1:
        case DeviceCommand::ReadEncodersMode2:
            writeU32le(p, probeRa);
            writeU32le(p + 4, probeDec);
            reply(code, p, 8);
            return;
        case DeviceCommand::ReadMotionStatus:
            p[0] = axisBoth;
            p[1] = p[2] = motionAtRest ? 1 : 4;
            reply(code, p, 3);
            return;
        case DeviceCommand::ReadAxisPositions:
            p[0] = axisBoth;
            p[1] = p[2] = 1;
            writeU32le(p + 3, 100000);
            writeU32le(p + 7, 50000);
            reply(code, p, 11);
            return;
        case DeviceCommand::GoToAxisPositions:
        case DeviceCommand::StoreParameters:
        case DeviceCommand::WriteEncoderCalibration:
            reply(code, p, 0);
            return;
        default:
            return;   // commands the link does not wait for get no answer
        }
    }

    bool opened = false;
    std::uint8_t ring[queueSize] = {};
    std::size_t head = 0;
    std::size_t count = 0;
};

// 1 is the port, 0 the same port as the "simulator", 2 a port that cannot
// be opened; every other number does not exist.
class FuzzCatalog final : public PortCatalog {
public:
    explicit FuzzCatalog(SerialPort* p) : port(p) {}
    std::vector<PortEntry> entries() const override { return {}; }
    bool resolve(std::uint32_t number, PortBinding& binding) override
    {
        if (number > 2)
            return false;
        std::strcpy(binding.device, number == 2 ? "absent" : "fuzz");
        binding.port = port;
        binding.simulated = number == 0;
        return true;
    }

private:
    SerialPort* port;
};

// Checks that every notification is one the link may raise at all.
class CheckingListener final : public iNotificationListener {
public:
    void onStatus(std::uint32_t status) override
    {
        check(status <= Status::NoFreshReading, "status code out of range");
        check(status != Status::NotConnected && status != Status::UnknownDevice && status != Status::ConnectionEstablished,
              "status the link never raises by onStatus");
        ++statuses;
        lastStatus = status;
        if (status == Status::OpeningPort || status == Status::TestingWithoutPort) {
            mustBeClosed = false;
            mustBeReady = false;
        } else if (status == Status::CannotConnect || status == Status::NotSupportedDevice) {
            mustBeClosed = true;
        } else if (status == Status::ConnectionClosed) {
            mustBeReady = false;
        } else if (status == Status::ConnectionLost) {
            mustBeReady = false;
            mustBeClosed = true;
        }
    }
    void onConfiguration(std::uint32_t status, std::uint32_t extra, const ControllerParameters&,
                         const AxisConfiguration&) override
    {
        check(status == Status::ConnectionEstablished && extra == 1, "configuration notification arguments");
        ++configurations;
        mustBeReady = true;
    }
    void onMeridianFlipPrompt(std::int32_t kind) override
    {
        check(kind >= FlipPrompt::PierUnsettled && kind <= FlipPrompt::EastNeeded, "prompt kind out of range");
        ++prompts;
    }
    void onMountState(const MountState& m) override
    {
        check(m.valid == 1 || m.axesValid == 1, "mount state delivered with nothing read");
        last = m;
        ++readings;
    }

    std::size_t statuses = 0;
    std::uint32_t lastStatus = 0;
    std::size_t configurations = 0;
    std::size_t prompts = 0;
    std::size_t readings = 0;
    MountState last{};
    // What the statuses told the operator, to hold the link to it once the
    // worker has finished the message at hand: a connect that failed has
    // closed the port, one that "established" the connection is ready.
    bool mustBeClosed = false;
    bool mustBeReady = false;
};

class FixedClock final : public iUtcClock {
public:
    UtcTime now() const override
    {
        UtcTime t;
        t.year = 2024;
        t.month = 3;
        t.day = 20;
        t.hour = 21;
        t.minute = 30;
        return t;
    }
};

inline bool knownLinkState(std::int32_t s)
{
    switch (s) {
    case LinkState::Initial:
    case LinkState::Idle:
    case LinkState::Pause:
    case LinkState::AwaitIdentity:
    case LinkState::AwaitDeviceByte:
    case LinkState::AwaitDeviceWord:
    case LinkState::AwaitAxisParameters:
    case LinkState::AwaitMotorSettings:
    case LinkState::AwaitEncoderFormat:
    case LinkState::AwaitEncoderCalibration:
    case LinkState::AwaitEncoderReading:
    case LinkState::AwaitGoToReply:
    case LinkState::PollMotion:
    case LinkState::AwaitMotionStatus:
    case LinkState::AwaitFlipPositions:
    case LinkState::AwaitCalibrationReply:
    case LinkState::AwaitStoreReply:
        return true;
    default:
        return false;
    }
}

}  // namespace kv7::fuzz
