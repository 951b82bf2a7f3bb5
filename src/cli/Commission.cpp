// kv7ctl's encoder monitor (read-encoders --watch with --rate or --csv) and
// the commissioning assistant (commission detect-format|check).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "app/Codes.h"
#include "cli/Json.h"
#include "cli/Session.h"
#include "commission/Procedures.h"
#include "commission/ReadingWatch.h"

namespace kv7::cli {

namespace {

using commission::AxisName;
using commission::Procedure;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

commission::WatchLimits watchLimits(const ControllerParameters& p, const AxisConfiguration& a)
{
    commission::WatchLimits w;
    w.resolution[0] = a.raEncoderResolution;
    w.resolution[1] = a.decEncoderResolution;
    if (p.raMicrosteps > 0)
        w.maxTurnsPerSecond[0] = static_cast<double>(p.raMaxSpeed) / p.raMicrosteps;
    if (p.decMicrosteps > 0)
        w.maxTurnsPerSecond[1] = static_cast<double>(p.decMaxSpeed) / p.decMicrosteps;
    return w;
}

const char* implausibleText(unsigned flags)
{
    static const char* const words[] = {"", "ra", "dec", "ra+dec"};
    return words[flags & 3u];
}

std::string evidenceLine(const commission::CandidateEvidence& e)
{
    char text[200];
    std::snprintf(text, sizeof text, "  %-44s rate %8.4f  its way %3.0f %%  jumps %3d  ends %s",
                  commission::formatText(e.format).c_str(), e.rate, 100.0 * e.agreement, e.jumps,
                  e.endMatches ? "where the bits do" : "elsewhere");
    return text;
}

}  // namespace

bool Session::readOnce(std::uint8_t mode, const char* what, int& exitCode)
{
    const int before = mode == ReadMode::Axes ? console.allMountStates() : console.mountStates();
    app.control().readEncoders(mode);
    auto count = [&] { return mode == ReadMode::Axes ? console.allMountStates() : console.mountStates(); };
    if (!console.runUntil([&] { return count() > before || console.firstError() >= 0; }, limit(10))) {
        exitCode = failNoAnswer(what);
        return false;
    }
    if (console.firstError() >= 0) {
        exitCode = failWithStatus(console.firstError());
        return false;
    }
    return true;
}

void Session::printMonitorLine(double seconds, const MountState& encoders, const MountState& axes, unsigned flags)
{
    if (options.json) {
        Json j;
        j.num("seconds", seconds)
            .num("raCounts", std::uint64_t{encoders.raEncoderPosition})
            .num("decCounts", std::uint64_t{encoders.decEncoderPosition})
            .num("raMotorSteps", std::int64_t{axes.raAxisPosition})
            .num("decMotorSteps", std::int64_t{axes.decAxisPosition})
            .str("implausible", implausibleText(flags));
        out() << j.text() << "\n";
        return;
    }
    char line[200];
    if (options.csv) {
        std::snprintf(line, sizeof line, "%.3f,%u,%u,%d,%d,%s\n", seconds, unsigned{encoders.raEncoderPosition},
                      unsigned{encoders.decEncoderPosition}, int{axes.raAxisPosition}, int{axes.decAxisPosition},
                      implausibleText(flags));
    } else {
        std::snprintf(line, sizeof line, "%9.3f s  RA %10u  Dec %10u counts  motors %11d %11d steps%s\n", seconds,
                      unsigned{encoders.raEncoderPosition}, unsigned{encoders.decEncoderPosition},
                      int{axes.raAxisPosition}, int{axes.decAxisPosition},
                      flags ? (std::string("  cannot be right: ") + implausibleText(flags)).c_str() : "");
    }
    out() << line;
}

int Session::monitor()
{
    commission::ReadingWatch watch(watchLimits(app.model().parameters, app.model().axisConfiguration));
    const double rate = options.rateMax ? 0.0 : (options.rateHz > 0 ? options.rateHz : 1.0);
    const auto length = std::chrono::duration<double>(env.watchPeriod) * options.watchSeconds;
    if (options.csv && !options.json)
        out() << "seconds,ra_counts,dec_counts,ra_motor_steps,dec_motor_steps,implausible\n";
    const Clock::time_point start = Clock::now();
    int exitCode = 0;
    // At a rate, readings at whole periods from the start, as many as fit
    // the time; as fast as possible, until the time is up.
    const long long count = rate > 0 ? std::llround(options.watchSeconds * rate) : -1;
    for (long long k = 0; count < 0 || k < count; ++k) {
        if (rate > 0) {
            const auto next = start + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(env.watchPeriod) * (k / rate));
            console.runUntil([this] { return stopAsked(); },
                             std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()));
        } else if (Clock::now() - start >= length) {
            break;
        }
        if (stopAsked())
            break;
        if (!readOnce(ReadMode::Encoders, "to the encoder reading", exitCode))
            return exitCode;
        const MountState encoders = app.model().mountState;
        if (!readOnce(ReadMode::Axes, "to the reading of the motor axes", exitCode))
            return exitCode;
        const double at = secondsSince(start);
        const unsigned flags = watch.add(at, encoders.raEncoderPosition, encoders.decEncoderPosition);
        printMonitorLine(at, encoders, app.model().mountState, flags);
    }
    const double took = secondsSince(start);
    char text[200];
    std::snprintf(text, sizeof text, "%ld readings in %.1f s (%.1f a second); cannot be right: RA %ld, Dec %ld\n",
                  watch.readings(), took, took > 0 ? watch.readings() / took : 0.0, watch.implausible(0),
                  watch.implausible(1));
    if (options.json) {
        Json j;
        out() << j.num("readings", std::int64_t{watch.readings()})
                     .num("seconds", took)
                     .num("implausibleRa", std::int64_t{watch.implausible(0)})
                     .num("implausibleDec", std::int64_t{watch.implausible(1)})
                     .text()
              << "\n";
    } else {
        (options.csv ? err() : out()) << text;
    }
    return 0;
}

