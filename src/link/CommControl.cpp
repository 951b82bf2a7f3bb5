// The link's front: construction, shutdown, and the requests, each one
// channel message for the worker (link/Worker.cpp).
#include "link/CommControl.h"

namespace kv7 {

CommControl::CommControl(iNotificationListener* listener, const iSiderealTime* sidereal, PortCatalog* portCatalog)
    : CommControl(listener, sidereal, portCatalog, Options{})
{
}

CommControl::CommControl(iNotificationListener* listener, const iSiderealTime* sidereal, PortCatalog* portCatalog,
                         Options opts)
    : notificationListener(listener), siderealTime(sidereal), catalog(portCatalog), options(opts)
{
    axisConfiguration.encoderFormat = options.initialEncoderFormat;
    if (options.startThreads)
        workerThread = std::thread([this] { workerLoop(); });
}

CommControl::~CommControl() { stopThreads(); }

void CommControl::stopThreads()
{
    if (threadsStopped)
        return;
    threadsStopped = true;
    readerStop = true;
    // Stopping the channel ends the worker's wait and releases any writer
    // blocked on a full channel, the serial reader included.
    channel.stop();
    if (workerThread.joinable())
        workerThread.join();
    // The serial reader may be handling a reply in place.
    const std::lock_guard<std::mutex> guard(handling);
    closePort();
}

// ---------------------------------------------------------------------------
// iKV7Control: one channel write per message.

bool CommControl::writeMessage(const std::uint8_t* msg, std::size_t length, const std::atomic<bool>* giveUp)
{
    // No lock around the write: the channel lands each message whole. A lock
    // here would let a writer that waits for room (holding it) keep the
    // serial reader queued behind it, while the worker, the only thread that
    // makes room, waits to join that reader.
    if (!channel.write(msg, length, giveUp))
        return false;
    bytesPosted.fetch_add(length, std::memory_order_release);
    return true;
}

void CommControl::writeChannel(const std::uint8_t* data, std::size_t length) { writeMessage(data, length); }

std::size_t CommControl::takeChannelBytes(std::uint8_t* out, std::size_t capacity)
{
    const int n = channel.read(out, capacity, 0);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void CommControl::onHeartBeat()
{
    // A message with no payload is complete only after one more byte, so
    // the heartbeat carries a filler.
    const std::uint8_t msg[2] = {0xA0, 0x00};
    writeMessage(msg, sizeof msg);
}

void CommControl::connect(std::uint32_t portNumber, std::uint32_t baud)
{
    std::uint8_t msg[7] = {commandHeader(6), ChannelCommand::Connect, static_cast<std::uint8_t>(portNumber)};
    writeU32le(msg + 3, baud);
    writeMessage(msg, sizeof msg);
}

void CommControl::disconnect()
{
    const std::uint8_t msg[2] = {commandHeader(1), ChannelCommand::Disconnect};
    writeMessage(msg, sizeof msg);
}

void CommControl::storeParameters()
{
    const std::uint8_t msg[2] = {commandHeader(1), ChannelCommand::StoreParameters};
    writeMessage(msg, sizeof msg);
}

void CommControl::manualMove(std::uint8_t direction, std::uint8_t speed)
{
    const std::uint8_t msg[4] = {commandHeader(3), ChannelCommand::ManualMove, direction, speed};
    writeMessage(msg, sizeof msg);
}

void CommControl::stopMotion(std::uint8_t axes)
{
    const std::uint8_t msg[3] = {commandHeader(2), ChannelCommand::StopMotion, axes};
    writeMessage(msg, sizeof msg);
}

void CommControl::setTracking(std::uint8_t on)
{
    const std::uint8_t msg[3] = {commandHeader(2), ChannelCommand::SetTracking, on};
    writeMessage(msg, sizeof msg);
}

void CommControl::pierSideAction(std::uint8_t action)
{
    const std::uint8_t msg[3] = {commandHeader(2), ChannelCommand::PierSideAction, action};
    writeMessage(msg, sizeof msg);
}

void CommControl::writeTargetMessage(std::uint8_t code, std::uint32_t raArcsec, std::int32_t decArcsec)
{
    std::uint8_t msg[10] = {commandHeader(9), code};
    writeU32le(msg + 2, raArcsec);
    writeU32le(msg + 6, static_cast<std::uint32_t>(decArcsec));
    writeMessage(msg, sizeof msg);
}

void CommControl::gotoTarget(std::uint32_t raArcsec, std::int32_t decArcsec)
{
    writeTargetMessage(ChannelCommand::GotoTarget, raArcsec, decArcsec);
}

void CommControl::answerMeridianFlip(std::uint16_t answer)
{
    std::uint8_t msg[4] = {commandHeader(3), ChannelCommand::AnswerMeridianFlip};
    writeU16le(msg + 2, answer);
    writeMessage(msg, sizeof msg);
}

void CommControl::setMotorReversal(std::uint8_t bits, std::uint8_t extra)
{
    const std::uint8_t msg[4] = {commandHeader(3), ChannelCommand::SetMotorReversal, bits, extra};
    writeMessage(msg, sizeof msg);
}

void CommControl::setEncoderFormat(std::uint8_t raFlags, std::uint8_t raLeadingBits,
                                   std::uint8_t raBitsPerRevolution, std::uint8_t raBitsForRevolutions,
                                   std::uint8_t decFlags, std::uint8_t decLeadingBits,
                                   std::uint8_t decBitsPerRevolution, std::uint8_t decBitsForRevolutions)
{
    const std::uint8_t msg[10] = {commandHeader(9),     ChannelCommand::SetEncoderFormat,
                                  raFlags,              raLeadingBits,
                                  raBitsPerRevolution,  raBitsForRevolutions,
                                  decFlags,             decLeadingBits,
                                  decBitsPerRevolution, decBitsForRevolutions};
    writeMessage(msg, sizeof msg);
}

void CommControl::setEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset, std::uint32_t decOffset)
{
    std::uint8_t msg[11] = {commandHeader(10), ChannelCommand::SetEncoderCalibration, reverseBits};
    writeU32le(msg + 3, raOffset);
    writeU32le(msg + 7, decOffset);
    writeMessage(msg, sizeof msg);
}

void CommControl::readEncoders(std::uint8_t mode)
{
    // A live view asks for the next reading as soon as it has one: when the
    // worker has nothing before it, the asking thread sends it itself.
    const std::uint8_t msg[3] = {commandHeader(2), ChannelCommand::ReadEncoders, mode};
    if (!handleInPlace(msg, sizeof msg))
        writeMessage(msg, sizeof msg);
}

void CommControl::syncToTarget(std::uint32_t raArcsec, std::int32_t decArcsec)
{
    writeTargetMessage(ChannelCommand::SyncToTarget, raArcsec, decArcsec);
}

void CommControl::syncToEncoders()
{
    const std::uint8_t msg[2] = {commandHeader(1), ChannelCommand::SyncToEncoders};
    writeMessage(msg, sizeof msg);
}

}  // namespace kv7
