// kv7ctl config restore: the fields that differ from the snapshot written
// with the link's requests, one request at a time, then read back over a new
// connection and reported field by field.
#include <algorithm>
#include <array>
#include <string>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "cli/ConfigFile.h"
#include "cli/Json.h"
#include "cli/Session.h"

namespace kv7::cli {

namespace {

using config::Difference;
using config::Snapshot;
using config::Writer;
using namespace std::chrono_literals;

// The order the requests go in; the index of each step is the writer's value.
constexpr Writer requestOrder[] = {Writer::EncoderFormat, Writer::EncoderCalibration, Writer::MotorReversal};

const config::FieldSpec& specOf(const Difference& d) { return config::fieldSpecs()[d.index]; }

bool differsIn(const std::vector<Difference>& found, Writer writer)
{
    return std::any_of(found.begin(), found.end(), [&](const Difference& d) { return specOf(d).writer == writer; });
}

std::uint8_t byteOf(const Snapshot& s, const char* name) { return static_cast<std::uint8_t>(s.number(name)); }
std::uint32_t wordOf(const Snapshot& s, const char* name) { return static_cast<std::uint32_t>(s.number(name)); }

// What became of one field; verified is true only when it was read back
// from the controller equal to the file.
std::string outcomeText(const Difference& d, RestoreStep step, const Snapshot* after, bool& verified)
{
    verified = false;
    if (specOf(d).writer == Writer::None)
        return "cannot be written by this program; left alone";
    if (step == RestoreStep::NotWritten)
        return "not written (the restore stopped before it)";
    if (!after)
        return step == RestoreStep::Answered ? "written, not verified (no new connection to read it back)"
                                             : "sent as the connection failed; not verified";
    const config::Numbers& now = after->fields[d.index];
    verified = now == d.inFile;
    if (verified)
        return "written and verified";
    const char* what =
        step == RestoreStep::Answered ? "written, but" : "not written (the connection failed as it was sent);";
    return std::string(what) + " the controller holds " + config::numbersText(now);
}

}  // namespace

void Session::sendRestore(Writer writer, const Snapshot& f)
{
    iKV7Control& c = app.control();
    switch (writer) {
    case Writer::EncoderFormat:
        c.setEncoderFormat(byteOf(f, "raFlags"), byteOf(f, "raLeadingBits"), byteOf(f, "raBitsPerRevolution"),
                           byteOf(f, "raBitsForRevolutions"), byteOf(f, "decFlags"), byteOf(f, "decLeadingBits"),
                           byteOf(f, "decBitsPerRevolution"), byteOf(f, "decBitsForRevolutions"));
        return;
    case Writer::EncoderCalibration:
        c.setEncoderCalibration(byteOf(f, "reverseEncoderBits"), wordOf(f, "raEncoderOffset"),
                                wordOf(f, "decEncoderOffset"));
        return;
    case Writer::MotorReversal: c.setMotorReversal(byteOf(f, "reverseMotorBits"), byteOf(f, "motorExtraByte")); return;
    case Writer::None: return;
    }
}

// The encoder format and the motor flags have no reply of their own: a
// reading of the axes after them, answered, shows the controller has taken
// them, since the link and the controller keep the order.
bool Session::writeAnswered(Writer writer, const Snapshot& file)
{
    sendRestore(writer, file);
    int exitCode = 0;
    if (writer == Writer::EncoderCalibration)
        return waitForStatus(Status::CalibrationUpdated, limit(10), exitCode);
    return readOnce(ReadMode::Axes, "after the write", exitCode);
}

std::array<RestoreStep, 4> Session::writeDifferences(const std::vector<Difference>& found, const Snapshot& file)
{
    std::array<RestoreStep, 4> steps{};
    for (const Writer writer : requestOrder) {
        if (!differsIn(found, writer))
            continue;
        auto& step = steps[static_cast<std::size_t>(writer)];
        step = RestoreStep::Sent;
        if (!writeAnswered(writer, file))
            break;
        step = RestoreStep::Answered;
    }
    return steps;
}

bool Session::reconnect()
{
    disconnect();
    const int before = console.configurations();
    const std::size_t from = console.statuses().size();
    auto failed = [&] {
        for (std::size_t i = from; i < console.statuses().size(); ++i) {
            if (isErrorStatus(console.statuses()[i]))
                return true;
        }
        return false;
    };
    app.model().connect(portNumber, options.baud);
    console.runUntil([&] { return console.configurations() > before || failed(); }, 15s);
    return console.configurations() > before && !failed();
}

int Session::reportRestore(const std::vector<Difference>& found, const std::array<RestoreStep, 4>& steps,
                           const Snapshot* after)
{
    bool everyOne = true;
    for (const Difference& d : found) {
        bool verified = false;
        const std::string outcome =
            outcomeText(d, steps[static_cast<std::size_t>(specOf(d).writer)], after, verified);
        everyOne = everyOne && verified;
        const std::string name = config::qualifiedName(specOf(d));
        if (options.json)
            out() << Json()
                         .str("field", name)
                         .raw("snapshot", config::numbersText(d.inFile))
                         .raw("controller", config::numbersText(d.inController))
                         .boolean("verified", verified)
                         .str("outcome", outcome)
                         .text()
                  << "\n";
        else
            out() << name << ": " << outcome << "\n";
    }
    return everyOne ? 0 : 1;
}

int Session::restoreSnapshot()
{
    Snapshot file;
    int exitCode = 0;
    if (!snapshotForThisController(file, exitCode))
        return exitCode;
    const auto found = config::differences(file, connectedSnapshot());
    if (found.empty()) {
        if (!options.json)
            out() << "The controller holds the snapshot already; nothing to write.\n";
        return 0;
    }
    if (!options.json) {
        out() << options.configFile << " differs from the controller:\n";
        printDifferences(found);
    }
    const auto writable = static_cast<std::size_t>(std::count_if(
        found.begin(), found.end(), [](const Difference& d) { return specOf(d).writer != Writer::None; }));
    if (writable == 0) {
        err() << "kv7ctl: none of these fields can be written by this program; nothing was written\n";
        return 1;
    }
    if (!operatorAgrees("Write " + std::to_string(writable) + " field(s) to the controller? [y/N] ", "restore", exitCode))
        return exitCode;
    const auto steps = writeDifferences(found, file);
    if (!reconnect())
        return reportRestore(found, steps, nullptr);
    const Snapshot after = connectedSnapshot();
    return reportRestore(found, steps, &after);
}

}  // namespace kv7::cli
