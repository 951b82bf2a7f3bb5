// Talking to a VirtualController the way the link does: command frames
// from the shared encoders in, reply frames cut by the reply framer out.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "protocol/DeviceProtocol.h"
#include "sim/engine/VirtualController.h"
#include "sim/hosts/FileStateStore.h"

namespace kv7::sim::test {

using Bytes = std::vector<std::uint8_t>;

inline std::uint8_t op(DeviceCommand c) { return static_cast<std::uint8_t>(c); }

// A command frame laid out by the device command table.
template <typename... Args>
Bytes frame(DeviceCommand c, Args... args)
{
    const std::uint32_t a[] = {static_cast<std::uint32_t>(args)..., 0};
    std::uint8_t f[maxCommandFrame];
    return Bytes(f, f + encodeCommand(f, c, a, sizeof...(args)));
}
inline Bytes frameCode(DeviceCommand c) { return frame(c); }
inline Bytes frameByte(DeviceCommand c, std::uint32_t b1) { return frame(c, b1); }
inline Bytes frameByteByte(DeviceCommand c, std::uint32_t b1, std::uint32_t b2) { return frame(c, b1, b2); }
inline Bytes frameSpeed(std::uint8_t selector, std::int32_t speed)
{
    return frame(DeviceCommand::MoveAtSpeed, 0, selector, speed);
}
inline Bytes framePositions(DeviceCommand c, std::uint8_t b1, std::uint8_t selector, std::int32_t ra, std::int32_t dec)
{
    return frame(c, b1, selector, ra, dec);
}
inline Bytes frameFormat(const EncoderFormatBytes& ra, const EncoderFormatBytes& dec)
{
    return frame(DeviceCommand::WriteEncoderFormat, 1, ra.flags, ra.leadingBits, ra.bitsPerRevolution,
                 ra.bitsForRevolutions, dec.flags, dec.leadingBits, dec.bitsPerRevolution, dec.bitsForRevolutions);
}
inline Bytes frameMotorFlags(std::uint8_t bits, std::uint8_t extra)
{
    return frame(DeviceCommand::WriteMotorFlags, 0, axisBoth, bits, extra);
}

// Cuts reply bytes into frames exactly as the link's reply framer does.
inline std::vector<Bytes> replyFrames(const Bytes& bytes)
{
    std::vector<Bytes> frames;
    FrameAssembler framer(replyStartByte);
    for (std::uint8_t b : bytes) {
        if (framer.push(b))
            frames.emplace_back(framer.frame(), framer.frame() + 2 + framer.length());
    }
    return frames;
}

// Sends one frame and returns every reply frame released without advancing time.
inline std::vector<Bytes> transact(VirtualController& c, const Bytes& frame)
{
    c.receive(frame.data(), frame.size());
    return replyFrames(c.readAll());
}

// The single reply to a frame; empty when there is none or more than one.
inline Bytes ask(VirtualController& c, const Bytes& frame)
{
    const std::vector<Bytes> frames = transact(c, frame);
    return frames.size() == 1 ? frames.front() : Bytes{};
}

inline std::uint32_t u32At(const Bytes& f, std::size_t i)
{
    return static_cast<std::uint32_t>(f.at(i)) | static_cast<std::uint32_t>(f.at(i + 1)) << 8 |
           static_cast<std::uint32_t>(f.at(i + 2)) << 16 | static_cast<std::uint32_t>(f.at(i + 3)) << 24;
}
inline std::uint16_t u16At(const Bytes& f, std::size_t i)
{
    return static_cast<std::uint16_t>(f.at(i) | f.at(i + 1) << 8);
}
inline std::int32_t i32At(const Bytes& f, std::size_t i) { return static_cast<std::int32_t>(u32At(f, i)); }

// A configuration whose stored parameters live in the file at path.
inline SimConfig withStateFile(const std::string& path)
{
    SimConfig config;
    config.stateStore = std::make_shared<FileStateStore>(path);
    return config;
}

// A directory of the test's own, removed afterwards; never the user's files.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (dir / name).string(); }

private:
    std::filesystem::path dir;
};

}  // namespace kv7::sim::test