// ---- The assistant -------------------------------------------------------------

int Session::commission()
{
    const AxisName axis = options.commissionDec ? AxisName::Dec : AxisName::Ra;
    const commission::AxisFacts facts = commission::axisFacts(axis, app.model().parameters, app.model().axisConfiguration);
    const auto speed = static_cast<std::uint8_t>(options.speed < 0 ? 6 : options.speed);
    std::unique_ptr<Procedure> run;
    commission::FormatDetection* detection = nullptr;
    commission::EncoderCheckRun* check = nullptr;
    if (options.commissionCheck) {
        commission::EncoderCheckRun::Settings s;
        s.speed = speed;
        s.steps = options.steps;
        run = std::make_unique<commission::EncoderCheckRun>(app.control(), axis, facts, s);
        check = static_cast<commission::EncoderCheckRun*>(run.get());
    } else {
        commission::FormatDetection::Settings s;
        s.speed = speed;
        run = std::make_unique<commission::FormatDetection>(app.control(), axis, facts, s);
        detection = static_cast<commission::FormatDetection*>(run.get());
    }
    const int exitCode = runProcedure(*run);
    if (exitCode != 0 && detection && detection->lineFailed()) {
        // The line failed with a capture format in place: say how to put
        // the one from before back.
        const EncoderFormat f = detection->formatBefore();
        err() << "kv7ctl: the controller may still hold the capture format; write the format from before with:\n"
              << "  kv7ctl encoder-format " << unsigned{f.raFlags} << " " << unsigned{f.raLeadingBits} << " "
              << unsigned{f.raBitsPerRevolution} << " " << unsigned{f.raBitsForRevolutions} << " "
              << unsigned{f.decFlags} << " " << unsigned{f.decLeadingBits} << " " << unsigned{f.decBitsPerRevolution}
              << " " << unsigned{f.decBitsForRevolutions} << "\n";
    }
    if (exitCode != 0)
        return exitCode;
    return detection ? reportDetection(*detection, axis) : reportCheck(*check, axis);
}

