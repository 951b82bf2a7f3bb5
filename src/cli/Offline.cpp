#include "cli/Offline.h"

#include <cstdio>
#include <string>

#include "app/AppModel.h"
#include "app/Codes.h"
#include "astro/Astro.h"
#include "astro/TextConvert.h"
#include "cli/Json.h"
#include "link/PositioningMath.h"

namespace kv7::cli {

namespace {

// As the main window's LST field shows it.
std::string clockText(double hours)
{
    char text[64];
    formatSiderealTime(hours, text);
    return text;
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

}  // namespace kv7::cli
