// The channel, the worker with its message assembler and dispatcher,
// connect and disconnect, and the serial transport.
#include "link/CommControl.h"

#include <cstring>

namespace kv7 {

namespace {

constexpr std::size_t workerReadSize = 20;    // the worker takes at most this much per read
constexpr int workerWaitMs = 300;             // ... and wakes at least this often
constexpr std::size_t serialReadSize = 128;
constexpr int readerWaitMs = 200;             // the reader notices a stop within this
constexpr std::size_t maxSerialChunk = 31;    // the largest payload a channel header can carry

std::uint8_t commandHeader(std::size_t payloadLength)
{
    return static_cast<std::uint8_t>(0x80 | payloadLength);
}

}  // namespace

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
    return channel.write(msg, length, giveUp);
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
    const std::uint8_t msg[3] = {commandHeader(2), ChannelCommand::ReadEncoders, mode};
    writeMessage(msg, sizeof msg);
}

void CommControl::syncToTarget(std::uint32_t raArcsec, std::int32_t decArcsec)
{
    writeTargetMessage(ChannelCommand::SyncToTarget, raArcsec, decArcsec);
}

// ---------------------------------------------------------------------------
// Worker, assembler and dispatcher.

void CommControl::workerLoop()
{
    std::uint8_t buffer[workerReadSize];
    for (;;) {
        const int n = channel.read(buffer, sizeof buffer, workerWaitMs);
        if (n < 0)
            return;
        for (int i = 0; i < n; ++i)
            assemble(buffer[i]);
    }
}

std::size_t CommControl::pump()
{
    std::uint8_t buffer[workerReadSize];
    std::size_t total = 0;
    for (;;) {
        const int n = channel.read(buffer, sizeof buffer, 0);
        if (n <= 0)
            return total;
        total += static_cast<std::size_t>(n);
        for (int i = 0; i < n; ++i)
            assemble(buffer[i]);
    }
}

std::size_t CommControl::pollSerial()
{
    if (!portOpen || !port)
        return 0;
    std::uint8_t buffer[serialReadSize];
    const int n = port->read(buffer, sizeof buffer, 0);
    if (n < 0)
        postPortFailed();
    if (n <= 0)
        return 0;
    forwardReceived(buffer, static_cast<std::size_t>(n));
    return static_cast<std::size_t>(n);
}

void CommControl::assemble(std::uint8_t b)
{
    if (assemblerState == 0) {
        if (!(b & 0x80))
            return;
        message[0] = b;
        receivedCount = 1;
        expectedCount = (b & 0x1F) + 1;
        assemblerState = 1;
        return;
    }
    // Inside a message bit 7 means nothing: payload bytes take any value.
    // A message with no payload takes one more byte, which is ignored.
    message[receivedCount++] = b;
    if (receivedCount >= expectedCount) {
        dispatch();
        assemblerState = 0;
    }
}

void CommControl::dispatch()
{
    const std::uint8_t header = message[0];
    const std::uint8_t kind = (header >> 5) & 0x03;
    const std::size_t length = header & 0x1F;

    frameFailed = false;
    switch (kind) {
    case ChannelKind::Heartbeat:
        if (portOpen)
            actOnLinkResult(onLinkTick());
        break;
    case ChannelKind::SerialData:
        if (portOpen)
            actOnLinkResult(feedReplyBytes(message + 1, length));
        break;
    case ChannelKind::Unused:
        return;
    default:
        dispatchCommand(length);
        break;
    }
    // A frame that could not be written means the device is gone or will
    // not listen; going on as if it had been sent would mislead.
    if (frameFailed && portOpen)
        loseConnection();
    else if (portOpen)
        issueDeferredRead();
}

void CommControl::dispatchCommand(std::size_t length)
{
    if (length == 0)
        return;
    const std::uint8_t code = message[1];
    if (code == ChannelCommand::PortFailed && length == 2) {
        runPortFailed(message[2]);
        return;
    }
    if (code < ChannelCommand::Connect || code > ChannelCommand::AnswerMeridianFlip)
        return;
    if (code == ChannelCommand::Connect && length == 6) {
        runConnect(message[2], readU32le(message + 3));
        return;
    }
    if (code == ChannelCommand::Disconnect) {
        runDisconnect();
        return;
    }
    if (!linkReady) {
        notificationListener->onStatus(Status::NotConnectedYet);
        return;
    }
    executeCommand(message + 1, length);
}

