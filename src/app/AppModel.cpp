#include "app/AppModel.h"

#include <chrono>

#include "astro/Astro.h"

namespace kv7 {

namespace {

UtcTime utcFrom(std::chrono::sys_seconds t)
{
    using namespace std::chrono;
    const sys_days day = floor<days>(t);
    const year_month_day ymd(day);
    const hh_mm_ss<seconds> hms(t - day);
    UtcTime u;
    u.year = static_cast<int>(ymd.year());
    u.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    u.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    u.hour = static_cast<int>(hms.hours().count());
    u.minute = static_cast<int>(hms.minutes().count());
    u.second = static_cast<int>(hms.seconds().count());
    return u;
}

}  // namespace

UtcTime SystemUtcClock::now() const
{
    return utcFrom(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
}

UtcTime shiftedUtc(const UtcTime& t, std::int64_t seconds)
{
    using namespace std::chrono;
    const sys_days date{year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                       day{static_cast<unsigned>(t.day)}}};
    return utcFrom(date + hours{t.hour} + minutes{t.minute} + std::chrono::seconds{t.second} +
                   std::chrono::seconds{seconds});
}

AppModel::AppModel(const iUtcClock* utcClock, double longitude)
    : clock(utcClock ? utcClock : &systemClock), longitude(longitude)
{
}

void AppModel::setSiteLongitude(double degrees) { longitude.store(degrees); }

double AppModel::siteLongitude() const { return longitude.load(); }

void AppModel::setUtcCorrection(std::int64_t seconds) { correction.store(seconds); }

std::int64_t AppModel::utcCorrection() const { return correction.load(); }

UtcTime AppModel::utcNow() const
{
    const std::int64_t c = correction.load();
    return c == 0 ? clock->now() : shiftedUtc(clock->now(), c);
}

void AppModel::onStatus(std::uint32_t status)
{
    if (sender)
        sender->postUserMessage(NotifyStatus, status);
}

void AppModel::onConfiguration(std::uint32_t status, std::uint32_t extraValue, const ControllerParameters& p,
                               const AxisConfiguration& a)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        pendingParameters = p;
        pendingAxisConfiguration = a;
        pendingExtra = extraValue;
    }
    if (sender)
        sender->postUserMessage(NotifyConfiguration, status);
}

void AppModel::onMeridianFlipPrompt(std::int32_t kind)
{
    if (sender)
        sender->postUserMessage(NotifyMeridianFlipPrompt, static_cast<std::uint32_t>(kind));
}

void AppModel::onMountState(const MountState& m)
{
    // Readings may come as fast as the line allows: while one posted
    // message is waiting, a newer reading only replaces the record it will
    // show, so the window's queue never fills with them.
    bool post = false;
    {
        std::lock_guard<std::mutex> guard(lock);
        pendingMountState = m;
        post = sender && !mountStatePosted;
        mountStatePosted = mountStatePosted || post;
    }
    if (post)
        sender->postUserMessage(NotifyMountState, 0);
}

void AppModel::dispatchUserMessage(std::uint32_t code, std::uint32_t value)
{
    // No lock is held while a callback runs: askMeridianFlip opens a modal
    // prompt whose loop dispatches further messages before it returns.
    switch (code) {
    case NotifyStatus:
        if (mainDialog)
            mainDialog->showStatus(static_cast<std::uint16_t>(value));
        break;
    case NotifyConfiguration:
        {
            std::lock_guard<std::mutex> guard(lock);
            parameters = pendingParameters;
            axisConfiguration = pendingAxisConfiguration;
            extra = pendingExtra;
        }
        if (mainDialog)
            mainDialog->showConfiguration(static_cast<std::uint16_t>(value), extra);
        break;
    case NotifyMeridianFlipPrompt:
        if (mainDialog)
            mainDialog->askMeridianFlip(static_cast<std::int32_t>(value));
        break;
    case NotifyMountState:
        {
            std::lock_guard<std::mutex> guard(lock);
            mountState = pendingMountState;
            mountStatePosted = false;
        }
        if (mainDialog)
            mainDialog->showMountState(mountState);
        break;
    default:
        break;
    }
}

void AppModel::connect(std::uint32_t port, std::uint32_t baud)
{
    if (control)
        control->connect(port, baud);
}

double AppModel::localSiderealTime() const
{
    const UtcTime t = utcNow();
    return localSiderealTimeAt(t.year, t.month, t.day, t.hour, t.minute, t.second, longitude.load());
}

}  // namespace kv7
