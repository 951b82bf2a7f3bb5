#include "cli/Session.h"

#include "app/Codes.h"
#include "app/StatusText.h"
#include "cli/Ports.h"

namespace kv7::cli {

namespace {

using namespace std::chrono_literals;

Application::Options appOptions(const Options& o, Environment& e, const iUtcClock* clock)
{
    Application::Options a;
    a.catalog = e.catalog;
    a.clock = clock;
    a.siteLongitude = o.longitude;
    a.settleMs = e.settleMs;
    return a;
}

// The commands whose --json output is their result, not the outcome line.
bool printsItsOwnResult(Command c)
{
    return c == Command::Info || c == Command::ReadEncoders || c == Command::State || c == Command::Where ||
           c == Command::Commission || c == Command::Config;
}

const char* flipWord(std::int32_t kind)
{
    return offersWithoutFlip(kind) ? "Meridian flip recommended." : "Meridian flip needed.";
}

}  // namespace

Session::Session(const Options& o, Environment& e, const iUtcClock* clock)
    : options(o), env(e), app(appOptions(o, e, clock)), console(app.model(), app.control())
{
    app.attachFrontEnd(&console, &console);
    console.setFlipDecider([this](std::int32_t kind) { return decideFlip(kind); });
    app.start();
}

std::size_t Session::shutDown()
{
    app.shutdown();
    return app.control().bytesDiscardedAtClose();
}

std::chrono::milliseconds Session::limit(double defaultSeconds) const
{
    const double s = options.timeoutSeconds > 0 ? options.timeoutSeconds : defaultSeconds;
    return std::chrono::milliseconds(static_cast<long long>(s * 1000));
}

int Session::run()
{
    int exitCode = 0;
    if (!open(exitCode))
        return exitCode;
    exitCode = close(command());
    if (exitCode == 0 && options.json && !printsItsOwnResult(options.command))
        reportOutcome();
    return exitCode;
}

bool Session::open(int& exitCode)
{
    if (connect(exitCode))
        return true;
    disconnect();
    return false;
}

int Session::runOne(const Options& commandOptions)
{
    options = commandOptions;
    ++commandsRun;
    flipEnded = false;
    statusesAtReady = console.statuses().size();
    int exitCode = lateError(command());
    if (exitCode == 0 && options.json && !printsItsOwnResult(options.command))
        reportOutcome();
    return exitCode;
}

int Session::close(int exitCode)
{
    disconnect();
    return lateError(exitCode);
}

int Session::lateError(int exitCode)
{
    if (exitCode == 0 && console.firstError() >= 0)
        return failWithStatus(console.firstError());
    return exitCode;
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
    exitCode = resolvePort(options.port, env, portNumber);
    if (exitCode != 0)
        return false;
    app.model().connect(portNumber, options.baud);
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
    heldAtConnect = connectedSnapshot();
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
                const std::uint16_t s = console.statuses()[i];
                if (s == Status::ConnectionClosed || s == Status::NotConnectedYet)
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
            if (s == status || (errorsToo && isErrorStatus(s)))
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
        if (isErrorStatus(console.statuses()[i])) {
            exitCode = failWithStatus(console.statuses()[i]);
            return false;
        }
    }
    if (!done || !seen(false)) {
        exitCode = failNoAnswer("in time");
        return false;
    }
    return true;
}

std::uint16_t Session::endFlip(int exitCode)
{
    flipEnded = true;
    flipExit = exitCode;
    return FlipAnswer::Cancel;
}

std::uint16_t Session::decideFlip(std::int32_t kind)
{
    // A sync asks only when the link does not know the side of the pier;
    // there is nothing to choose, the side has to be set first.
    if (options.command == Command::Sync) {
        err() << "kv7ctl: the side of the pier is not known; set it with pier set-east or pier set-west, then sync.\n";
        return endFlip(1);
    }
    switch (options.flip) {
    case FlipChoice::Flip: return FlipAnswer::WithFlip;
    case FlipChoice::Cancel:
        out() << "Positioning cancelled: " << flipWord(kind) << "\n";
        return endFlip(0);
    case FlipChoice::NoFlip:
        if (offersWithoutFlip(kind))
            return FlipAnswer::WithoutFlip;
        err() << "kv7ctl: " << flipQuestion(kind) << " Positioning without a flip is not offered here; use --flip.\n";
        return endFlip(1);
    case FlipChoice::Ask: break;
    }
    return askOperator(kind);
}

std::uint16_t Session::askOperator(std::int32_t kind)
{
    const int answer = env.askOperator ? env.askOperator(kind) : -1;
    switch (answer) {
    case FlipAnswer::WithFlip: return FlipAnswer::WithFlip;
    case FlipAnswer::WithoutFlip:
        if (offersWithoutFlip(kind))
            return FlipAnswer::WithoutFlip;
        break;
    case FlipAnswer::Cancel:
        out() << "Positioning cancelled.\n";
        return endFlip(0);
    default: break;
    }
    err() << "kv7ctl: " << flipQuestion(kind)
          << " Nobody to ask: give --flip, --no-flip or --cancel. Nothing was moved.\n";
    return endFlip(1);
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

}  // namespace kv7::cli
