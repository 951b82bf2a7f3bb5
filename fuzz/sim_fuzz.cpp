// The virtual controller's command input under arbitrary bytes.
//
// Input: byte 0 fault switches (bit 0 silent, 1 wrong identify, 2 noise,
// 3 dropped bytes, 4 slow replies, 5 vanishing device), byte 1 the drop
// probability (/512) or the frames before vanishing (mod 16), byte 2 the
// reply delay (x 10 ms), byte 3 the physical encoder flags and leading
// bits, byte 4 its bits per revolution and revolution bits, byte 5 the
// random seed. Then records: a byte below 0xE0 is followed by (b & 0x1F) + 1
// bytes for the controller's input; 0xE0..0xEF move time on by 50 ms
// steps, 0xF0..0xFF by 2 s steps. Reply bytes are taken after every record.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "protocol/ReplyLayout.h"
#include "sim/engine/VirtualController.h"

using namespace kv7;
using namespace kv7::fuzz;
using kv7::sim::Axis;

namespace {

// L of the reply to each command the controller answers; 0: not answered.
std::uint8_t replyLength(std::uint8_t code)
{
    switch (static_cast<DeviceCommand>(code)) {
    case DeviceCommand::Identify:
    case DeviceCommand::ReadDeviceWord: return 5;
    case DeviceCommand::ReadDeviceByte: return 2;
    case DeviceCommand::ReadAxisParameters: return 28;
    case DeviceCommand::ReadMotorSettings: return 58;
    case DeviceCommand::ReadEncoderFormat:
    case DeviceCommand::ReadEncoders:
    case DeviceCommand::ReadEncodersMode1:
    case DeviceCommand::ReadEncodersMode2: return 9;
    case DeviceCommand::ReadEncoderCalibration: return 10;
    case DeviceCommand::ReadMotionStatus: return 4;
    case DeviceCommand::ReadAxisPositions: return 12;
    case DeviceCommand::GoToAxisPositions:
    case DeviceCommand::StoreParameters:
    case DeviceCommand::WriteEncoderCalibration: return 1;
    default: return 0;
    }
}

struct ReplyChecker {
    bool strict = true;        // no noise: every byte belongs to a frame
    bool wrongIdentify = false;
    FrameAssembler framer{replyStartByte};
    std::uint64_t frames = 0;

    void take(const std::uint8_t* bytes, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            if (framer.currentState() == FrameAssembler::WaitStart && bytes[i] != replyStartByte)
                check(!strict, "a reply byte outside any frame");
            if (framer.push(bytes[i]))
                frame(framer.frame());
        }
    }

    void frame(const std::uint8_t* f)
    {
        ++frames;
        const std::uint8_t length = f[1];
        check(length >= 1, "a reply without its command code");
        std::uint8_t answered = f[2];
        if (wrongIdentify && answered == 2 && length == 5)
            answered = static_cast<std::uint8_t>(DeviceCommand::Identify);   // or a real device word reply
        const std::uint8_t expected = replyLength(answered);
        check(expected != 0, "a reply to a command that is never answered");
        check(length == expected, "a reply of the wrong length");
        // The link reads fields up to its least reply length; the controller
        // must always cover them.
        const DeviceCommandInfo* info = findDeviceCommand(answered);
        check(info && length >= leastReplyLength(info->code), "a reply shorter than the link reads");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 6)
        return 0;
    sim::SimConfig config;
    sim::FaultConfig& f = config.faults;
    f.silent = data[0] & 0x01;
    f.wrongIdentify = data[0] & 0x02;
    f.noise = data[0] & 0x04;
    if (data[0] & 0x08)
        f.dropProbability = data[1] / 512.0;
    if (data[0] & 0x10)
        f.replyDelay = data[2] * 0.01;
    if (data[0] & 0x20)
        f.vanishAfterFrames = data[1] % 16;
    f.seed = data[5];
    sim::EncoderPhysics physics;
    physics.format.flags = data[3] & 0x03;
    physics.format.leadingBits = static_cast<std::uint8_t>((data[3] >> 2) % 33);
    physics.format.bitsPerRevolution = static_cast<std::uint8_t>(1 + data[4] % 32);
    physics.format.bitsForRevolutions = static_cast<std::uint8_t>((data[4] >> 5) * 4);
    check(sim::isValidPhysicalFormat(physics.format), "harness built an invalid physical format");
    config.raEncoder = physics;
    config.decEncoder = physics;
    data += 6;
    size -= 6;

    sim::VirtualController c(config);
    ReplyChecker replies;
    replies.strict = !f.noise && f.dropProbability == 0.0;
    replies.wrongIdentify = f.wrongIdentify;
    const bool checked = f.dropProbability == 0.0;

    std::uint64_t outputBytes = 0;
    double simulated = 0.0;
    std::size_t readSize = 1;
    while (size > 0) {
        const std::uint8_t b = *data++;
        --size;
        if (b < 0xE0) {
            std::size_t n = (b & 0x1F) + 1u;
            if (n > size)
                n = size;
            const std::uint64_t handledBefore = c.framesHandled();
            const bool goneBefore = c.vanished();
            c.receive(data, n);
            check(!goneBefore || c.framesHandled() == handledBefore, "a vanished device took a frame");
            data += n;
            size -= n;
        } else if (simulated < 600.0) {
            const double step = b < 0xF0 ? (b - 0xDF) * 0.05 : (b - 0xEF) * 2.0;
            c.advance(step);
            simulated += step;
        }

        // Take the output in pieces of varying size, as a host would.
        std::uint8_t out[64];
        for (std::size_t n; (n = c.read(out, readSize)) > 0;) {
            outputBytes += n;
            if (checked)
                replies.take(out, n);
            readSize = readSize % sizeof out + 1;
        }

        for (Axis axis : {Axis::Ra, Axis::Dec}) {
            check(c.motionStatus(axis) <= 5, "motion status out of range");
            check(std::isfinite(c.axisVelocity(axis)), "axis velocity not finite");
            const std::uint8_t bits = (axis == Axis::Ra ? c.settings().ra : c.settings().dec).encoderFormat.bitsPerRevolution;
            if (bits < 32)
                check(c.encoderReading(axis) < (std::uint32_t{1} << bits), "encoder reading beyond one revolution");
        }
    }
    if (f.silent)
        check(outputBytes == 0, "a silent device answered");
    if (checked)
        check(replies.frames <= c.framesHandled(), "more replies than frames received");
    return 0;
}
