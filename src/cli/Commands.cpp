// The commands that need a connection, each once the connect sequence has
// read the controller's configuration.
#include <cmath>
#include <cstdio>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "cli/Json.h"
#include "cli/Session.h"
#include "ui/FieldText.h"
#include "ui/RecordFields.h"
#include "ui/WritePreview.h"

namespace kv7::cli {

namespace {

const char* pierName(std::int32_t pierState)
{
    switch (pierState) {
    case PierState::pierEast: return "east";
    case PierState::pierWest: return "west";
    case PierState::flippingToEast: return "flipping to east";
    case PierState::flippingToWest: return "flipping to west";
    default: return "unknown";
    }
}

// 0, 1 and 2 are an axis at rest; anything above is still moving.
bool moving(std::uint8_t motionStatus) { return motionStatus > 2; }

// RA arcseconds (1 h = 54000) as the target fields take them, H:M:S, to
// the nearest second: 15 arcseconds make one.
std::string raText(std::uint32_t raArcsec)
{
    const std::uint32_t seconds = ((raArcsec + 7) / 15) % 86400;
    char b[16];
    std::snprintf(b, sizeof b, "%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return b;
}

std::string configurationJson(const ControllerParameters& p, const AxisConfiguration& a)
{
    Json parameters;
    Json format;
    for (const ConfigurationField& f : configurationFields()) {
        if (f.group == FieldGroup::Parameters)
            parameters.field(f.name, f.value(p, a));
        else if (f.group == FieldGroup::EncoderFormat)
            format.field(f.name, f.value(p, a));
    }
    Json axes;
    axes.object("encoderFormat", format);
    for (const ConfigurationField& f : configurationFields()) {
        if (f.group == FieldGroup::AxisConfiguration)
            axes.field(f.name, f.value(p, a));
    }
    return Json().object("parameters", parameters).object("axisConfiguration", axes).text();
}

}  // namespace

int Session::command()
{
    iKV7Control& c = app.control();
    const Options& o = options;
    const AxisConfiguration& held = app.model().axisConfiguration;
    switch (o.command) {
    case Command::Info: return info();
    case Command::ReadEncoders:
        return o.rateMax || o.rateHz > 0 || o.csv ? monitor() : readEncoders();
    case Command::Commission: return commission();
    case Command::Config: return config();
    case Command::Move: return move();
    case Command::Stop: return simple(Status::Ready, [&] { c.stopMotion(StopAxes::Both); });
    case Command::Track: return simple(0, [&] { c.setTracking(o.trackOn ? 1 : 0); });
    case Command::Goto: return simple(Status::Ready, [&] { c.gotoTarget(o.raArcsec, o.decArcsec); });
    case Command::Pier: {
        const bool flip = o.pierAction == PierAction::FlipEast || o.pierAction == PierAction::FlipWest;
        return simple(flip ? std::uint16_t{Status::Ready} : std::uint16_t{0}, [&] { c.pierSideAction(o.pierAction); });
    }
    case Command::EncoderFormat: {
        const EncoderFormat& f = o.format;
        return write("encoder-format", app.model().parameters, withEncoderFormat(held, f), 0, [&] {
            c.setEncoderFormat(f.raFlags, f.raLeadingBits, f.raBitsPerRevolution, f.raBitsForRevolutions, f.decFlags,
                               f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions);
        });
    }
    case Command::Calibrate:
        return write("calibrate", app.model().parameters, withCalibration(held, o.reverseBits, o.raOffset, o.decOffset),
                     Status::CalibrationUpdated, [&] { c.setEncoderCalibration(o.reverseBits, o.raOffset, o.decOffset); });
    case Command::ReverseMotor: {
        const std::uint8_t extra = app.model().parameters.motorExtraByte;
        return write("reverse-motor", withMotorReversal(app.model().parameters, o.reverseBits, extra), held, 0,
                     [&] { c.setMotorReversal(o.reverseBits, extra); });
    }
    case Command::Save: return store();
    case Command::State: return axes(false);
    case Command::Where: return axes(true);
    case Command::Sync: return sync();
    default: return 0;
    }
}

void Session::reportOutcome()
{
    const std::uint16_t last = console.statuses().size() > statusesAtReady ? console.statuses().back() : 0;
    Json j;
    j.str("command", commandName(options.command)).boolean("ok", true);
    if (last != 0 && last != Status::ConnectionClosed)
        j.num("status", std::uint64_t{last}).str("statusText", statusText(last));
    out() << j.text() << "\n";
}

int Session::info()
{
    const ControllerParameters& p = app.model().parameters;
    const AxisConfiguration& a = app.model().axisConfiguration;
    if (options.json) {
        out() << configurationJson(p, a) << "\n";
        return 0;
    }
    out() << "Controller parameters\n";
    bool axesHeading = false;
    for (const ConfigurationField& f : configurationFields()) {
        if (f.group != FieldGroup::Parameters && !axesHeading) {
            out() << "Axis configuration\n";
            axesHeading = true;
        }
        out() << "  " << f.name << ": " << fieldText(f.value(p, a)) << "\n";
    }
    return 0;
}

void Session::printReading(const MountState& m)
{
    if (options.json) {
        Json j;
        for (const MountStateField& f : mountStateFields())
            j.field(f.name, f.value(m));
        out() << j.text() << "\n";
    } else {
        out() << "RA encoder:  " << m.raEncoderPosition << " counts  " << m.raEncoderArcsec << " arcsec  "
              << dmsText(static_cast<std::int32_t>(m.raEncoderArcsec)) << "\n"
              << "Dec encoder: " << m.decEncoderPosition << " counts  " << m.decEncoderArcsec << " arcsec  "
              << dmsText(static_cast<std::int32_t>(m.decEncoderArcsec)) << "\n";
    }
    out().flush();
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
        app.control().readEncoders(ReadMode::Encoders);
        if (!console.runUntil([&] { return console.mountStates() > before || console.firstError() >= 0; }, limit(10)))
            return failNoAnswer("to the encoder reading");
        if (console.firstError() >= 0)
            return failWithStatus(console.firstError());
        printReading(app.model().mountState);
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
        app.control().stopMotion(StopAxes::Both);
        if (!waitForStatus(Status::Ready, limit(10), exitCode))
            return exitCode;
    }
    reportStatuses(from);
    return 0;
}

}  // namespace kv7::cli

