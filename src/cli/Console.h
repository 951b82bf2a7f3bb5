// kv7ctl's stand-in for the main window: posted notifications are queued
// and dispatched on the thread that runs the command, exactly as a window
// would dispatch them on its user-interface thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "app/AppModel.h"
#include "app/Interfaces.h"

namespace kv7::cli {

class Console final : public iMainDlgCallback, public iWMUserSender {
public:
    // Decides the answer to a meridian-flip question: 0 cancel, 1 without
    // flip, 2 with flip.
    using FlipDecider = std::function<std::uint16_t(std::int32_t kind)>;

    Console(AppModel& model, iKV7Control& control);

    void setFlipDecider(FlipDecider decider) { decide = std::move(decider); }
    // Also told of every mount state and status as it is shown; empty: none.
    void setWatchers(std::function<void(const MountState&)> mountStates, std::function<void(std::uint16_t)> statuses)
    {
        mountStateWatcher = std::move(mountStates);
        statusWatcher = std::move(statuses);
    }

    // iWMUserSender: any thread.
    void postUserMessage(std::uint32_t code, std::uint32_t value) override;

    // iMainDlgCallback: called by the model's dispatch on this thread.
    void showStatus(std::uint16_t status) override;
    void showConfiguration(std::uint16_t status, std::uint32_t extra) override;
    void askMeridianFlip(std::int32_t kind) override;
    void showMountState(const MountState& mountState) override;

    // Dispatches posted notifications until done() holds or the time is up.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // What has been shown so far.
    const std::vector<std::uint16_t>& statuses() const { return statusLog; }
    bool sawStatus(std::uint16_t status) const;
    // The first error status (isErrorStatus) shown, or -1.
    int firstError() const;
    int configurations() const { return configurationCount; }
    int mountStates() const { return mountStateCount; }
    // Every mount state shown, the motor axes' readings among them.
    int allMountStates() const { return allMountStateCount; }
    const std::vector<std::int32_t>& prompts() const { return promptLog; }
    const std::vector<std::uint16_t>& answers() const { return answerLog; }

private:
    AppModel& model;
    iKV7Control& control;
    FlipDecider decide;
    std::function<void(const MountState&)> mountStateWatcher;
    std::function<void(std::uint16_t)> statusWatcher;

    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::pair<std::uint32_t, std::uint32_t>> queue;

    std::vector<std::uint16_t> statusLog;
    std::vector<std::int32_t> promptLog;
    std::vector<std::uint16_t> answerLog;
    int configurationCount = 0;
    int mountStateCount = 0;
    int allMountStateCount = 0;
};

}  // namespace kv7::cli
