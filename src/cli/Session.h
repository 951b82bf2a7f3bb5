// One connection's worth of kv7ctl: the application with a console for its
// window, connect, the command, the waits for its outcome, disconnect.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>

#include "app/AppModel.h"
#include "cli/CliOptions.h"
#include "cli/Console.h"
#include "cli/Runner.h"
#include "entry/Application.h"

namespace kv7::cli {

class Session {
public:
    Session(const Options& options, Environment& env, const iUtcClock* clock);
    ~Session() { app.shutdown(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Connects, carries out the command, disconnects; the exit code.
    int run();
    // Stops the link; returns the bytes of frames the port's close had to
    // discard, which never reached the controller.
    std::size_t shutDown();

private:
    std::ostream& out() { return *env.out; }
    std::ostream& err() { return *env.err; }
    // The --timeout, or the command's own default.
    std::chrono::milliseconds limit(double defaultSeconds) const;

    bool connect(int& exitCode);
    void disconnect();
    int failWithStatus(int status);
    int failNoAnswer(const char* what);
    // Dispatches until status is shown; false with exitCode set when an
    // error status, a refused flip question or the time limit comes first.
    bool waitForStatus(std::uint16_t status, std::chrono::milliseconds within, int& exitCode);
    std::uint16_t decideFlip(std::int32_t kind);
    std::uint16_t askOperator(std::int32_t kind);
    // The flip question ends the command with this exit code.
    std::uint16_t endFlip(int exitCode);
    void reportStatuses(std::size_t from);
    // The one line of --json that says a command without output succeeded.
    void reportOutcome();

    // The commands.
    int command();
    int info();
    int readEncoders();
    void printReading(const MountState& m);
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

}  // namespace kv7::cli
