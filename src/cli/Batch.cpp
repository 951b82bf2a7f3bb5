#include "cli/Batch.h"

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Json.h"
#include "cli/Offline.h"

namespace kv7::cli {

namespace {

struct Line {
    int number = 0;
    Options options;
};

// The words of a line, up to a word that begins with '#'.
std::vector<std::string> wordsOf(const std::string& line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        if (w[0] == '#')
            break;
        words.push_back(w);
    }
    return words;
}

// What a line may not change: the connection and the clock are the batch's.
const char* ownedByTheBatch(const Options& line)
{
    const Options defaults;
    if (!line.port.empty() || line.baud != defaults.baud || line.simTimeScale != defaults.simTimeScale ||
        line.utc || line.longitudeGiven)
        return "--port, --baud, --sim-time-scale, --utc and --longitude belong to the batch's own command line";
    if (line.command == Command::Batch)
        return "a batch cannot run another batch";
    return nullptr;
}

// The lines' commands with the batch's own options; false (having said
// why) at the first line that is not a command.
bool readLines(std::istream& in, const Options& batch, Environment& env, std::vector<Line>& lines)
{
    std::string text;
    for (int number = 1; std::getline(in, text); ++number) {
        const std::vector<std::string> words = wordsOf(text);
        if (words.empty())
            continue;
        ParseResult r = parseCommandLine(words);
        const char* owned = r.ok ? ownedByTheBatch(r.options) : nullptr;
        if (!r.ok || owned) {
            *env.err << "kv7ctl: line " << number << ": " << (owned ? owned : r.error) << "\n";
            return false;
        }
        Options& o = r.options;
        o.port = batch.port;
        o.baud = batch.baud;
        o.simTimeScale = batch.simTimeScale;
        o.utc = batch.utc;
        o.longitude = batch.longitude;
        o.longitudeGiven = batch.longitudeGiven;
        o.json = o.json || batch.json;
        if (o.timeoutSeconds == 0)
            o.timeoutSeconds = batch.timeoutSeconds;
        lines.push_back({number, o});
    }
    return true;
}

void reportStop(const Line& line, Environment& env)
{
    *env.err << "kv7ctl: the batch stopped at line " << line.number << " (" << commandName(line.options.command)
             << ")\n";
    if (line.options.json)
        *env.out << Json().num("line", std::int64_t{line.number}).str("command", commandName(line.options.command))
                        .boolean("ok", false).text()
                 << "\n";
}

}  // namespace

int runBatch(const Options& batch, Environment& env, const iUtcClock* fixedClock, const iUtcClock& clock,
             const UserSettings& settings)
{
    std::vector<Line> lines;
    {
        std::ifstream file;
        std::istream* in = env.in;
        if (batch.batchFile != "-") {
            file.open(batch.batchFile);
            in = &file;
        }
        if (!in || !*in) {
            *env.err << "kv7ctl: cannot read " << (batch.batchFile == "-" ? "standard input" : batch.batchFile) << "\n";
            return 1;
        }
        // Every line is read and checked before the first command runs: a
        // mistake at the end must not leave the mount half way through.
        if (!readLines(*in, batch, env, lines))
            return 2;
    }

    bool connected = false;
    for (const Line& line : lines)
        connected = connected || !needsNoConnection(line.options.command);
    std::unique_ptr<Session> session;
    if (connected) {
        session = std::make_unique<Session>(batch, env, fixedClock);
        int exitCode = 0;
        if (!session->open(exitCode))
            return finishSession(*session, exitCode, env);
    }

    UserSettings kept = settings;
    int exitCode = 0;
    for (Line line : lines) {
        // A site set earlier in the batch is the site of the lines after it.
        if (!line.options.longitudeGiven && kept.siteSet)
            line.options.longitude = kept.longitude;
        exitCode = needsNoConnection(line.options.command) ? runOffline(line.options, env, clock, kept)
                                                           : session->runOne(line.options);
        if (exitCode != 0) {
            reportStop(line, env);
            break;
        }
        if (line.options.command == Command::Site && line.options.siteSet) {
            kept.siteSet = true;
            kept.latitude = line.options.siteLatitude;
            kept.longitude = line.options.siteLongitude;
            if (session && !line.options.longitudeGiven)
                session->useLongitude(kept.longitude);
        }
    }
    if (!session)
        return exitCode;
    return finishSession(*session, session->close(exitCode), env);
}

}  // namespace kv7::cli
