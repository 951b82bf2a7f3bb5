#include "cli/Runner.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <thread>

#include "entry/Application.h"
#include "app/StatusText.h"
#include "astro/Astro.h"
#include "astro/TextConvert.h"
#include "cli/Console.h"
#include "app/Codes.h"
#include "link/PositioningMath.h"

namespace kv7::cli {

namespace {

using namespace std::chrono_literals;

class FixedUtc final : public iUtcClock {
public:
    explicit FixedUtc(const UtcTime& t) : instant(t) {}
    UtcTime now() const override { return instant; }

private:
    UtcTime instant;
};

// A small JSON object writer: keys in insertion order, numbers and strings.
class Json {
public:
    Json& num(const char* key, double v)
    {
        // Machine output keeps every digit the value has: the shortest text
        // that reads back as the same double (a Julian date needs 12 or more).
        if (!std::isfinite(v))
            return raw(key, "null");
        char b[64];
        const auto result = std::to_chars(b, b + sizeof b, v);
        return raw(key, std::string(b, result.ptr));
    }
    Json& num(const char* key, std::uint64_t v) { return raw(key, std::to_string(v)); }
    Json& num(const char* key, std::int64_t v) { return raw(key, std::to_string(v)); }
    Json& str(const char* key, const std::string& v)
    {
        std::string q = "\"";
        for (char c : v) {
            if (c == '"' || c == '\\')
                q += '\\';
            if (static_cast<unsigned char>(c) < 0x20) {
                char b[8];
                std::snprintf(b, sizeof b, "\\u%04x", c);
                q += b;
                continue;
            }
            q += c;
        }
        return raw(key, q + "\"");
    }
    Json& boolean(const char* key, bool v) { return raw(key, v ? "true" : "false"); }
    Json& object(const char* key, const Json& inner) { return raw(key, inner.text()); }
    Json& raw(const char* key, const std::string& v)
    {
        body += (body.empty() ? "" : ",") + std::string("\"") + key + "\":" + v;
        return *this;
    }
    std::string text() const { return "{" + body + "}"; }

private:
    std::string body;
};

template <class T>
std::string arrayOf(const T* values, std::size_t n)
{
    std::string s = "[";
    for (std::size_t i = 0; i < n; ++i)
        s += (i ? "," : "") + std::to_string(static_cast<std::uint64_t>(values[i]));
    return s + "]";
}

std::string dms(std::uint32_t arcsec)
{
    char b[32];
    formatSignedDms(b, sizeof b, 0, static_cast<std::int32_t>(arcsec), ':', ':');
    return b;
}

// A sidereal time brought into [0, 24) hours; the model's is not folded.
double withinOneDay(double hours)
{
    double h = std::fmod(hours, 24.0);
    if (h < 0)
        h += 24.0;
    // A tiny negative value plus 24 rounds to 24 itself.
    return h < 24.0 ? h : 0.0;
}

// The sidereal time as the main window's LST field shows it: one day, HH:MM:SS.
std::string clockText(double hours)
{
    std::int32_t seconds = static_cast<std::int32_t>(hours * 3600.0);
    if (seconds < 0)
        seconds += 86400;
    if (seconds >= 86400)
        seconds -= 86400;
    char b[16];
    std::uint32_t p = appendTwoDigits(b, sizeof b, 0, static_cast<std::uint32_t>(seconds / 3600));
    b[p++] = ':';
    p = appendTwoDigits(b, sizeof b, p, static_cast<std::uint32_t>(seconds % 3600 / 60));
    b[p++] = ':';
    appendTwoDigits(b, sizeof b, p, static_cast<std::uint32_t>(seconds % 60));
    return b;
}

std::string utcText(const UtcTime& t)
{
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return b;
}

std::string commandName(Command c)
{
    switch (c) {
    case Command::Info: return "info";
    case Command::ReadEncoders: return "read-encoders";
    case Command::Move: return "move";
    case Command::Stop: return "stop";
    case Command::Track: return "track";
    case Command::Goto: return "goto";
    case Command::Pier: return "pier";
    case Command::EncoderFormat: return "encoder-format";
    case Command::Calibrate: return "calibrate";
    case Command::ReverseMotor: return "reverse-motor";
    case Command::Save: return "save";
    default: return "";
    }
}

class Session {
public:
    Session(const Options& o, Environment& e, const iUtcClock* clock)
        : options(o), env(e), app(appOptions(o, e, clock)), console(app.model(), app.control())
    {
        app.attachFrontEnd(&console, &console);
        console.setFlipDecider([this](std::int32_t kind) { return decideFlip(kind); });
        app.start();
    }
    ~Session() { app.shutdown(); }

