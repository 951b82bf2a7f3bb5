// One connection's worth of kv7ctl: the application with a console for its
// window, connect, the command, the waits for its outcome, disconnect.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <ostream>
#include <vector>

#include "app/AppModel.h"
#include "cli/CliOptions.h"
#include "cli/ConfigFile.h"
#include "cli/Console.h"
#include "cli/Runner.h"
#include "commission/Procedures.h"
#include "entry/Application.h"
#include "ui/WritePreview.h"

namespace kv7::cli {

class Session {
public:
    Session(const Options& options, Environment& env, const iUtcClock* clock);
    ~Session() { app.shutdown(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Connects, carries out the command, disconnects; the exit code.
    int run();

    // A batch's parts: connect once, then each command with its own
    // options (the connection's are the session's), then disconnect.
    bool open(int& exitCode);
    int runOne(const Options& commandOptions);
    // Disconnects; exitCode, or 1 for an error shown since.
    int close(int exitCode);
    // The longitude of every sidereal time from now on (site set in a batch).
    void useLongitude(double degrees) { app.model().setSiteLongitude(degrees); }
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
    // Errors shown after the outcome (a late communication error) still
    // count, with --json too: a script reads the exit status first.
    int lateError(int exitCode);

    // The commands.
    int command();
    int info();
    int readEncoders();
    void printReading(const MountState& m);
    int move();
    // state (where = false) and where: one reading of the motor axes.
    int axes(bool where);
    int sync();
    // read-encoders --watch with --rate or --csv, and the assistant.
    int monitor();
    void printMonitorLine(double seconds, const MountState& encoders, const MountState& axes, unsigned flags);
    bool readOnce(std::uint8_t mode, const char* what, int& exitCode);
    int commission();
    int runProcedure(commission::Procedure& run);
    int reportDetection(commission::FormatDetection& run, commission::AxisName axis);
    int reportCheck(const commission::EncoderCheckRun& run, commission::AxisName axis);
    bool stopAsked() const { return env.interrupted && env.interrupted(); }
    int simple(std::uint16_t awaited, const std::function<void()>& send);
    // The writes: what changes is shown first and sent only when the
    // operator agrees (or --yes); the model then holds what was written.
    int write(const char* what, const ControllerParameters& parameters, const AxisConfiguration& axes,
              std::uint16_t awaited, const std::function<void()>& send);
    int store();
    bool writeConfirmed(const char* what, const std::vector<SettingChange>& changes, int& exitCode);
    // --yes, or yes on the terminal; otherwise false with exitCode set (1
    // when there is nobody to ask).
    bool operatorAgrees(const std::string& question, const char* giveYesTo, int& exitCode);
    // config save|show|diff|restore (ConfigFile.cpp, ConfigRestore.cpp).
    int config();
    config::Snapshot connectedSnapshot();
    int saveSnapshot();
    bool snapshotForThisController(config::Snapshot& file, int& exitCode);
    void printDifferences(const std::vector<config::Difference>& found);
    int diffSnapshot();
    int restoreSnapshot();
    void sendRestore(config::Writer writer, const config::Snapshot& file);
    bool writeAnswered(config::Writer writer, const config::Snapshot& file);
    std::array<RestoreStep, 4> writeDifferences(const std::vector<config::Difference>& found,
                                                const config::Snapshot& file);
    // Disconnects and connects again to the same port; false when the
    // connect sequence did not finish.
    bool reconnect();
    int reportRestore(const std::vector<config::Difference>& found, const std::array<RestoreStep, 4>& steps,
                      const config::Snapshot* after);

    Options options;          // the session's, then the command's in a batch
    Environment& env;
    Application app;
    Console console;
    bool flipEnded = false;   // the question was answered with cancel, or refused
    int flipExit = 0;
    std::size_t statusesAtReady = 0;
    std::uint32_t portNumber = 0;   // the port connect resolved
    int commandsRun = 0;            // of a batch, this one included
    config::Snapshot heldAtConnect;   // what the connect sequence read
};

}  // namespace kv7::cli
