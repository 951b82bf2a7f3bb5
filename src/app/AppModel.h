// The hand-over point between the controller link (worker thread) and the
// main window (user-interface thread).
#pragma once

#include <atomic>
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

// The instant t moved by the given seconds (either way), on the Gregorian
// calendar.
UtcTime shiftedUtc(const UtcTime& t, std::int64_t seconds);

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

    // The site longitude in degrees, east positive, and a correction of the
    // computer's clock in seconds: both feed every sidereal time from the
    // next call on. Any thread; the link reads them on its own.
    void setSiteLongitude(double degrees);
    double siteLongitude() const;
    void setUtcCorrection(std::int64_t seconds);
    std::int64_t utcCorrection() const;
    // The clock's instant with the correction applied.
    UtcTime utcNow() const;

private:
    std::mutex lock;
    iKV7Control* control = nullptr;
    ControllerParameters pendingParameters{};
    AxisConfiguration pendingAxisConfiguration{};
    MountState pendingMountState{};
    // A NotifyMountState is posted and not yet dispatched. Statuses,
    // configurations and prompts are each posted: they are few, and each
    // carries a value that must reach the window in order.
    bool mountStatePosted = false;
    std::uint32_t pendingExtra = 0;
    iWMUserSender* sender = nullptr;
    iMainDlgCallback* mainDialog = nullptr;
    SystemUtcClock systemClock;
    const iUtcClock* clock;

    std::atomic<double> longitude;
    std::atomic<std::int64_t> correction{0};

public:
    // Displayed copies: written only on the user-interface thread, read there
    // directly by the windows.
    ControllerParameters parameters{};
    AxisConfiguration axisConfiguration{};
    MountState mountState{};
    std::uint32_t extra = 0;
};

}  // namespace kv7
