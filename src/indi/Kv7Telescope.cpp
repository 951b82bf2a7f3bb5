#include "indi/Kv7Telescope.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <libindi/indicom.h>
#include <libnova/julian_day.h>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "cli/Ports.h"

namespace kv7::indi {

namespace {

using namespace std::chrono;

constexpr std::uint32_t pollMs = 200;
constexpr int connectLimitMs = 15000;
constexpr int disconnectLimitMs = 5000;
constexpr std::uint32_t bauds[2] = {9600, 115200};

Application::Options appOptions(const Kv7Telescope::Environment& env, const UserSettings& site)
{
    Application::Options o;
    o.catalog = env.catalog;
    o.siteLongitude = site.longitude;
    return o;
}

UserSettings loadSite(iSettingsStore* store)
{
    std::vector<std::string> problems;
    return store ? loadUserSettings(*store, problems) : UserSettings{};
}

}  // namespace

Kv7Telescope::Kv7Telescope(const Environment& environment)
    : env(environment), site(loadSite(environment.settings)), app(appOptions(env, site)),
      console(app.model(), app.control())
{
    setVersion(1, 0);
    setTelescopeConnection(CONNECTION_NONE);
    SetTelescopeCapability(TELESCOPE_CAN_GOTO | TELESCOPE_CAN_SYNC | TELESCOPE_CAN_ABORT | TELESCOPE_HAS_TIME |
                               TELESCOPE_HAS_LOCATION | TELESCOPE_HAS_PIER_SIDE | TELESCOPE_CAN_CONTROL_TRACK,
                           static_cast<std::uint8_t>(slewRates().size()));
    app.attachFrontEnd(&console, &console);
    console.setFlipDecider([this](std::int32_t kind) { return onFlipQuestion(kind); });
    console.setWatchers([this](const MountState& m) { onMountState(m); },
                        [this](std::uint16_t s) { onStatus(s); });
    app.start();
}

Kv7Telescope::~Kv7Telescope() { app.shutdown(); }

bool Kv7Telescope::initProperties()
{
    INDI::Telescope::initProperties();
    IUFillText(&PortT[0], "PORT", "Port", "sim");
    IUFillTextVector(&PortTP, PortT, 1, getDeviceName(), "DEVICE_PORT", "Ports", CONNECTION_TAB, IP_RW, 60, IPS_IDLE);
    IUFillSwitch(&BaudS[0], "9600", "9600", ISS_ON);
    IUFillSwitch(&BaudS[1], "115200", "115200", ISS_OFF);
    IUFillSwitchVector(&BaudSP, BaudS, 2, getDeviceName(), "DEVICE_BAUD_RATE", "Baud Rate", CONNECTION_TAB, IP_RW,
                       ISR_1OFMANY, 60, IPS_IDLE);
    // libindi names the rates; the labels say which speeds they are.
    for (std::size_t i = 0; i < slewRates().size(); ++i) {
        std::snprintf(SlewRateS[i].label, sizeof SlewRateS[i].label, "%s", slewRates()[i].label);
        SlewRateS[i].s = slewRates()[i].speedIndex == speedIndex ? ISS_ON : ISS_OFF;
    }
    if (site.siteSet) {
        LocationN[LOCATION_LATITUDE].value = site.latitude;
        LocationN[LOCATION_LONGITUDE].value = indiLongitudeFromSite(site.longitude);
    }
    initKv7Tab();
    addDebugControl();
    addConfigurationControl();
    addPollPeriodControl();
    setDefaultPollingPeriod(pollMs);
    SetTimer(pollMs);
    return true;
}

void Kv7Telescope::ISGetProperties(const char* dev)
{
    INDI::Telescope::ISGetProperties(dev);
    defineProperty(&PortTP);
    defineProperty(&BaudSP);
    // Once: every client's getProperties comes here, and a port set since
    // must not fall back to the saved one.
    if (!portConfigLoaded) {
        portConfigLoaded = true;
        loadConfig(true, PortTP.name);
        loadConfig(true, BaudSP.name);
    }
}

bool Kv7Telescope::updateProperties()
{
    INDI::Telescope::updateProperties();
    if (isConnected()) {
        defineKv7Tab();
        showConfiguration();
    } else {
        deleteKv7Tab();
    }
    return true;
}

bool Kv7Telescope::saveConfigItems(FILE* fp)
{
    INDI::Telescope::saveConfigItems(fp);
    IUSaveConfigText(fp, &PortTP);
    IUSaveConfigSwitch(fp, &BaudSP);
    IUSaveConfigSwitch(fp, &FlipPolicySP);
    return true;
}

bool Kv7Telescope::ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n)
{
    if (dev && !std::strcmp(dev, getDeviceName()) && !std::strcmp(name, PortTP.name)) {
        IUUpdateText(&PortTP, texts, names, n);
        PortTP.s = IPS_OK;
        IDSetText(&PortTP, nullptr);
        return true;
    }
    return INDI::Telescope::ISNewText(dev, name, texts, names, n);
}

