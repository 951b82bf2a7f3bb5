// Frames out of a transcript, and what each one says.
#include "protocol/DeviceProtocol.h"
#include "protocol/ReplyLayout.h"
#include "transcript/Transcript.h"

namespace kv7::transcript {

namespace {

// One direction's bytes on their way to frames.
class DirectionCutter {
public:
    DirectionCutter(Direction d, std::uint8_t startByte) : direction(d), assembler(startByte) {}

    void push(std::uint8_t b, std::int64_t micros, std::vector<Frame>& out)
    {
        const bool between = assembler.currentState() == FrameAssembler::WaitStart;
        const bool complete = assembler.push(b);
        if (between && !complete && assembler.currentState() == FrameAssembler::WaitStart) {
            stray.push_back(b);   // the assembler passed over it: no frame starts here
            return;
        }
        if (between)
            flushStray(micros, out);
        pending.push_back(b);
        if (complete) {
            emit(FrameKind::Frame, pending, micros, out);
            pending.clear();
        }
    }

    void flushStray(std::int64_t micros, std::vector<Frame>& out)
    {
        if (!stray.empty())
            emit(FrameKind::Stray, stray, micros, out);
        stray.clear();
    }

    void finish(std::int64_t micros, std::vector<Frame>& out)
    {
        flushStray(micros, out);
        if (!pending.empty())
            emit(FrameKind::Incomplete, pending, micros, out);
        pending.clear();
    }

private:
    void emit(FrameKind kind, const std::vector<std::uint8_t>& bytes, std::int64_t micros, std::vector<Frame>& out)
    {
        Frame f;
        f.number = static_cast<int>(out.size()) + 1;
        f.micros = micros;
        f.direction = direction;
        f.kind = kind;
        f.bytes = bytes;
        out.push_back(std::move(f));
    }

    Direction direction;
    FrameAssembler assembler;
    std::vector<std::uint8_t> pending;
    std::vector<std::uint8_t> stray;
};

std::uint32_t littleEndian(const std::uint8_t* at, std::size_t width)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < width; ++i)
        v |= static_cast<std::uint32_t>(at[i]) << (8 * i);
    return v;
}

FrameMeaning describeCommand(const std::vector<std::uint8_t>& b)
{
    FrameMeaning m;
    const DeviceCommandInfo* info = b.size() > 2 ? findDeviceCommand(b[2]) : nullptr;
    if (!info) {
        m.name = b.size() > 2 ? "unknown command " + std::to_string(b[2]) : "empty command frame";
        return m;
    }
    m.name = info->name;
    if (b[1] != payloadLength(*info)) {
        m.problem = "length " + std::to_string(b[1]) + ", the command takes " + std::to_string(payloadLength(*info));
        return m;
    }
    std::size_t at = 3;
    for (std::uint8_t i = 0; i < info->argumentCount; ++i) {
        const std::size_t width = info->argumentWidths[i];
        m.fields.push_back({"arg" + std::to_string(i + 1), littleEndian(b.data() + at, width), false, {}});
        at += width;
    }
    return m;
}

FrameMeaning describeReply(const std::vector<std::uint8_t>& b)
{
    FrameMeaning m;
    const DeviceCommandInfo* info = b.size() > 2 ? findDeviceCommand(b[2]) : nullptr;
    m.name = info ? std::string(info->name) + " reply" : b.size() > 2 ? "reply to unknown command " + std::to_string(b[2]) : "empty reply";
    const ReplyLayout* layout = info ? replyLayout(info->code) : nullptr;
    if (!layout)
        return m;
    ReplyValues values;
    if (!decodeReply(*layout, b.data(), b.size(), values)) {
        m.problem = "shorter than its layout (L " + std::to_string(b[1]) + ", at least " +
                    std::to_string(leastReplyLength(info->code)) + ")";
        return m;
    }
    for (std::size_t r = 0; r < layout->rowCount; ++r) {
        const ReplyRow& row = layout->rows[r];
        FrameField f{replyFieldName(row.field), values[row.field], row.isSigned, {}};
        if (row.width == motorBlockSize)
            f.block.assign(b.begin() + row.offset, b.begin() + row.offset + motorBlockSize);
        m.fields.push_back(std::move(f));
    }
    return m;
}

}  // namespace

std::vector<Frame> cutFrames(const Transcript& t)
{
    std::vector<Frame> out;
    DirectionCutter toController(Direction::ToController, commandStartByte);
    DirectionCutter toHost(Direction::ToHost, replyStartByte);
    for (const Chunk& chunk : t.chunks) {
        DirectionCutter& cutter = chunk.direction == Direction::ToController ? toController : toHost;
        for (const std::uint8_t b : chunk.bytes)
            cutter.push(b, chunk.micros, out);
        cutter.flushStray(chunk.micros, out);
    }
    const std::int64_t end = t.chunks.empty() ? 0 : t.chunks.back().micros;
    toController.finish(end, out);
    toHost.finish(end, out);
    return out;
}

FrameMeaning describeFrame(const Frame& frame)
{
    if (frame.kind == FrameKind::Stray)
        return {"bytes outside any frame", {}, {}};
    if (frame.kind == FrameKind::Incomplete)
        return {"incomplete frame", {}, "the transcript ends inside it"};
    return frame.direction == Direction::ToController ? describeCommand(frame.bytes) : describeReply(frame.bytes);
}

}  // namespace kv7::transcript
