#include "commission/FormatDetection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kv7::commission {

namespace {

constexpr unsigned maxLeadingBits = 16;
constexpr unsigned maxRevolutionBits = 16;
constexpr unsigned minBitsPerRevolution = 8;
constexpr unsigned maxBitsPerRevolution = 32;
constexpr unsigned minBitsJudged = 8;      // fewer decoded bits than this say too little
// A jump is a step in the decoded angle beyond the motor's move and what
// the time between the reading of the bits and of the motor can explain.
constexpr double jumpTurns = 1.0 / 1000;
constexpr double worstRateBadness = 4.0;   // a format going the wrong way, or not at all
constexpr double proposalLimit = 0.5;      // badness below which a format is proposed
// Formats whose data ends further than this from the last bit that changes
// cannot follow the motor; they are not judged at all.
constexpr int endNeighbours = 2;

// Turns folded into (-0.5, 0.5].
double wrapTurns(double t)
{
    t -= std::floor(t);
    return t > 0.5 ? t - 1.0 : t;
}

int lastChangingBit(const DetectionInput& input)
{
    bool seen[2][wordBitsSeen] = {};
    auto look = [&seen](const std::vector<RawReading>& readings, unsigned first) {
        for (const RawReading& r : readings)
            for (unsigned i = first; i < first + rawWindowBits; ++i)
                seen[rawBit(r, first, i)][i] = true;
    };
    look(input.head, 0);
    look(input.tail, tailStart);
    for (int i = static_cast<int>(wordBitsSeen) - 1; i >= 0; --i)
        if (seen[0][i] && seen[1][i])
            return i;
    return -1;
}

// Where a format is judged: the reading that holds all of its data, or the
// head with the position's low bits cut off at its end.
struct Window {
    const std::vector<RawReading>* readings = nullptr;
    unsigned first = 0;
    unsigned end = 0;
};

bool chooseWindow(const DetectionInput& input, const FormatCandidate& c, Window& w)
{
    // Every format is judged on the same readings where it can be: the
    // head, with the position cut off at its end where the data runs on.
    if (c.dataStart() + minBitsJudged <= rawWindowBits)
        w = {&input.head, 0, std::min(c.dataEnd(), rawWindowBits)};
    else if (c.leadingBits >= tailStart && c.dataEnd() <= wordBitsSeen)
        w = {&input.tail, tailStart, c.dataEnd()};
    else
        return false;
    return w.readings->size() >= 2;
}

double badnessOf(const CandidateEvidence& e)
{
    const double rateBadness = e.rate > 0 ? std::min(std::fabs(std::log2(e.rate)), worstRateBadness) : worstRateBadness;
    const double moves = std::max(e.moves, 1);
    return rateBadness + 2.0 * (1.0 - e.agreement) + 2.0 * e.jumps / moves + (e.endMatches ? 0.0 : 1.0);
}

// Equal evidence: the revolution bits in use before, then fewer of them,
// then the flags in use before.
bool betterTie(const CandidateEvidence& a, const CandidateEvidence& b, const FormatCandidate& before)
{
    const bool aKeeps = a.format.bitsForRevolutions == before.bitsForRevolutions;
    const bool bKeeps = b.format.bitsForRevolutions == before.bitsForRevolutions;
    if (aKeeps != bKeeps)
        return aKeeps;
    if (a.format.bitsForRevolutions != b.format.bitsForRevolutions)
        return a.format.bitsForRevolutions < b.format.bitsForRevolutions;
    const bool aFlags = a.format.flags == before.flags;
    const bool bFlags = b.format.flags == before.flags;
    if (aFlags != bFlags)
        return aFlags;
    return a.format.bitsPerRevolution < b.format.bitsPerRevolution;
}

std::string verdictOf(const DetectionResult& r)
{
    if (r.lastChangingBit < 0)
        return "No bit of the encoder changed: did the axis move, and is the encoder connected?";
    if (r.ranking.empty() || !r.proposed)
        return "No format follows the motor: check the encoder's wiring and that the axis moved freely.";
    const CandidateEvidence& best = r.ranking.front();
    char text[200];
    std::snprintf(text, sizeof text, "Proposed: %s (rate %.4f of the motor's, %.0f %% of moves its way, %d jumps).",
                  formatText(best.format).c_str(), best.rate, 100.0 * best.agreement, best.jumps);
    return text;
}

}  // namespace

unsigned rawBit(const RawReading& reading, unsigned first, unsigned index)
{
    if (index < first || index >= first + rawWindowBits)
        return 0;
    return (reading.bits >> (rawWindowBits - 1 - (index - first))) & 1u;
}