    int run();
    // Stops the link; returns the bytes of frames the port's close had to
    // discard, which never reached the controller.
    std::size_t shutDown()
    {
        app.shutdown();
        return app.control().bytesDiscardedAtClose();
    }

private:
    static Application::Options appOptions(const Options& o, Environment& e, const iUtcClock* clock)
    {
        Application::Options a;
        a.catalog = e.catalog;
        a.clock = clock;
        a.siteLongitude = o.longitude;
        a.settleMs = e.settleMs;
        return a;
    }

    std::ostream& out() { return *env.out; }
    std::ostream& err() { return *env.err; }
    std::chrono::milliseconds limit(double defaultSeconds) const
    {
        const double s = options.timeoutSeconds > 0 ? options.timeoutSeconds : defaultSeconds;
        return std::chrono::milliseconds(static_cast<long long>(s * 1000));
    }

    int portNumber(std::uint32_t& number);
    bool connect(int& exitCode);
    void disconnect();
    int failWithStatus(int status);
    int failNoAnswer(const char* what);
    bool waitForStatus(std::uint16_t status, std::chrono::milliseconds within, int& exitCode);
    std::uint16_t decideFlip(std::int32_t kind);
    void reportStatuses(std::size_t from);

    int info();
    int readEncoders();
    int move();
    int simple(std::uint16_t awaited, const std::function<void()>& send);