bool Kv7Telescope::ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n)
{
    if (dev && !std::strcmp(dev, getDeviceName())) {
        if (!std::strcmp(name, BaudSP.name)) {
            IUUpdateSwitch(&BaudSP, states, names, n);
            BaudSP.s = IPS_OK;
            IDSetSwitch(&BaudSP, nullptr);
            return true;
        }
        if (newKv7Switch(name, states, names, n))
            return true;
    }
    return INDI::Telescope::ISNewSwitch(dev, name, states, names, n);
}

bool Kv7Telescope::ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n)
{
    if (dev && !std::strcmp(dev, getDeviceName()) && (refusedCoordinates(name, values, names, n) ||
                                                      newKv7Number(name, values, names, n)))
        return true;
    return INDI::Telescope::ISNewNumber(dev, name, values, names, n);
}

// libindi's telescope ignores a position out of range without a word; a
// client is told, and the mount is not moved.
bool Kv7Telescope::refusedCoordinates(const char* name, const double values[], char* names[], int n)
{
    if (!name || std::strcmp(name, EqNP.name) != 0)
        return false;
    double ra = EqN[AXIS_RA].value;
    double dec = EqN[AXIS_DE].value;
    for (int i = 0; i < n; ++i) {
        if (!std::strcmp(names[i], EqN[AXIS_RA].name))
            ra = values[i];
        else if (!std::strcmp(names[i], EqN[AXIS_DE].name))
            dec = values[i];
    }
    const std::string problem = coordinateProblem(ra, dec);
    if (problem.empty())
        return false;
    EqNP.s = IPS_ALERT;
    IDSetNumber(&EqNP, "Refused: %s; nothing was sent", problem.c_str());
    return true;
}

// ---------------------------------------------------------------------------
// Connection.

bool Kv7Telescope::resolvePort(std::uint32_t& number)
{
    cli::Environment e;
    e.catalog = env.catalog;
    e.addDevice = env.addDevice;
    std::ostringstream complaint;
    e.err = &complaint;
    // An empty port is the first plug-in adapter, as kv7ctl takes it.
    if (cli::resolvePort(PortT[0].text ? PortT[0].text : "", e, number) == 0)
        return true;
    // kv7ctl's complaint, without its program name and line end.
    std::string text = complaint.str();
    if (text.rfind("kv7ctl: ", 0) == 0)
        text.erase(0, 8);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    LOGF_ERROR("%s", text.c_str());
    return false;
}

std::uint32_t Kv7Telescope::baudRate() const
{
    const int on = IUFindOnSwitchIndex(&BaudSP);
    return bauds[on == 1 ? 1 : 0];
}

bool Kv7Telescope::pumpUntil(const std::function<bool()>& done, int limitMs)
{
    return console.runUntil(done, milliseconds(limitMs));
}

bool Kv7Telescope::statusSince(std::size_t from, const std::function<bool(std::uint16_t)>& which) const
{
    for (std::size_t i = from; i < console.statuses().size(); ++i) {
        if (which(console.statuses()[i]))
            return true;
    }
    return false;
}

bool Kv7Telescope::waitForStatus(std::uint16_t status, int limitMs)
{
    const std::size_t from = console.statuses().size();
    return pumpUntil([&] { return statusSince(from, [&](std::uint16_t s) { return s == status; }); }, limitMs);
}

bool Kv7Telescope::Connect()
{
    std::uint32_t number = 0;
    if (!resolvePort(number))
        return false;
    pump();
    const std::size_t from = console.statuses().size();
    const int configurations = console.configurations();
    std::uint16_t failure = 0;
    const auto failed = [&](std::uint16_t s) {
        if (isErrorStatus(s))
            failure = s;
        return failure != 0;
    };
    connecting = true;
    app.model().connect(number, baudRate());
    const bool done = pumpUntil([&] { return statusSince(from, failed) || console.configurations() > configurations; },
                                connectLimitMs);
    connecting = false;
    if (done && failure == 0) {
        LOGF_INFO("Connected to the KV7 on %s.", number == 0 ? "the built-in simulator" : PortT[0].text);
        return true;
    }
    LOGF_ERROR("Cannot connect: %s", failure ? statusText(failure) : "no answer from the controller");
    Disconnect();
    return false;
}