void CommControl::actOnLinkResult(int result)
{
    if (result == LinkResult::ConnectComplete)
        linkReady = true;
    else if (result == LinkResult::ClosePort)
        closePort();
}

void CommControl::runConnect(std::uint8_t portNumber, std::uint32_t baud)
{
    if (portOpen) {
        notificationListener->onStatus(Status::AlreadyConnected);
        return;
    }
    PortBinding binding;
    const bool known = catalog && catalog->resolve(portNumber, binding) && binding.port;
    notificationListener->onStatus(binding.simulated ? Status::TestingWithoutPort : Status::OpeningPort);
    if (!known) {
        notificationListener->onStatus(Status::CannotOpenPort);
        return;
    }
    if (!binding.port->open(binding.device, baud)) {
        const bool inUse = binding.port->openError() == OpenError::InUse;
        notificationListener->onStatus(inUse ? Status::PortInUse : Status::CannotOpenPort);
        return;
    }
    port = binding.port;
    connection = static_cast<std::uint8_t>(connection + 1);
    discardedBytes = 0;
    portOpen = true;
    readerStop = false;
    if (options.startThreads)
        readerThread = std::thread([this] { readerLoop(); });
    notificationListener->onStatus(Status::Connecting);

    // Let the controller settle after the line comes up. No message is
    // handled meanwhile; what arrives waits in the channel. A shutdown cuts
    // the wait short.
    if (options.settleMs > 0 && channel.sleepUnlessStopped(options.settleMs))
        return;
    actOnLinkResult(startConnectSequence());
}

void CommControl::runDisconnect()
{
    if (!portOpen) {
        notificationListener->onStatus(Status::NotConnectedYet);
        return;
    }
    closePort();
    notificationListener->onStatus(Status::ConnectionClosed);
    if (discardedBytes > 0)
        notificationListener->onStatus(Status::OutputDiscarded);
}

void CommControl::runPortFailed(std::uint8_t failedConnection)
{
    // A failure posted by the reader of a connection closed since is old news.
    if (!portOpen || failedConnection != connection)
        return;
    loseConnection();
}

void CommControl::loseConnection()
{
    closePort();
    notificationListener->onStatus(Status::ConnectionLost);
}

void CommControl::reportSent(std::uint32_t status)
{
    if (!frameFailed)
        notificationListener->onStatus(status);
}

// ---------------------------------------------------------------------------
// Serial transport.

void CommControl::closePort()
{
    // The reader must be gone before the port closes under it. It may be
    // waiting for bytes, or for room in a channel that only this thread
    // (the worker) would ever empty: both waits are cut short, or the join
    // below would never return.
    readerStop = true;
    channel.wakeWriters();
    if (readerThread.joinable()) {
        if (port)
            port->wakeReader();
        readerThread.join();
    }
    if (portOpen && port) {
        port->close();
        discardedBytes = port->discardedAtClose();
    }
    port = nullptr;
    linkReady = false;
    portOpen = false;
}

void CommControl::readerLoop()
{
    std::uint8_t buffer[serialReadSize];
    while (!readerStop) {
        const int n = port->read(buffer, sizeof buffer, readerWaitMs);
        if (n > 0 && !forwardReceived(buffer, static_cast<std::size_t>(n)))
            return;
        if (n < 0) {
            // End of file, a hang-up or an I/O error: the device has gone.
            // The worker closes the port; this thread has nothing left to read.
            postPortFailed();
            return;
        }
    }
}

void CommControl::postPortFailed()
{
    const std::uint8_t msg[3] = {commandHeader(2), ChannelCommand::PortFailed, connection.load()};
    writeMessage(msg, sizeof msg, &readerStop);
}

bool CommControl::forwardReceived(const std::uint8_t* bytes, std::size_t count)
{
    std::uint8_t msg[1 + maxSerialChunk];
    while (count > 0) {
        const std::size_t n = count < maxSerialChunk ? count : maxSerialChunk;
        msg[0] = static_cast<std::uint8_t>(0xE0 | n);
        std::memcpy(msg + 1, bytes, n);
        // Bytes still waiting for room when the port is being closed are
        // dropped with it.
        if (!writeMessage(msg, n + 1, &readerStop))
            return false;
        bytes += n;
        count -= n;
    }
    return true;
}

}  // namespace kv7