    const Options& options;
    Environment& env;
    Application app;
    Console console;
    bool flipEnded = false;   // the question was answered with cancel, or refused
    int flipExit = 0;
    std::size_t statusesAtReady = 0;
};

int Session::portNumber(std::uint32_t& number)
{
    const std::string& p = options.port;
    if (p.empty()) {
        number = 0;
        for (const PortEntry& e : env.catalog->entries()) {
            if (e.number != 0 && e.adapter) {
                number = e.number;
                break;
            }
        }
        return 0;
    }
    if (p == "sim") {
        number = 0;
        return 0;
    }
    if (p.find_first_not_of("0123456789") == std::string::npos && p.size() <= 3) {
        number = static_cast<std::uint32_t>(std::stoul(p));
        if (number > 255) {
            err() << "kv7ctl: port number " << p << " is out of range (0 to 255)\n";
            return 2;
        }
        return 0;
    }
    number = env.addDevice ? env.addDevice(p) : 0;
    if (number == 0) {
        err() << "kv7ctl: cannot use " << p << " as a port\n";
        return 2;
    }
    return 0;
}

int Session::failWithStatus(int status)
{
    const char* text = statusText(static_cast<std::uint32_t>(status));
    err() << (text ? text : "Error") << "\n";
    return 1;
}

int Session::failNoAnswer(const char* what)
{
    err() << "Error: no answer from the controller " << what << "\n";
    return 1;
}

bool Session::connect(int& exitCode)
{
    std::uint32_t number = 0;
    exitCode = portNumber(number);
    if (exitCode != 0)
        return false;
    app.model().connect(number, options.baud);
    // The link's own time-out (40 heartbeats) ends a silent connect; the
    // extra margin only guards against a link that never answers at all.
    const bool finished = console.runUntil(
        [&] { return console.configurations() > 0 || console.firstError() >= 0; }, std::chrono::seconds(15));
    if (console.firstError() >= 0) {
        exitCode = failWithStatus(console.firstError());
        return false;
    }
    if (!finished) {
        exitCode = failNoAnswer("while connecting");
        return false;
    }
    statusesAtReady = console.statuses().size();
    return true;
}

void Session::disconnect()
{
    if (!app.control().isPortOpen())
        return;
    // Requests queued before this one are carried out first: the channel
    // keeps their order, so every frame is out before the port closes.
    const std::size_t before = console.statuses().size();
    app.control().disconnect();
    console.runUntil(
        [&] {
            for (std::size_t i = before; i < console.statuses().size(); ++i) {
                if (console.statuses()[i] == Status::ConnectionClosed || console.statuses()[i] == Status::NotConnectedYet)
                    return true;
            }
            return false;
        },
        5s);
}

bool Session::waitForStatus(std::uint16_t status, std::chrono::milliseconds within, int& exitCode)
{
    const std::size_t from = console.statuses().size();
    auto seen = [&](bool errorsToo) {
        for (std::size_t i = from; i < console.statuses().size(); ++i) {
            const std::uint16_t s = console.statuses()[i];
            if (s == status)
                return true;
            if (errorsToo && isErrorStatus(s))
                return true;
        }
        return false;
    };
    const bool done = console.runUntil([&] { return seen(true) || flipEnded; }, within);
    if (flipEnded) {
        exitCode = flipExit;
        return false;
    }
    for (std::size_t i = from; i < console.statuses().size(); ++i) {
        const std::uint16_t s = console.statuses()[i];
        if (isErrorStatus(s)) {
            exitCode = failWithStatus(s);
            return false;
        }
    }
    if (!done || !seen(false)) {
        exitCode = failNoAnswer("in time");
        return false;
    }
    return true;
}

std::string kindWord(std::int32_t kind)
{
    switch (kind) {
    case 2:
    case 3: return "Meridian flip recommended.";
    default: return "Meridian flip needed.";
    }
}

std::uint16_t Session::decideFlip(std::int32_t kind)
{
    const bool withoutOffered = kind == FlipPrompt::WestRecommended || kind == FlipPrompt::EastRecommended;
    switch (options.flip) {
    case FlipChoice::Flip: return FlipAnswer::WithFlip;
    case FlipChoice::Cancel:
        out() << "Positioning cancelled: " << kindWord(kind) << "\n";
        flipEnded = true;
        flipExit = 0;
        return FlipAnswer::Cancel;
    case FlipChoice::NoFlip:
        if (withoutOffered)
            return FlipAnswer::WithoutFlip;
        err() << "kv7ctl: " << flipQuestion(kind) << " Positioning without a flip is not offered here; use --flip.\n";
        flipEnded = true;
        flipExit = 1;
        return FlipAnswer::Cancel;
    case FlipChoice::Ask:
        break;
    }
    const int answer = env.askOperator ? env.askOperator(kind) : -1;
    if (answer >= 0 && answer <= 2 && (answer != 1 || withoutOffered)) {
        if (answer == 0) {
            out() << "Positioning cancelled.\n";
            flipEnded = true;
            flipExit = 0;
        }
        return static_cast<std::uint16_t>(answer);
    }
    err() << "kv7ctl: " << flipQuestion(kind)
          << " Nobody to ask: give --flip, --no-flip or --cancel. Nothing was moved.\n";
    flipEnded = true;
    flipExit = 1;
    return FlipAnswer::Cancel;
}

void Session::reportStatuses(std::size_t from)
{
    if (options.json)
        return;
    for (std::size_t i = from; i < console.statuses().size(); ++i) {
        if (const char* t = statusText(console.statuses()[i]))
            out() << t << "\n";
    }
}

int Session::info()
{
    const ControllerParameters& p = app.model().parameters;
    const AxisConfiguration& a = app.model().axisConfiguration;
    const EncoderFormat& f = a.encoderFormat;
    if (options.json) {
        Json jp;
        jp.num("startCode", std::uint64_t{p.startCode})
            .num("deviceId", std::uint64_t{p.deviceId})
            .num("deviceWord", std::uint64_t{p.deviceWord})
            .num("deviceByte", std::uint64_t{p.deviceByte})
            .num("raAxisByte", std::uint64_t{p.raAxisByte})
            .num("decAxisByte", std::uint64_t{p.decAxisByte})
            .num("raGearRatio", std::uint64_t{p.raGearRatio})
            .num("raMicrosteps", std::uint64_t{p.raMicrosteps})
            .num("raBaseSpeed", std::uint64_t{p.raBaseSpeed})
            .num("decGearRatio", std::uint64_t{p.decGearRatio})
            .num("decMicrosteps", std::uint64_t{p.decMicrosteps})
            .num("decBaseSpeed", std::uint64_t{p.decBaseSpeed})
            .num("raSpeedFactor", std::uint64_t{p.raSpeedFactor})
            .num("decSpeedFactor", std::uint64_t{p.decSpeedFactor})
            .num("reverseMotorBits", std::uint64_t{p.reverseMotorBits})
            .num("motorExtraByte", std::uint64_t{p.motorExtraByte})
            .raw("motorSettingA", arrayOf(p.motorSettingA, 2))
            .raw("motorSettingsB", "[" + arrayOf(p.motorSettingsB[0], 3) + "," + arrayOf(p.motorSettingsB[1], 3) + "]")
            .raw("motorSettingsC", "[" + arrayOf(p.motorSettingsC[0], 3) + "," + arrayOf(p.motorSettingsC[1], 3) + "]")
            .raw("motorSettingsD", "[" + arrayOf(p.motorSettingsD[0], 2) + "," + arrayOf(p.motorSettingsD[1], 2) + "]")
            .raw("motorSettingsE", "[" + arrayOf(p.motorSettingsE[0], 2) + "," + arrayOf(p.motorSettingsE[1], 2) + "]")
            .raw("motorSettingsF", "[" + arrayOf(p.motorSettingsF[0], 2) + "," + arrayOf(p.motorSettingsF[1], 2) + "]")
            .raw("motorSettingG", arrayOf(p.motorSettingG, 2))
            .raw("motorSettingH", arrayOf(p.motorSettingH, 2))
            .raw("motorSettingI", arrayOf(p.motorSettingI, 2))
            .num("raMaxSpeed", std::uint64_t{p.raMaxSpeed})
            .num("decMaxSpeed", std::uint64_t{p.decMaxSpeed});
        Json jf;
        jf.num("raFlags", std::uint64_t{f.raFlags})
            .num("decFlags", std::uint64_t{f.decFlags})
            .num("raLeadingBits", std::uint64_t{f.raLeadingBits})
            .num("raBitsPerRevolution", std::uint64_t{f.raBitsPerRevolution})
            .num("raBitsForRevolutions", std::uint64_t{f.raBitsForRevolutions})
            .num("decLeadingBits", std::uint64_t{f.decLeadingBits})
            .num("decBitsPerRevolution", std::uint64_t{f.decBitsPerRevolution})
            .num("decBitsForRevolutions", std::uint64_t{f.decBitsForRevolutions});
        Json ja;
        ja.object("encoderFormat", jf)
            .num("raEncoderResolution", a.raEncoderResolution)
            .num("decEncoderResolution", a.decEncoderResolution)
            .num("reverseEncoderBits", std::uint64_t{a.reverseEncoderBits})
            .num("raEncoderOffset", std::uint64_t{a.raEncoderOffset})
            .num("decEncoderOffset", std::uint64_t{a.decEncoderOffset});
        out() << Json().object("parameters", jp).object("axisConfiguration", ja).text() << "\n";
        return 0;
    }
    auto line = [&](const char* name, std::uint64_t v) { out() << name << ": " << v << "\n"; };
    out() << "Controller parameters\n";
    line("  startCode", p.startCode);
    line("  deviceId", p.deviceId);
    line("  deviceWord", p.deviceWord);
    line("  deviceByte", p.deviceByte);
    line("  raAxisByte", p.raAxisByte);
    line("  decAxisByte", p.decAxisByte);
    line("  raGearRatio", p.raGearRatio);
    line("  raMicrosteps", p.raMicrosteps);
    line("  raBaseSpeed", p.raBaseSpeed);
    line("  decGearRatio", p.decGearRatio);
    line("  decMicrosteps", p.decMicrosteps);
    line("  decBaseSpeed", p.decBaseSpeed);
    line("  raSpeedFactor", p.raSpeedFactor);
    line("  decSpeedFactor", p.decSpeedFactor);
    line("  reverseMotorBits", p.reverseMotorBits);
    line("  motorExtraByte", p.motorExtraByte);
    out() << "  motorSettingA: " << arrayOf(p.motorSettingA, 2) << "\n"
          << "  motorSettingsB: " << arrayOf(p.motorSettingsB[0], 3) << " " << arrayOf(p.motorSettingsB[1], 3) << "\n"
          << "  motorSettingsC: " << arrayOf(p.motorSettingsC[0], 3) << " " << arrayOf(p.motorSettingsC[1], 3) << "\n"
          << "  motorSettingsD: " << arrayOf(p.motorSettingsD[0], 2) << " " << arrayOf(p.motorSettingsD[1], 2) << "\n"
          << "  motorSettingsE: " << arrayOf(p.motorSettingsE[0], 2) << " " << arrayOf(p.motorSettingsE[1], 2) << "\n"
          << "  motorSettingsF: " << arrayOf(p.motorSettingsF[0], 2) << " " << arrayOf(p.motorSettingsF[1], 2) << "\n"
          << "  motorSettingG: " << arrayOf(p.motorSettingG, 2) << "\n"
          << "  motorSettingH: " << arrayOf(p.motorSettingH, 2) << "\n"
          << "  motorSettingI: " << arrayOf(p.motorSettingI, 2) << "\n";
    line("  raMaxSpeed", p.raMaxSpeed);
    line("  decMaxSpeed", p.decMaxSpeed);
    out() << "Axis configuration\n";
    line("  raFlags", f.raFlags);
    line("  decFlags", f.decFlags);
    line("  raLeadingBits", f.raLeadingBits);
    line("  raBitsPerRevolution", f.raBitsPerRevolution);
    line("  raBitsForRevolutions", f.raBitsForRevolutions);
    line("  decLeadingBits", f.decLeadingBits);
    line("  decBitsPerRevolution", f.decBitsPerRevolution);
    line("  decBitsForRevolutions", f.decBitsForRevolutions);
    line("  raEncoderResolution", a.raEncoderResolution);
    line("  decEncoderResolution", a.decEncoderResolution);
    line("  reverseEncoderBits", a.reverseEncoderBits);
    line("  raEncoderOffset", a.raEncoderOffset);
    line("  decEncoderOffset", a.decEncoderOffset);
    return 0;
}

int Session::readEncoders()
{
    // --watch N: N readings one period (a second) apart, the first at once;
    // a part of a period left over gets one more.
    const auto readings =
        options.watchSeconds > 0 ? static_cast<long long>(std::ceil(options.watchSeconds)) : 1LL;
    const auto start = std::chrono::steady_clock::now();
    for (long long k = 0; k < readings; ++k) {
        if (k > 0) {
            // Paced from the start, not from the last reading, still dispatching.
            const auto next = start + k * env.watchPeriod;
            console.runUntil([] { return false; }, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                       next - std::chrono::steady_clock::now()));
        }
        const int before = console.mountStates();
        app.control().readEncoders(0);
        if (!console.runUntil([&] { return console.mountStates() > before || console.firstError() >= 0; }, limit(10)))
            return failNoAnswer("to the encoder reading");
        if (console.firstError() >= 0)
            return failWithStatus(console.firstError());
        const MountState& m = app.model().mountState;
        if (options.json) {
            out() << Json()
                         .num("valid", std::uint64_t{m.valid})
                         .num("raEncoderPosition", std::uint64_t{m.raEncoderPosition})
                         .num("decEncoderPosition", std::uint64_t{m.decEncoderPosition})
                         .num("raEncoderArcsec", std::uint64_t{m.raEncoderArcsec})
                         .num("decEncoderArcsec", std::uint64_t{m.decEncoderArcsec})
                         .str("raEncoderDms", dms(m.raEncoderArcsec))
                         .str("decEncoderDms", dms(m.decEncoderArcsec))
                         .text()
                  << "\n";
        } else {
            out() << "RA encoder:  " << m.raEncoderPosition << " counts  " << m.raEncoderArcsec << " arcsec  "
                  << dms(m.raEncoderArcsec) << "\n"
                  << "Dec encoder: " << m.decEncoderPosition << " counts  " << m.decEncoderArcsec << " arcsec  "
                  << dms(m.decEncoderArcsec) << "\n";
        }
        out().flush();
    }
    return 0;
}

int Session::simple(std::uint16_t awaited, const std::function<void()>& send)
{
    const std::size_t from = console.statuses().size();
    send();
    int exitCode = 0;
    if (awaited != 0) {
        const bool longWait = awaited == Status::Ready;
        if (!waitForStatus(awaited, limit(longWait ? 600 : 10), exitCode))
            return exitCode;
    }
    reportStatuses(from);
    return 0;
}

int Session::move()
{
    const std::size_t from = console.statuses().size();
    app.control().manualMove(options.direction, static_cast<std::uint8_t>(options.speed));
    int exitCode = 0;
    if (!waitForStatus(Status::ManualMovement, limit(10), exitCode))
        return exitCode;
    if (options.forSeconds > 0) {
        console.runUntil([] { return false; },
                         std::chrono::milliseconds(static_cast<long long>(options.forSeconds * 1000)));
        app.control().stopMotion(4);
        if (!waitForStatus(Status::Ready, limit(10), exitCode))
            return exitCode;
    }
    reportStatuses(from);
    return 0;
}

int Session::run()
{
    int exitCode = 0;
    if (!connect(exitCode)) {
        disconnect();
        return exitCode;
    }
    iKV7Control& c = app.control();
    const Options& o = options;
    switch (o.command) {
    case Command::Info: exitCode = info(); break;
    case Command::ReadEncoders: exitCode = readEncoders(); break;
    case Command::Move: exitCode = move(); break;
    case Command::Stop: exitCode = simple(Status::Ready, [&] { c.stopMotion(4); }); break;
    case Command::Track: exitCode = simple(0, [&] { c.setTracking(o.trackOn ? 1 : 0); }); break;
    case Command::Goto:
        exitCode = simple(Status::Ready, [&] { c.gotoTarget(o.raArcsec, o.decArcsec); });
        break;
    case Command::Pier: {
        const bool flip = o.pierAction == 2 || o.pierAction == 4;
        exitCode = simple(flip ? std::uint16_t{Status::Ready} : std::uint16_t{0}, [&] { c.pierSideAction(o.pierAction); });
        break;
    }
    case Command::EncoderFormat: {
        const EncoderFormat& f = o.format;
        exitCode = simple(0, [&] {
            c.setEncoderFormat(f.raFlags, f.raLeadingBits, f.raBitsPerRevolution, f.raBitsForRevolutions, f.decFlags,
                               f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions);
        });
        break;
    }
    case Command::Calibrate:
        exitCode = simple(Status::CalibrationUpdated,
                          [&] { c.setEncoderCalibration(o.reverseBits, o.raOffset, o.decOffset); });
        break;
    case Command::ReverseMotor:
        exitCode = simple(0, [&] { c.setMotorReversal(o.reverseBits, app.model().parameters.motorExtraByte); });
        break;
    case Command::Save: exitCode = simple(Status::ParametersStored, [&] { c.storeParameters(); }); break;
    default: break;
    }
    disconnect();
    // Errors raised after the outcome (a late communication error) still
    // count, with --json too: a script reads the exit status first.
    if (exitCode == 0 && console.firstError() >= 0)
        exitCode = failWithStatus(console.firstError());
    if (exitCode == 0 && o.json && o.command != Command::Info && o.command != Command::ReadEncoders) {
        const std::uint16_t last = console.statuses().size() > statusesAtReady ? console.statuses().back() : 0;
        Json j;
        j.str("command", commandName(o.command)).boolean("ok", true);
        if (last != 0 && last != Status::ConnectionClosed)
            j.num("status", std::uint64_t{last}).str("statusText", statusText(last));
        out() << j.text() << "\n";
    }
    return exitCode;
}

int listPorts(const Options& o, Environment& env)
{
    for (const PortEntry& e : env.catalog->entries()) {
        if (o.json) {
            *env.out << Json()
                            .num("number", std::uint64_t{e.number})
                            .str("name", e.name)
                            .str("device", e.device)
                            .str("description", e.description)
                            .text()
                     << "\n";
        } else {
            char b[16];
            std::snprintf(b, sizeof b, "%3u  ", e.number);
            *env.out << b << e.name;
            if (!e.device.empty() && e.device != e.name)
                *env.out << "  " << e.device;
            if (!e.description.empty())
                *env.out << "  (" << e.description << ")";
            *env.out << "\n";
        }
    }
    return 0;
}

int siderealTime(const Options& o, Environment& env, const iUtcClock& clock)
{
    const UtcTime t = clock.now();
    const double jd = julianDate(t.year, t.month, t.day, t.hour, t.minute, t.second);
    const double gmst = greenwichSiderealTime(jd);
    AppModel model(&clock, o.longitude);
    const double lst = withinOneDay(model.localSiderealTime());
    if (o.json) {
        *env.out << Json()
                        .str("utc", utcText(t))
                        .num("julianDate", jd)
                        .num("gmstHours", gmst)
                        .num("longitude", o.longitude)
                        .num("lstHours", lst)
                        .str("lst", clockText(lst))
                        .text()
                 << "\n";
    } else {
        char b[64];
        std::snprintf(b, sizeof b, "%.5f", jd);
        *env.out << "UTC:  " << utcText(t) << "\nJD:   " << b;
        std::snprintf(b, sizeof b, "%.7f", gmst);
        *env.out << "\nGMST: " << b << " h  " << clockText(gmst);
        std::snprintf(b, sizeof b, "%.7f", lst);
        *env.out << "\nLST:  " << b << " h  " << clockText(lst) << "  (longitude " << o.longitude << ")\n";
    }
    return 0;
}

int planGoto(const Options& o, Environment& env, const iUtcClock& clock)
{
    AppModel model(&clock, o.longitude);
    const double lst = withinOneDay(model.localSiderealTime());
    const double raHours = static_cast<std::int32_t>(o.raArcsec) / 54000.0;
    const double decDegrees = o.decArcsec / 3600.0;
    const double d = wrapHourOffset(raHours, lst);
    const double k = o.raMicrosteps / 24.0;
    const double k2 = o.decMicrosteps / 24.0;
    const std::int32_t kind = gotoPromptKind(o.planPier, d);
    const bool west = o.planPier == PierState::pierWest;
    const AxisPositions here = skyTargetPositions(west, d, decDegrees, k, k2);
    const AxisPositions flipped = skyTargetPositions(!west, d, decDegrees, k, k2);
    const bool withoutOffered = kind == FlipPrompt::WestRecommended || kind == FlipPrompt::EastRecommended;

    if (o.json) {
        Json j;
        j.num("raArcsec", std::uint64_t{o.raArcsec})
            .num("decArcsec", std::int64_t{o.decArcsec})
            .str("pier", west ? "west" : "east")
            .num("lstHours", lst)
            .num("hourOffset", d)
            .str("decision", kind == 0 ? "position" : "prompt")
            .num("promptKind", std::int64_t{kind});
        if (kind == 0) {
            j.num("raPosition", std::int64_t{here.ra}).num("decPosition", std::int64_t{here.dec});
        } else {
            if (withoutOffered)
                j.object("withoutFlip",
                         Json().num("raPosition", std::int64_t{here.ra}).num("decPosition", std::int64_t{here.dec}));
            j.object("withFlip", Json()
                                     .str("pier", west ? "east" : "west")
                                     .num("raPosition", std::int64_t{flipped.ra})
                                     .num("decPosition", std::int64_t{flipped.dec}));
        }
        *env.out << j.text() << "\n";
        return 0;
    }
    char b[64];
    std::snprintf(b, sizeof b, "%.7f", lst);
    *env.out << "LST:          " << b << " h  " << clockText(lst) << "\n";
    std::snprintf(b, sizeof b, "%+.7f", d);
    *env.out << "Hour offset:  " << b << " h (positive: east of the meridian)\n";
    if (kind == 0) {
        *env.out << "Decision:     position at once on the " << (west ? "west" : "east") << " side\n"
                 << "Axis positions: RA " << here.ra << "  Dec " << here.dec << "\n";
        return 0;
    }
    *env.out << "Decision:     ask (prompt kind " << kind << "): " << flipQuestion(kind) << "\n";
    if (withoutOffered)
        *env.out << "  without flip: RA " << here.ra << "  Dec " << here.dec << "\n";
    *env.out << "  with flip (to the " << (west ? "east" : "west") << " side): RA " << flipped.ra << "  Dec "
             << flipped.dec << "\n";
    return 0;
}

}  // namespace