bool Kv7Telescope::Disconnect()
{
    slewing = false;
    if (app.control().isPortOpen()) {
        app.control().disconnect();
        waitForStatus(Status::ConnectionClosed, disconnectLimitMs);
    }
    return true;
}

// ---------------------------------------------------------------------------
// The link's notifications.

void Kv7Telescope::TimerHit()
{
    pump();
    if (console.configurations() != configurationsShown) {
        // The connect sequence's end (or a reconnect's) carries its status
        // with the configuration.
        configurationsShown = console.configurations();
        if (!console.statuses().empty())
            showStatusText(console.statuses().back());
    }
    if (isConnected() && app.control().isLinkReady()) {
        // Alternately where the axes point and what the encoders read; the
        // link defers a reading while it waits for another reply.
        app.control().readEncoders(++tick % 2 ? ReadMode::Axes : ReadMode::Encoders);
    }
    SetTimer(getCurrentPollingPeriod());
}

bool Kv7Telescope::ReadScopeStatus()
{
    publishPosition();
    return true;
}

void Kv7Telescope::showStatusText(std::uint16_t status)
{
    const char* text = statusText(status);
    IUSaveText(&StatusT[0], text ? text : "");
    StatusTP.s = isErrorStatus(status) ? IPS_ALERT : IPS_OK;
    if (isConnected())
        IDSetText(&StatusTP, nullptr);
}

void Kv7Telescope::onStatus(std::uint16_t status)
{
    showStatusText(status);
    if (connecting)
        return;
    switch (statusEffect(status)) {
    case StatusEffect::Arrived: onArrived(); break;
    case StatusEffect::Synced:
        positionAlert = false;
        LOG_INFO("Synced.");
        break;
    case StatusEffect::Done: settle(IPS_OK); break;
    case StatusEffect::Refused: onRefused(status); break;
    case StatusEffect::Lost: onLost(); break;
    default: break;
    }
}

void Kv7Telescope::settle(IPState state)
{
    if (pendingRequest)
        pendingRequest(state);
    pendingRequest = nullptr;
}

void Kv7Telescope::onArrived()
{
    if (!slewing)
        return;
    slewing = false;
    app.control().setTracking(trackAfterSlew ? 1 : 0);
    // The light turns Ok with the first reading taken at rest, so the
    // coordinates shown with it are where the mount stopped.
    settleOnReading = true;
    app.control().readEncoders(ReadMode::Axes);
}

void Kv7Telescope::onRefused(std::uint16_t status)
{
    LOGF_ERROR("%s", statusText(status));
    settle(IPS_ALERT);
    // Busy positioning refuses the new request, not the GOTO under way.
    if ((slewing && status != Status::BusyPositioning) || status == Status::NoReply)
        failPositioning();
}

void Kv7Telescope::failPositioning()
{
    slewing = false;
    positionAlert = true;
    TrackState = SCOPE_IDLE;
    EqNP.s = IPS_ALERT;
    IDSetNumber(&EqNP, nullptr);
}

void Kv7Telescope::onLost()
{
    LOG_ERROR("The connection to the KV7 is lost.");
    slewing = false;
    settle(IPS_ALERT);
    app.control().disconnect();
    setConnected(false, IPS_ALERT);
    updateProperties();
}

std::uint16_t Kv7Telescope::onFlipQuestion(std::int32_t kind)
{
    const auto policy = static_cast<FlipPolicy>(IUFindOnSwitchIndex(&FlipPolicySP));
    const std::uint8_t answer = flipAnswer(policy, kind);
    if (answer == FlipAnswer::Cancel) {
        LOGF_WARN("GOTO cancelled: %s", kind == FlipPrompt::PierUnsettled
                                           ? "the side of the pier is not known; set a reference position first"
                                           : "it needs a meridian flip, which the flip choice does not allow");
        failPositioning();
    } else if (answer == FlipAnswer::WithFlip) {
        LOG_INFO("GOTO with a meridian flip.");
    }
    return answer;
}

void Kv7Telescope::onMountState(const MountState& m)
{
    last = m;
    if (!isConnected())
        return;
    showEncoderReading(m);
    if (!m.axesValid)
        return;
    if (settleOnReading) {
        settleOnReading = false;
        TrackState = trackAfterSlew ? SCOPE_TRACKING : SCOPE_IDLE;
    }
    setPierSide(static_cast<TelescopePierSide>(indiPierSide(m.pierState)));
    publishPosition();
}

