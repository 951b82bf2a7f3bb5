// The worker: the channel's message assembler and dispatcher, connect and
// disconnect, and the serial transport with its reader thread.
#include <chrono>
#include <cstring>

#include "link/CommControl.h"

namespace kv7 {

namespace {

constexpr std::size_t workerReadSize = 20;    // the worker takes at most this much per read
constexpr int workerWaitMs = 300;             // ... and wakes at least this often
constexpr std::size_t serialReadSize = 128;
constexpr int readerWaitMs = 200;             // the reader notices a stop within this
constexpr std::size_t maxSerialChunk = 31;    // the largest payload a channel header can carry
// How long a thread that would handle a message in place waits for the
// link lock before it hands the message to the worker instead.
constexpr auto inPlaceWait = std::chrono::microseconds(100);

}  // namespace

// ---------------------------------------------------------------------------
// Worker, assembler and dispatcher.

void CommControl::workerLoop()
{
    std::uint8_t buffer[workerReadSize];
    for (;;) {
        const int n = channel.read(buffer, sizeof buffer, workerWaitMs);
        if (n < 0)
            return;
        const std::lock_guard<std::mutex> guard(handling);
        for (int i = 0; i < n; ++i)
            assemble(buffer[i]);
        bytesHandled += static_cast<std::size_t>(n);
    }
}

bool CommControl::handleInPlace(const std::uint8_t* msg, std::size_t length)
{
    // Only when the worker is between messages and none waits for it: then
    // handling this one here comes in the same order as the worker would,
    // and saves waking the worker and the hand-off. (Without threads the
    // caller pumps the channel and expects to find the message there.)
    if (!options.startThreads || !options.handleInPlace)
        return false;
    std::unique_lock<std::mutex> guard(handling, std::defer_lock);
    if (!takeHandling(guard))
        return false;
    if (assemblerState != 0 || bytesHandled != bytesPosted.load(std::memory_order_acquire) || channel.stopped())
        return false;
    for (std::size_t i = 0; i < length; ++i)
        assemble(msg[i]);
    return true;
}

bool CommControl::takeHandling(std::unique_lock<std::mutex>& guard)
{
    // A holder that was only preempted (often by the very thread it woke)
    // lets go within microseconds; yielding gives it the core. One busy for
    // longer, joining this thread, or this thread itself (a listener asking
    // for a reading from inside a notification) is given up on after
    // inPlaceWait, and the message goes to the worker.
    const auto deadline = std::chrono::steady_clock::now() + inPlaceWait;
    while (!guard.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
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
    if (portOpen && !frameFailed)
        issueDeferredRead();
    // A frame that could not be written (the deferred reading's too) means
    // the device is gone or will not listen; going on as if it had been
    // sent would mislead.
    if (frameFailed && portOpen)
        loseConnection();
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
    const bool known = (code >= ChannelCommand::Connect && code <= ChannelCommand::AnswerMeridianFlip) ||
                       code == ChannelCommand::SyncToEncoders;
    if (!known)
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
    joinReader();   // one that closed the previous connection itself
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
    joinReader();
    if (portOpen && port) {
        port->close();
        discardedBytes = port->discardedAtClose();
    }
    port = nullptr;
    linkReady = false;
    portOpen = false;
}

void CommControl::joinReader()
{
    // The reader itself closes the port when a reply it handles in place
    // ends the connection; it leaves its loop on return, and the next
    // connect or close joins it.
    if (!readerThread.joinable() || readerThread.get_id() == std::this_thread::get_id())
        return;
    if (port)
        port->wakeReader();
    readerThread.join();
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
        if (!handleInPlace(msg, n + 1) && !writeMessage(msg, n + 1, &readerStop))
            return false;
        bytes += n;
        count -= n;
    }
    return true;
}

}  // namespace kv7
