#include "cli/Offline.h"

#include <charconv>
#include <cstdio>
#include <string>

#include "app/AppModel.h"
#include "app/Codes.h"
#include "astro/Astro.h"
#include "astro/TextConvert.h"
#include "cli/Json.h"
#include "cli/Ports.h"
#include "link/PositioningMath.h"
#include "version/Version.h"

namespace kv7::cli {

namespace {

// As the main window's LST field shows it.
std::string clockText(double hours)
{
    char text[64];
    formatSiderealTime(hours, text);
    return text;
}

// Every digit the number has, as the settings file keeps it.
std::string degreesText(double v)
{
    char b[32];
    const auto r = std::to_chars(b, b + sizeof b, v);
    return std::string(b, r.ptr);
}

std::string utcText(const UtcTime& t)
{
    char b[32];
    std::snprintf(b, sizeof b, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return b;
}

std::string fixed(const char* format, double v)
{
    char b[64];
    std::snprintf(b, sizeof b, format, v);
    return b;
}

// What a GOTO would do, from the link's own positioning functions.
struct GotoPlan {
    double lst = 0;
    double hourOffset = 0;
    std::int32_t kind = 0;          // 0: position at once; else the flip question
    bool west = false;
    AxisPositions here;             // on the present side
    AxisPositions flipped;          // on the other side
};

GotoPlan planFor(const Options& o, const iUtcClock& clock)
{
    GotoPlan plan;
    AppModel model(&clock, o.longitude);
    plan.lst = hoursWithinOneDay(model.localSiderealTime());
    const double raHours = targetRaHours(o.raArcsec);
    const double decDegrees = targetDecDegrees(o.decArcsec);
    const double k = stepsPerHour(o.raMicrosteps);
    const double k2 = stepsPerHour(o.decMicrosteps);
    plan.hourOffset = wrapHourOffset(raHours, plan.lst);
    plan.kind = gotoPromptKind(o.planPier, plan.hourOffset);
    plan.west = o.planPier == PierState::pierWest;
    plan.here = skyTargetPositions(plan.west, plan.hourOffset, decDegrees, k, k2);
    plan.flipped = skyTargetPositions(!plan.west, plan.hourOffset, decDegrees, k, k2);
    return plan;
}

Json positions(const AxisPositions& p)
{
    Json j;
    j.num("raPosition", std::int64_t{p.ra}).num("decPosition", std::int64_t{p.dec});
    return j;
}

std::string planJson(const Options& o, const GotoPlan& plan)
{
    Json j;
    j.num("raArcsec", std::uint64_t{o.raArcsec})
        .num("decArcsec", std::int64_t{o.decArcsec})
        .str("pier", plan.west ? "west" : "east")
        .num("lstHours", plan.lst)
        .num("hourOffset", plan.hourOffset)
        .str("decision", plan.kind == 0 ? "position" : "prompt")
        .num("promptKind", std::int64_t{plan.kind});
    if (plan.kind == 0) {
        j.num("raPosition", std::int64_t{plan.here.ra}).num("decPosition", std::int64_t{plan.here.dec});
        return j.text();
    }
    if (offersWithoutFlip(plan.kind))
        j.object("withoutFlip", positions(plan.here));
    Json withFlip;
    withFlip.str("pier", plan.west ? "east" : "west")
        .num("raPosition", std::int64_t{plan.flipped.ra})
        .num("decPosition", std::int64_t{plan.flipped.dec});
    return j.object("withFlip", withFlip).text();
}

void printPlan(std::ostream& out, const GotoPlan& plan)
{
    out << "LST:          " << fixed("%.7f", plan.lst) << " h  " << clockText(plan.lst) << "\n"
        << "Hour offset:  " << fixed("%+.7f", plan.hourOffset) << " h (positive: east of the meridian)\n";
    if (plan.kind == 0) {
        out << "Decision:     position at once on the " << (plan.west ? "west" : "east") << " side\n"
            << "Axis positions: RA " << plan.here.ra << "  Dec " << plan.here.dec << "\n";
        return;
    }
    out << "Decision:     ask (prompt kind " << plan.kind << "): " << flipQuestion(plan.kind) << "\n";
    if (offersWithoutFlip(plan.kind))
        out << "  without flip: RA " << plan.here.ra << "  Dec " << plan.here.dec << "\n";
    out << "  with flip (to the " << (plan.west ? "east" : "west") << " side): RA " << plan.flipped.ra << "  Dec "
        << plan.flipped.dec << "\n";
}

}  // namespace

int siderealTime(const Options& o, Environment& env, const iUtcClock& clock)
{
    const UtcTime t = clock.now();
    const double jd = julianDate(t.year, t.month, t.day, t.hour, t.minute, t.second);
    const double gmst = greenwichSiderealTime(jd);
    AppModel model(&clock, o.longitude);
    const double lst = hoursWithinOneDay(model.localSiderealTime());
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
        return 0;
    }
    *env.out << "UTC:  " << utcText(t) << "\nJD:   " << fixed("%.5f", jd) << "\nGMST: " << fixed("%.7f", gmst)
             << " h  " << clockText(gmst) << "\nLST:  " << fixed("%.7f", lst) << " h  " << clockText(lst)
             << "  (longitude " << o.longitude << ")\n";
    return 0;
}

int planGoto(const Options& o, Environment& env, const iUtcClock& clock)
{
    const GotoPlan plan = planFor(o, clock);
    if (o.json)
        *env.out << planJson(o, plan) << "\n";
    else
        printPlan(*env.out, plan);
    return 0;
}

int site(const Options& o, Environment& env, const UserSettings& loaded)
{
    std::ostream& out = *env.out;
    if (o.siteSet) {
        if (!env.settings) {
            *env.err << "kv7ctl: this system gives no place for the settings file (set HOME or XDG_CONFIG_HOME)\n";
            return 1;
        }
        UserSettings s = loaded;
        s.siteSet = true;
        s.latitude = o.siteLatitude;
        s.longitude = o.siteLongitude;
        std::string error;
        if (!env.settings->save(formatUserSettings(s), error)) {
            *env.err << "kv7ctl: the site was not saved: " << error << "\n";
            return 1;
        }
        if (o.json) {
            out << Json()
                       .str("command", "site")
                       .boolean("ok", true)
                       .num("latitude", s.latitude)
                       .num("longitude", s.longitude)
                       .str("settingsFile", env.settingsPath)
                       .text()
                << "\n";
        } else {
            out << "Site saved: latitude " << degreesText(s.latitude) << ", longitude " << degreesText(s.longitude)
                << " (" << env.settingsPath << ")\n";
        }
        return 0;
    }
    if (o.json) {
        Json j;
        j.boolean("siteSet", loaded.siteSet);
        if (loaded.siteSet)
            j.num("latitude", loaded.latitude).num("longitude", loaded.longitude);
        out << j.str("settingsFile", env.settingsPath).num("longitudeInUse", o.longitude).text() << "\n";
        return 0;
    }
    if (loaded.siteSet)
        out << "Site: latitude " << degreesText(loaded.latitude) << ", longitude " << degreesText(loaded.longitude);
    else
        out << "Site: the built-in default, longitude " << degreesText(UserSettings::defaultLongitude);
    out << " (" << (env.settingsPath.empty() ? std::string("no settings file") : env.settingsPath) << ")\n";
    if (o.longitudeGiven)
        out << "In use: longitude " << degreesText(o.longitude) << " (--longitude)\n";
    return 0;
}

bool needsNoConnection(Command c)
{
    return c == Command::Help || c == Command::Version || c == Command::Ports || c == Command::Lst ||
           c == Command::PlanGoto || c == Command::Site || c == Command::Transcript || c == Command::None;
}

int runOffline(const Options& o, Environment& env, const iUtcClock& clock, const UserSettings& settings)
{
    switch (o.command) {
    case Command::Help:
        *env.out << (o.helpTopic.empty() || o.helpTopic == "help" ? usageText() : commandHelp(o.helpTopic));
        return 0;
    case Command::Version: *env.out << versionLine("kv7ctl") << "\n"; return 0;
    case Command::Ports: return listPorts(o, env);
    case Command::Lst: return siderealTime(o, env, clock);
    case Command::PlanGoto: return planGoto(o, env, clock);
    case Command::Site: return site(o, env, settings);
    case Command::Transcript: return showTranscript(o, env);
    default: return 2;
    }
}

}  // namespace kv7::cli