void Kv7Telescope::publishPosition()
{
    if (!last.skyValid)
        return;
    const double ra = raHoursFromArcsec(last.raArcsec);
    const double dec = decDegreesFromArcsec(last.decArcsec);
    if (!positionAlert) {
        NewRaDec(ra, dec);
        return;
    }
    EqN[AXIS_RA].value = ra;
    EqN[AXIS_DE].value = dec;
    EqNP.s = IPS_ALERT;
    IDSetNumber(&EqNP, nullptr);
}

// ---------------------------------------------------------------------------
// Requests.

bool Kv7Telescope::Goto(double ra, double dec)
{
    positionAlert = false;
    trackAfterSlew = IUFindOnSwitchIndex(&CoordSP) != 1;   // TRACK, SLEW, SYNC
    slewing = true;
    settleOnReading = false;
    TrackState = SCOPE_SLEWING;
    app.control().gotoTarget(raArcsecFromHours(ra), decArcsecFromDegrees(dec));
    char raText[32], decText[32];
    fs_sexa(raText, ra, 2, 3600);
    fs_sexa(decText, dec, 2, 3600);
    LOGF_INFO("Slewing to RA %s, Dec %s.", raText, decText);
    publishPosition();
    return true;
}

bool Kv7Telescope::Sync(double ra, double dec)
{
    positionAlert = false;
    const std::size_t from = console.statuses().size();
    app.control().syncToTarget(raArcsecFromHours(ra), decArcsecFromDegrees(dec));
    // Sync's answer is the link's: synced, or refused (busy, not connected,
    // the side of the pier unknown).
    const auto synced = [&] { return statusSince(from, [](std::uint16_t s) { return s == Status::SyncedToTarget; }); };
    pumpUntil([&] { return synced() || statusSince(from, isErrorStatus) || positionAlert; }, 2000);
    if (!synced())
        return false;
    app.control().readEncoders(ReadMode::Axes);
    return true;
}

bool Kv7Telescope::Abort()
{
    slewing = false;
    settleOnReading = false;
    // Abort, not Both: a GOTO's next pass would otherwise aim again.
    app.control().stopMotion(StopAxes::Abort);
    TrackState = SCOPE_IDLE;
    LOG_INFO("Motion stopped.");
    return true;
}

bool Kv7Telescope::MoveNS(INDI_DIR_NS dir, TelescopeMotionCommand command)
{
    if (command == MOTION_STOP) {
        app.control().stopMotion(StopAxes::DecAxis);
        return true;
    }
    app.control().manualMove(dir == DIRECTION_NORTH ? HandPad::North : HandPad::South, speedIndex);
    return true;
}

bool Kv7Telescope::MoveWE(INDI_DIR_WE dir, TelescopeMotionCommand command)
{
    if (command == MOTION_STOP) {
        app.control().stopMotion(StopAxes::RaAxis);
        return true;
    }
    app.control().manualMove(dir == DIRECTION_WEST ? HandPad::West : HandPad::East, speedIndex);
    return true;
}

bool Kv7Telescope::SetSlewRate(int index)
{
    if (index < 0 || index >= static_cast<int>(slewRates().size()))
        return false;
    speedIndex = slewRates()[static_cast<std::size_t>(index)].speedIndex;
    SpeedN[0].value = speedIndex;
    if (isConnected())
        IDSetNumber(&SpeedNP, nullptr);
    return true;
}

bool Kv7Telescope::SetTrackEnabled(bool enabled)
{
    app.control().setTracking(enabled ? 1 : 0);
    if (!slewing)
        TrackState = enabled ? SCOPE_TRACKING : SCOPE_IDLE;
    trackAfterSlew = enabled;
    return true;
}

bool Kv7Telescope::updateLocation(double latitude, double longitude, double)
{
    site.siteSet = true;
    site.latitude = latitude;
    site.longitude = siteLongitudeFromIndi(longitude);
    app.model().setSiteLongitude(site.longitude);
    std::string error;
    if (env.settings && !env.settings->save(formatUserSettings(site), error))
        LOGF_WARN("The site is used but not kept: %s", error.c_str());
    return true;
}

bool Kv7Telescope::updateTime(ln_date* utc, double)
{
    // The model keeps the computer's clock and a correction to it, which
    // every sidereal time from now on takes into account.
    const sys_seconds given = sys_days{year{utc->years} / utc->months / utc->days} + hours{utc->hours} +
                              minutes{utc->minutes} + seconds{static_cast<long long>(utc->seconds)};
    const sys_seconds now = floor<seconds>(system_clock::now());
    app.model().setUtcCorrection((given - now).count());
    return true;
}

}  // namespace kv7::indi
