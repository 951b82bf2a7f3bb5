// kv7ctl config save|show|diff|restore: the controller's configuration kept
// in a snapshot file (config/Snapshot.h), compared with the controller, and
// written back through the link's own requests.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "cli/ConfigFile.h"
#include "cli/Json.h"
#include "cli/Session.h"
#include "config/Snapshot.h"
#include "ui/RecordFields.h"
#include "ui/WritePreview.h"
#include "version/Version.h"

namespace kv7::cli {

namespace {

using config::Snapshot;
using config::Writer;

const config::FieldSpec& specOf(const config::Difference& d) { return config::fieldSpecs()[d.index]; }

}  // namespace

bool loadSnapshot(const std::string& path, Environment& env, Snapshot& snapshot)
{
    std::string text;
    std::string error;
    if (!env.readFile || !env.readFile(path, config::maxFileBytes, text, error) ||
        !config::readSnapshot(text, snapshot, error)) {
        *env.err << "kv7ctl: " << path << ": " << (env.readFile ? error : "no files can be read here") << "\n";
        return false;
    }
    return true;
}

int showSnapshot(const Options& options, Environment& env)
{
    Snapshot s;
    if (!loadSnapshot(options.configFile, env, s))
        return 1;
    std::ostream& out = *env.out;
    if (options.json) {
        Json j;
        j.str("file", options.configFile).num("version", std::int64_t{s.version}).str("savedUtc", s.savedUtc);
        j.str("port", s.port).str("program", s.program);
        for (std::size_t i = 0; i < s.fields.size(); ++i)
            j.raw(config::qualifiedName(config::fieldSpecs()[i]).c_str(), config::numbersText(s.fields[i]));
        out << j.text() << "\n";
        return 0;
    }
    out << "Snapshot " << options.configFile << " (version " << s.version << ")\n"
        << "  saved " << s.savedUtc << " from " << s.port << " by " << s.program << "\n";
    const char* section = "";
    for (std::size_t i = 0; i < s.fields.size(); ++i) {
        const config::FieldSpec& spec = config::fieldSpecs()[i];
        if (std::string(section) != config::sectionName(spec.section)) {
            section = config::sectionName(spec.section);
            out << section << "\n";
        }
        out << "  " << spec.name << ": " << config::numbersText(s.fields[i]) << "\n";
    }
    return 0;
}

int Session::config()
{
    // What the model holds was read at connect; a command of the batch
    // before this one may have changed the controller since.
    const bool compares = options.configAction == ConfigAction::Diff || options.configAction == ConfigAction::Restore;
    if (compares && commandsRun > 1 && !reconnect()) {
        err() << "kv7ctl: the controller's configuration could not be read again\n";
        return 1;
    }
    switch (options.configAction) {
    case ConfigAction::Show: return showSnapshot(options, env);
    case ConfigAction::Save: return saveSnapshot();
    case ConfigAction::Diff: return diffSnapshot();
    case ConfigAction::Restore: return restoreSnapshot();
    }
    return 2;
}

Snapshot Session::connectedSnapshot() { return snapshotOf(app.model().parameters, app.model().axisConfiguration); }

int Session::saveSnapshot()
{
    Snapshot s = connectedSnapshot();
    s.savedUtc = utcStamp(app.model().utcNow());
    s.port = options.port.empty() ? std::to_string(portNumber) : options.port;
    s.program = versionLine("kv7ctl");
    std::string error;
    if (!env.writeFile || !env.writeFile(options.configFile, config::writeSnapshot(s), error)) {
        err() << "kv7ctl: the snapshot was not saved: " << (env.writeFile ? error : "no files can be written here")
              << "\n";
        return 1;
    }
    if (options.json)
        out() << Json().str("command", "config").boolean("ok", true).str("saved", options.configFile).text() << "\n";
    else
        out() << "Saved the controller's configuration to " << options.configFile << "\n";
    return 0;
}

// The file, checked against this controller; false (exit code set) when it
// cannot be used here.
bool Session::snapshotForThisController(Snapshot& file, int& exitCode)
{
    exitCode = 1;
    if (!loadSnapshot(options.configFile, env, file))
        return false;
    if (const std::string why = config::modelMismatch(file, connectedSnapshot()); !why.empty()) {
        err() << "kv7ctl: " << options.configFile << ": " << why << "; nothing was written\n";
        return false;
    }
    exitCode = 0;
    return true;
}

void Session::printDifferences(const std::vector<config::Difference>& found)
{
    for (const config::Difference& d : found) {
        const std::string name = config::qualifiedName(specOf(d));
        if (options.json) {
            out() << Json()
                         .str("field", name)
                         .raw("snapshot", config::numbersText(d.inFile))
                         .raw("controller", config::numbersText(d.inController))
                         .boolean("writable", specOf(d).writer != Writer::None)
                         .text()
                  << "\n";
        } else {
            out() << name << "  snapshot " << config::numbersText(d.inFile) << "  controller "
                  << config::numbersText(d.inController)
                  << (specOf(d).writer == Writer::None ? "  (cannot be written by this program)" : "") << "\n";
        }
    }
}

int Session::diffSnapshot()
{
    Snapshot file;
    int exitCode = 0;
    if (!snapshotForThisController(file, exitCode))
        return exitCode;
    const auto found = config::differences(file, connectedSnapshot());
    printDifferences(found);
    return found.empty() ? 0 : 1;
}

}  // namespace kv7::cli
