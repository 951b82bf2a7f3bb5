#include "sim/hosts/HostedController.h"

#include <algorithm>
#include <cmath>

namespace kv7::sim {

namespace {

constexpr int changingPollMs = 10;   // the engine's own step while an axis accelerates
constexpr int steadyPollMs = 250;
// Replies nobody reads are dropped past this, as a real line would lose them.
constexpr std::size_t maxPendingOutput = 64 * 1024;
// Bytes from a client that a slow line has not delivered yet are kept up to this.
constexpr std::size_t maxPendingInput = 64 * 1024;

}  // namespace

std::chrono::microseconds HostedController::waitLimit()
{
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    microseconds limit = timeToNextByte();
    std::lock_guard<std::mutex> guard(mutex);
    const bool quiet = controller.steady() && !controller.hasPartialFrame() && !controller.vanished();
    limit = std::min<microseconds>(limit, milliseconds(quiet ? steadyPollMs : changingPollMs));
    if (options.timeScale > 0.0 && controller.hasQueuedOutput()) {
        const double due = (controller.nextReleaseTime() - controller.now()) / options.timeScale;
        const auto dueMicroseconds = static_cast<microseconds::rep>(std::ceil(due * 1e6));
        limit = std::clamp(microseconds(dueMicroseconds), microseconds(0), limit);
    }
    return limit;
}

int HostedController::waitLimitMs()
{
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(waitLimit()).count());
}

std::chrono::microseconds HostedController::timeToNextByte() const
{
    using std::chrono::microseconds;
    const microseconds longest = std::chrono::milliseconds(steadyPollMs);
    const Clock::time_point next = std::min(inboundLine.handOnAt(deliveryGrain), outboundLine.handOnAt(deliveryGrain));
    if (next == Clock::time_point::max())
        return longest;
    const microseconds wait = std::chrono::ceil<microseconds>(next - Clock::now());
    return std::clamp(wait, microseconds(0), longest);
}

void HostedController::advanceTo(Clock::time_point now)
{
    if (options.timeScale > 0.0 && now > lastTick)
        controller.advance(std::chrono::duration<double>(now - lastTick).count() * options.timeScale);
    lastTick = std::max(lastTick, now);
}

void HostedController::deliverArrived(Clock::time_point now)
{
    if (now < inboundLine.handOnAt(deliveryGrain))
        return;
    // Bytes reach the controller at the moment they came through, and a
    // reply takes the line from then, however late the host's thread
    // looked: a command acts when its last byte arrived.
    std::size_t delivered = 0;
    while (inboundLine.nextOut() <= now) {
        const std::size_t n = inboundLine.take(options.lineRate == 0 ? now : inboundLine.nextOut());
        if (n == 0)
            break;
        const Clock::time_point arrived = std::min(now, inboundLine.lastTakenOut());
        advanceTo(arrived);
        if (options.replay)
            options.replay->receive(inboundBytes.data() + delivered, n);
        else
            controller.receive(inboundBytes.data() + delivered, n);
        delivered += n;
        lastInput = std::max(lastInput, arrived);
        sendReplies(std::max(arrived, lastTick));
    }
    inboundBytes.erase(inboundBytes.begin(), inboundBytes.begin() + static_cast<std::ptrdiff_t>(delivered));
}

void HostedController::sendReplies(Clock::time_point now)
{
    std::uint8_t chunk[256];
    const auto read = [&] {
        return options.replay ? options.replay->read(chunk, sizeof chunk) : controller.read(chunk, sizeof chunk);
    };
    while (const std::size_t n = read()) {
        if (outboundBytes.size() + n > maxPendingOutput)
            continue;
        outboundBytes.insert(outboundBytes.end(), chunk, chunk + n);
        outboundLine.hand(n, now);
    }
}

void HostedController::receiveFromClient(const std::uint8_t* data, std::size_t length, Clock::time_point now)
{
    // A host that cannot hold a client back loses what overruns the line,
    // as a receiver does.
    if (options.transcript)
        options.transcript->record(transcript::Direction::ToController, data, length);
    const std::size_t kept = std::min(length, maxPendingInput - std::min(maxPendingInput, inboundBytes.size()));
    inboundBytes.insert(inboundBytes.end(), data, data + kept);
    inboundLine.hand(kept, now);
    {
        std::lock_guard<std::mutex> guard(mutex);
        deliverArrived(now);
        advanceTo(now);
    }
    changed.notify_all();
}

void HostedController::catchUp(Clock::time_point now, std::vector<std::uint8_t>& toClient)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        deliverArrived(now);
        advanceTo(now);
        // Real controllers give up on a frame whose bytes stop coming;
        // without this a lost byte would swallow the next command.
        if (controller.hasPartialFrame() && inboundBytes.empty() &&
            now - lastInput > std::chrono::milliseconds(options.quietResetMs))
            controller.dropPartialFrame();
        sendReplies(now);
    }
    const std::size_t through = now >= outboundLine.handOnAt(deliveryGrain) ? outboundLine.take(now) : 0;
    if (options.transcript)
        options.transcript->record(transcript::Direction::ToHost, outboundBytes.data(), through);
    if (toClient.size() + through <= maxPendingOutput)
        toClient.insert(toClient.end(), outboundBytes.begin(), outboundBytes.begin() + static_cast<std::ptrdiff_t>(through));
    outboundBytes.erase(outboundBytes.begin(), outboundBytes.begin() + static_cast<std::ptrdiff_t>(through));
    changed.notify_all();
}

}  // namespace kv7::sim