int Session::runProcedure(Procedure& run)
{
    const Clock::time_point start = Clock::now();
    console.setWatchers([&](const MountState& m) { run.onReading(m, secondsSince(start)); },
                        [&](std::uint16_t status) { run.onStatus(status); });
    run.start(secondsSince(start));
    std::string shown;
    while (run.running()) {
        console.runUntil([&] { return !run.running() || stopAsked(); }, std::chrono::milliseconds(100));
        run.onTick(secondsSince(start));
        if (stopAsked())
            run.cancel();
        if (!options.json && run.running() && run.activity() != shown) {
            shown = run.activity();
            err() << "kv7ctl: " << shown << " (" << static_cast<int>(100 * run.progress()) << " %)\n";
        }
    }
    console.setWatchers({}, {});
    if (run.stage() == Procedure::Stage::Cancelled) {
        err() << "kv7ctl: cancelled; the axis was stopped and nothing was written.\n";
        return 1;
    }
    if (run.stage() == Procedure::Stage::Failed) {
        err() << "kv7ctl: " << run.failure() << " The axis was stopped and nothing was written.\n";
        return 1;
    }
    return 0;
}

int Session::reportDetection(commission::FormatDetection& run, AxisName axis)
{
    const commission::DetectionResult& r = run.result();
    const std::vector<commission::CandidateEvidence> leaders = commission::distinctLeaders(r, 5);
    bool written = false;
    if (r.proposed) {
        if (!options.yes && !options.json)
            out() << r.verdict << "\n";
        const bool accept = options.yes || (env.confirm && env.confirm("Write this format for the " +
                                                                      std::string(commission::axisText(axis)) +
                                                                      " encoder? [y/N] ") == 1);
        written = accept && run.accept();
    }
    if (options.json) {
        std::string ranking;
        for (std::size_t k = 0; k < leaders.size(); ++k) {
            const commission::CandidateEvidence& e = leaders[k];
            Json j;
            j.str("format", commission::formatText(e.format))
                .num("rate", e.rate)
                .num("agreement", e.agreement)
                .num("jumps", std::int64_t{e.jumps})
                .boolean("endMatches", e.endMatches);
            ranking += (k ? "," : "") + j.text();
        }
        Json j;
        j.str("axis", commission::axisText(axis)).boolean("proposed", r.proposed);
        if (r.proposed)
            j.str("format", commission::formatText(r.ranking.front().format));
        out() << j.boolean("written", written).str("verdict", r.verdict).raw("ranking", "[" + ranking + "]").text()
              << "\n";
    } else {
        out() << "Formats ranked by how well they follow the motor:\n";
        for (const commission::CandidateEvidence& e : leaders)
            out() << evidenceLine(e) << "\n";
        if (!r.proposed)
            out() << r.verdict << "\n";
        else
            out() << (written ? "The format was written; use save to keep it in the controller.\n"
                              : "The format was not written (--yes writes it).\n");
    }
    return r.proposed ? 0 : 1;
}

int Session::reportCheck(const commission::EncoderCheckRun& run, AxisName axis)
{
    const commission::AxisCheck& c = run.result();
    if (options.json) {
        Json j;
        out() << j.str("axis", commission::axisText(axis))
                     .boolean("complete", c.complete)
                     .boolean("good", c.good())
                     .num("scalePpm", c.scalePpm)
                     .boolean("senseAgrees", c.senseAgrees)
                     .num("backlashArcsec", c.backlashArcsec)
                     .num("noiseArcsec", c.noiseArcsec)
                     .num("noisePeakArcsec", c.noisePeakArcsec)
                     .text()
              << "\n";
    } else {
        for (const std::string& line : commission::describeCheck(c, commission::axisText(axis)))
            out() << line << "\n";
        out() << "Tracking was switched off for the check.\n";
    }
    return c.complete ? 0 : 1;
}

}  // namespace kv7::cli