namespace kv7::cli {

int Session::axes(bool where)
{
    const int before = console.allMountStates();
    app.control().readEncoders(ReadMode::Axes);
    if (!console.runUntil([&] { return console.allMountStates() > before || console.firstError() >= 0; },
                          limit(10)))
        return failNoAnswer("to the reading of the motor axes");
    if (console.firstError() >= 0)
        return failWithStatus(console.firstError());
    const MountState& m = app.model().mountState;
    const char* pier = pierName(m.pierState);
    if (options.json) {
        Json j;
        if (where) {
            j.boolean("known", m.skyValid == 1);
            if (m.skyValid == 1) {
                j.num("raArcsec", std::uint64_t{m.raArcsec})
                    .str("ra", raText(m.raArcsec))
                    .num("decArcsec", std::int64_t{m.decArcsec})
                    .str("dec", dmsText(m.decArcsec));
            }
        } else {
            j.num("raAxisPosition", std::int64_t{m.raAxisPosition})
                .num("decAxisPosition", std::int64_t{m.decAxisPosition})
                .num("raMotionStatus", std::uint64_t{m.raMotionStatus})
                .num("decMotionStatus", std::uint64_t{m.decMotionStatus})
                .boolean("raMoving", moving(m.raMotionStatus))
                .boolean("decMoving", moving(m.decMotionStatus));
        }
        out() << j.num("pierState", std::int64_t{m.pierState}).str("pier", pier).text() << "\n";
        return 0;
    }
    if (!where) {
        auto motion = [](std::uint8_t status) { return moving(status) ? "moving" : "at rest"; };
        out() << "RA axis:  " << m.raAxisPosition << " microsteps  " << motion(m.raMotionStatus) << "\n"
              << "Dec axis: " << m.decAxisPosition << " microsteps  " << motion(m.decMotionStatus) << "\n"
              << "Pier:     " << pier << "\n";
    } else if (m.skyValid == 1) {
        out() << "RA:  " << raText(m.raArcsec) << "\nDec: " << dmsText(m.decArcsec) << "\nPier: " << pier << "\n";
    } else {
        out() << "Position unknown: the side of the pier is " << pier
              << "; set it with pier set-east or pier set-west.\n";
    }
    return 0;
}

int Session::sync()
{
    iKV7Control& c = app.control();
    if (!options.syncEncoders)
        return simple(Status::SyncedToTarget, [&] { c.syncToTarget(options.raArcsec, options.decArcsec); });
    // The link syncs only from a reading of the last two seconds: take one
    // now, on this connection.
    const int before = console.mountStates();
    c.readEncoders(ReadMode::Encoders);
    if (!console.runUntil([&] { return console.mountStates() > before || console.firstError() >= 0; }, limit(10)))
        return failNoAnswer("to the encoder reading");
    if (console.firstError() >= 0)
        return failWithStatus(console.firstError());
    return simple(Status::SyncedToEncoders, [&] { c.syncToEncoders(); });
}

}  // namespace kv7::cli

namespace kv7::cli {

bool Session::operatorAgrees(const std::string& question, const char* giveYesTo, int& exitCode)
{
    if (options.yes)
        return true;
    const int answer = env.confirm ? env.confirm(question) : -1;
    if (answer == 1)
        return true;
    exitCode = answer < 0 ? 1 : 0;
    if (answer < 0)
        err() << "kv7ctl: nobody to ask (standard input is not a terminal): give --yes to " << giveYesTo
              << ". Nothing was written.\n";
    else
        out() << "Nothing was written.\n";
    return false;
}

bool Session::writeConfirmed(const char* what, const std::vector<SettingChange>& changes, int& exitCode)
{
    exitCode = 0;
    if (changes.empty())
        return true;
    if (!options.json)
        out() << what << " changes on the controller:\n" << changeLines(changes);
    return operatorAgrees("Write to the controller? [y/N] ", "write", exitCode);
}

int Session::write(const char* what, const ControllerParameters& parameters, const AxisConfiguration& axes,
                   std::uint16_t awaited, const std::function<void()>& send)
{
    int exitCode = 0;
    if (!writeConfirmed(what, settingChanges(connectedSnapshot(), snapshotOf(parameters, axes)), exitCode))
        return exitCode;
    // Copies first: the records may be the ones about to be replaced.
    const ControllerParameters p = parameters;
    const AxisConfiguration a = axes;
    exitCode = simple(awaited, send);
    if (exitCode == 0) {
        // What the controller holds now; a later save or write compares with it.
        app.model().parameters = p;
        app.model().axisConfiguration = a;
    }
    return exitCode;
}

int Session::store()
{
    // What the connection read at its start is what the controller began
    // with; a store makes every change since permanent.
    int exitCode = 0;
    if (!writeConfirmed("save", settingChanges(heldAtConnect, connectedSnapshot()), exitCode))
        return exitCode;
    return simple(Status::ParametersStored, [&] { app.control().storeParameters(); });
}

}  // namespace kv7::cli
