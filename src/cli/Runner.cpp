#include "cli/Runner.h"

#include <memory>

#include "app/AppModel.h"
#include "app/Codes.h"
#include "cli/Offline.h"
#include "cli/Ports.h"
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