double decodeTurns(const RawReading& reading, unsigned first, const FormatCandidate& c, unsigned end)
{
    const bool invert = c.flags & formatInvert;
    const bool gray = c.flags & formatGray;
    std::uint64_t value = 0;
    unsigned previous = 0;
    for (unsigned i = c.leadingBits; i < end; ++i) {
        unsigned b = rawBit(reading, first, i);
        if (invert)
            b ^= 1u;
        if (gray) {
            b ^= previous;
            previous = b;
        }
        value = (value << 1) | b;
    }
    const unsigned positionBits = end > c.dataStart() ? end - c.dataStart() : 0;
    const std::uint64_t position = positionBits >= 64 ? value : value & ((std::uint64_t{1} << positionBits) - 1);
    return std::ldexp(static_cast<double>(position), -static_cast<int>(positionBits));
}

CandidateEvidence judgeFormat(const DetectionInput& input, const FormatCandidate& candidate, int lastChanging)
{
    CandidateEvidence e;
    e.format = candidate;
    e.endMatches = static_cast<int>(candidate.dataEnd()) == lastChanging + 1;
    Window w;
    if (input.microstepsPerRevolution == 0 || !chooseWindow(input, candidate, w)) {
        e.badness = badnessOf(e);
        return e;
    }
    const double lsb = std::ldexp(1.0, -static_cast<int>(w.end - candidate.dataStart()));
    const std::vector<RawReading>& readings = *w.readings;
    double decoded = 0;
    double expectedTotal = 0;
    int agreeing = 0;
    double previous = decodeTurns(readings.front(), w.first, candidate, w.end);
    for (std::size_t k = 1; k < readings.size(); ++k) {
        const double now = decodeTurns(readings[k], w.first, candidate, w.end);
        const double actual = wrapTurns(now - previous);
        previous = now;
        const double expected =
            input.expectedSign * (readings[k].motorSteps - readings[k - 1].motorSteps) / input.microstepsPerRevolution;
        if (expected == 0)
            continue;
        ++e.moves;
        decoded += actual;
        expectedTotal += expected;
        if (actual * expected > 0 || (actual == 0 && std::fabs(expected) < lsb))
            ++agreeing;
        if (std::fabs(actual - expected) > 0.5 * std::fabs(expected) + 4 * lsb + jumpTurns)
            ++e.jumps;
    }
    if (e.moves > 0) {
        e.rate = expectedTotal != 0 ? decoded / expectedTotal : 0;
        e.agreement = static_cast<double>(agreeing) / e.moves;
    }
    e.badness = badnessOf(e);
    return e;
}

DetectionResult detectFormat(const DetectionInput& input)
{
    DetectionResult r;
    r.lastChangingBit = lastChangingBit(input);
    if (r.lastChangingBit >= 0) {
        for (std::uint8_t flags = 0; flags < 4; ++flags)
            for (unsigned lead = 0; lead <= maxLeadingBits; ++lead)
                for (unsigned revs = 0; revs <= maxRevolutionBits; ++revs)
                    for (unsigned bits = minBitsPerRevolution; bits <= maxBitsPerRevolution; ++bits) {
                        const FormatCandidate c{flags, static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(bits),
                                                static_cast<std::uint8_t>(revs)};
                        const int endOff = static_cast<int>(c.dataEnd()) - (r.lastChangingBit + 1);
                        if (c.dataEnd() <= wordBitsSeen && endOff >= -endNeighbours && endOff <= endNeighbours)
                            r.ranking.push_back(judgeFormat(input, c, r.lastChangingBit));
                    }
    }
    std::stable_sort(r.ranking.begin(), r.ranking.end(), [&](const CandidateEvidence& a, const CandidateEvidence& b) {
        if (std::fabs(a.badness - b.badness) > 1e-9)
            return a.badness < b.badness;
        return betterTie(a, b, input.before);
    });
    r.proposed = !r.ranking.empty() && r.ranking.front().badness < proposalLimit && r.ranking.front().moves > 0;
    r.verdict = verdictOf(r);
    return r;
}

std::vector<CandidateEvidence> distinctLeaders(const DetectionResult& r, std::size_t count)
{
    std::vector<CandidateEvidence> out;
    for (const CandidateEvidence& e : r.ranking) {
        if (out.size() == count)
            break;
        const bool seen = std::any_of(out.begin(), out.end(), [&](const CandidateEvidence& o) {
            return o.format.flags == e.format.flags && o.format.dataStart() == e.format.dataStart() &&
                   o.format.bitsPerRevolution == e.format.bitsPerRevolution;
        });
        if (!seen)
            out.push_back(e);
    }
    return out;
}

std::string formatText(const FormatCandidate& f)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s,%s,leading=%u,revolutions=%u,bits=%u",
                  (f.flags & formatGray) ? "gray" : "binary", (f.flags & formatInvert) ? "inverted" : "plain",
                  unsigned{f.leadingBits}, unsigned{f.bitsForRevolutions}, unsigned{f.bitsPerRevolution});
    return text;
}

}  // namespace kv7::commission
