#include "cli/Runner.h"

#include <memory>
#include <string>
#include <vector>

#include "app/AppModel.h"
#include "app/Codes.h"
#include "cli/Batch.h"
#include "cli/ConfigFile.h"
#include "cli/Offline.h"
#include "cli/Ports.h"
#include "cli/Recording.h"
#include "cli/Session.h"

namespace kv7::cli {

namespace {

class FixedUtc final : public iUtcClock {
public:
    explicit FixedUtc(const UtcTime& t) : instant(t) {}
    UtcTime now() const override { return instant; }

private:
    UtcTime instant;
};

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

namespace {

// The settings file's site stands unless --longitude was given; what could
// not be read is said, and the built-in site is used in its place.
UserSettings applySettings(Options& o, Environment& env)
{
    if (!env.settings)
        return {};
    std::vector<std::string> problems;
    const UserSettings settings = loadUserSettings(*env.settings, problems);
    if (!o.longitudeGiven || o.command == Command::Site) {
        for (const std::string& problem : problems)
            *env.err << "kv7ctl: settings file " << env.settingsPath << ": " << problem << "\n";
        if (!problems.empty() && !settings.siteSet)
            *env.err << "kv7ctl: the built-in site is used\n";
    }
    if (!o.longitudeGiven && settings.siteSet)
        o.longitude = settings.longitude;
    return settings;
}

}  // namespace

int runCommand(const Options& given, Environment& env)
{
    SystemUtcClock systemClock;
    std::unique_ptr<FixedUtc> fixed;
    if (given.utc)
        fixed = std::make_unique<FixedUtc>(*given.utc);
    const iUtcClock& clock = fixed ? static_cast<const iUtcClock&>(*fixed) : systemClock;

    Options options = given;
    const UserSettings settings =
        given.command == Command::Help || given.command == Command::Version || given.command == Command::Ports
            ? UserSettings{} : applySettings(options, env);
    if (options.command == Command::Config && options.configAction == ConfigAction::Show)
        return showSnapshot(options, env);
    if (needsNoConnection(options.command))
        return runOffline(options, env, clock, settings);
    Recording recording;
    Environment* runEnv = &env;
    if (!options.transcriptPath.empty() && !(runEnv = recording.start(options, env)))
        return 1;
    if (options.command == Command::Batch)
        return runBatch(options, *runEnv, fixed.get(), clock, settings);

    Session session(options, *runEnv, fixed ? fixed.get() : nullptr);
    return finishSession(session, session.run(), *runEnv);
}

int finishSession(Session& session, int exitCode, Environment& env)
{
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
