#include "cli/Console.h"

#include <algorithm>

#include "app/StatusText.h"
#include "app/Codes.h"

namespace kv7::cli {

Console::Console(AppModel& m, iKV7Control& c) : model(m), control(c) {}

void Console::postUserMessage(std::uint32_t code, std::uint32_t value)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        queue.emplace_back(code, value);
    }
    posted.notify_one();
}

void Console::showStatus(std::uint16_t status)
{
    statusLog.push_back(status);
    if (statusWatcher)
        statusWatcher(status);
}

void Console::showConfiguration(std::uint16_t status, std::uint32_t)
{
    ++configurationCount;
    statusLog.push_back(status);
}

void Console::askMeridianFlip(std::int32_t kind)
{
    promptLog.push_back(kind);
    const std::uint16_t answer = decide ? decide(kind) : std::uint16_t{FlipAnswer::Cancel};
    answerLog.push_back(answer);
    control.answerMeridianFlip(answer);
}

void Console::showMountState(const MountState& mountState)
{
    ++allMountStateCount;
    if (mountState.valid == 1)
        ++mountStateCount;
    if (mountStateWatcher)
        mountStateWatcher(mountState);
}

bool Console::runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (done())
            return true;
        std::pair<std::uint32_t, std::uint32_t> message;
        {
            std::unique_lock<std::mutex> guard(mutex);
            if (!posted.wait_until(guard, deadline, [&] { return !queue.empty(); }))
                return done();
            message = queue.front();
            queue.pop_front();
        }
        model.dispatchUserMessage(message.first, message.second);
    }
}

bool Console::sawStatus(std::uint16_t status) const
{
    return std::find(statusLog.begin(), statusLog.end(), status) != statusLog.end();
}

int Console::firstError() const
{
    for (std::uint16_t s : statusLog) {
        if (isErrorStatus(s))
            return s;
    }
    return -1;
}

}  // namespace kv7::cli