std::string flipQuestion(std::int32_t kind)
{
    switch (kind) {
    case FlipPrompt::PierUnsettled: return "The side of the pier is not settled (a flip is under way).";
    case FlipPrompt::WestRecommended:
    case FlipPrompt::EastRecommended:
        return "The target lies up to 2 hours beyond the meridian: Meridian flip recommended.";
    case FlipPrompt::WestNeeded:
    case FlipPrompt::EastNeeded:
        return "The target lies more than 2 hours beyond the meridian: Meridian flip needed.";
    default: return "Meridian flip needed.";
    }
}

int runCommand(const Options& options, Environment& env)
{
    SystemUtcClock systemClock;
    std::unique_ptr<FixedUtc> fixed;
    if (options.utc)
        fixed = std::make_unique<FixedUtc>(*options.utc);
    const iUtcClock& clock = fixed ? static_cast<const iUtcClock&>(*fixed) : systemClock;

    switch (options.command) {
    case Command::Help:
        *env.out << (options.helpTopic.empty() || options.helpTopic == "help" ? usageText()
                                                                             : commandHelp(options.helpTopic));
        return 0;
    case Command::Ports: return listPorts(options, env);
    case Command::Lst: return siderealTime(options, env, clock);
    case Command::PlanGoto: return planGoto(options, env, clock);
    case Command::None: return 2;
    default: break;
    }
    Session session(options, env, fixed ? fixed.get() : nullptr);
    int exitCode = session.run();
    // Whatever the statuses said, frames still queued when the port closed
    // never reached the controller.
    if (const std::size_t unsent = session.shutDown(); unsent > 0) {
        *env.err << "kv7ctl: " << unsent << " bytes of commands were not sent before the port closed\n";
        if (exitCode == 0)
            exitCode = 1;
    }
    return exitCode;
}

}  // namespace kv7::cli
