// The hand-over point between the controller link (worker thread) and the
// main window (user-interface thread).
#pragma once

#include <cstdint>
#include <mutex>

#include "app/Interfaces.h"
#include "app/Records.h"

namespace kv7 {

// The clock used when none is injected: the system's UTC clock.
class SystemUtcClock final : public iUtcClock {
public:
    UtcTime now() const override;
};

class AppModel final : public iNotificationListener, public iSiderealTime {
public:
    static constexpr double defaultSiteLongitude = 19.5;

    explicit AppModel(const iUtcClock* clock = nullptr, double siteLongitude = defaultSiteLongitude);

    void setControl(iKV7Control* c) { control = c; }
    void setSender(iWMUserSender* s) { sender = s; }
    void setMainDialog(iMainDlgCallback* d) { mainDialog = d; }
    iKV7Control* controlLink() const { return control; }

    // iNotificationListener, called on the link worker thread.
    void onStatus(std::uint32_t status) override;
    void onConfiguration(std::uint32_t status, std::uint32_t extra, const ControllerParameters& p,
                         const AxisConfiguration& a) override;
    void onMeridianFlipPrompt(std::int32_t kind) override;
    void onMountState(const MountState& m) override;

    // User-interface thread.
    void dispatchUserMessage(std::uint32_t code, std::uint32_t value);
    void connect(std::uint32_t port, std::uint32_t baud);

    // Local sidereal time in hours, not folded into one day. Any thread.
    double localSiderealTime() const override;

private:
    std::mutex lock;
    iKV7Control* control = nullptr;
    ControllerParameters pendingParameters{};
    AxisConfiguration pendingAxisConfiguration{};
    MountState pendingMountState{};
    std::uint32_t pendingExtra = 0;
    iWMUserSender* sender = nullptr;
    iMainDlgCallback* mainDialog = nullptr;
    SystemUtcClock systemClock;
    const iUtcClock* clock;

public:
    // Never changed after construction, so both threads read it without the lock.
    const double siteLongitude;

    // Displayed copies: written only on the user-interface thread, read there
    // directly by the windows.
    ControllerParameters parameters{};
    AxisConfiguration axisConfiguration{};
    MountState mountState{};
    std::uint32_t extra = 0;
};

}  // namespace kv7
