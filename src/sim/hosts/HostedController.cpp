#include "sim/hosts/HostedController.h"

#include <algorithm>

namespace kv7::sim {

namespace {

constexpr int changingPollMs = 10;   // the engine's own step while an axis accelerates
constexpr int steadyPollMs = 250;
// Replies nobody reads are dropped past this, as a real line would lose them.
constexpr std::size_t maxPendingOutput = 64 * 1024;

}  // namespace

int HostedController::waitLimitMs()
{
    std::lock_guard<std::mutex> guard(mutex);
    const bool quiet = controller.steady() && !controller.hasPartialFrame() && !controller.vanished();
    int limit = quiet ? steadyPollMs : changingPollMs;
    if (options.timeScale > 0.0 && controller.hasQueuedOutput()) {
        const double due = (controller.nextReleaseTime() - controller.now()) / options.timeScale;
        limit = std::clamp(static_cast<int>(std::ceil(due * 1000.0)), 0, limit);
    }
    return limit;
}

void HostedController::advanceTo(Clock::time_point now)
{
    if (options.timeScale > 0.0 && now > lastTick)
        controller.advance(std::chrono::duration<double>(now - lastTick).count() * options.timeScale);
    lastTick = std::max(lastTick, now);
}

void HostedController::receiveFromClient(const std::uint8_t* data, std::size_t length, Clock::time_point now)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        advanceTo(now);
        controller.receive(data, length);
    }
    lastInput = now;
    changed.notify_all();
}

void HostedController::catchUp(Clock::time_point now, std::vector<std::uint8_t>& toClient)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        advanceTo(now);
        // Real controllers give up on a frame whose bytes stop coming;
        // without this a lost byte would swallow the next command.
        if (controller.hasPartialFrame() && now - lastInput > std::chrono::milliseconds(options.quietResetMs))
            controller.dropPartialFrame();
        const std::vector<std::uint8_t> out = controller.readAll();
        if (toClient.size() + out.size() <= maxPendingOutput)
            toClient.insert(toClient.end(), out.begin(), out.end());
    }
    changed.notify_all();
}

}  // namespace kv7::sim
