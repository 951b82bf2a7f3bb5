#include "sim/engine/SimConfig.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace kv7::sim {

namespace {

bool parseDouble(std::string_view text, double& value)
{
    if (text.empty())
        return false;
    // std::from_chars for double is not in every standard library yet, so
    // go through strtod on a bounded copy.
    const std::string copy(text);
    char* end = nullptr;
    const double v = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

bool parseCount(std::string_view text, unsigned long long& value)
{
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

bool applyEncoderItem(std::string_view item, EncoderFormatBytes& f, std::string& error)
{
    if (item == "binary") {
        f.flags &= static_cast<std::uint8_t>(~encoderFlagGray);
        return true;
    }
    if (item == "gray") {
        f.flags |= encoderFlagGray;
        return true;
    }
    if (item == "inverted") {
        f.flags |= encoderFlagInvert;
        return true;
    }
    if (item == "plain") {
        f.flags &= static_cast<std::uint8_t>(~encoderFlagInvert);
        return true;
    }
    const std::size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    unsigned long long n = 0;
    if (eq == std::string_view::npos || !parseCount(item.substr(eq + 1), n) || n > maxPhysicalFieldBits) {
        error = "bad encoder format item \"" + std::string(item) +
                "\" (expected binary, gray, inverted, plain, leading=N, revolutions=N or bits=N, N up to 32)";
        return false;
    }
    if (key == "leading")
        f.leadingBits = static_cast<std::uint8_t>(n);
    else if (key == "revolutions")
        f.bitsForRevolutions = static_cast<std::uint8_t>(n);
    else if (key == "bits")
        f.bitsPerRevolution = static_cast<std::uint8_t>(n);
    else {
        error = "unknown encoder format item \"" + std::string(key) + "\"";
        return false;
    }
    return true;
}

constexpr double maxScalePpm = 100000.0;
constexpr double maxBacklashArcsec = 3600.0;

bool applyFitNumber(std::string_view key, std::string_view value, EncoderFit& fit, std::string& error)
{
    const std::string quoted = "\"" + std::string(value) + "\"";
    double number = 0.0;
    if (key == "scale-ppm") {
        if (parseDouble(value, number) && std::fabs(number) <= maxScalePpm) {
            fit.scalePpm = number;
            return true;
        }
        error = "scale-ppm needs parts per million from -100000 to 100000, not " + quoted;
        return false;
    }
    if (key == "backlash") {
        if (parseDouble(value, number) && number >= 0.0 && number <= maxBacklashArcsec) {
            fit.backlashArcsec = number;
            return true;
        }
        error = "backlash needs arcseconds from 0 to 3600, not " + quoted;
        return false;
    }
    if (key == "bit-errors") {
        if (parseDouble(value, number) && number >= 0.0 && number <= 1.0) {
            fit.bitErrors = number;
            return true;
        }
        error = "bit-errors needs a chance from 0 to 1 per reading, not " + quoted;
        return false;
    }
    unsigned long long count = 0;
    if (key == "noise") {
        if (parseCount(value, count) && count <= maxEncoderNoiseCounts) {
            fit.noiseCounts = static_cast<unsigned>(count);
            return true;
        }
        error = "noise needs a whole number of counts from 0 to 1000, not " + quoted;
        return false;
    }
    error = "unknown encoder fit item \"" + std::string(key) + "\"";
    return false;
}

bool applyFitItem(std::string_view item, EncoderFit& fit, std::string& error)
{
    if (item == "reversed" || item == "forward") {
        fit.reversed = item == "reversed";
        return true;
    }
    const std::size_t eq = item.find('=');
    const std::string_view key = item.substr(0, eq);
    if (key == "reversed" || key == "forward") {
        error = "encoder fit item " + std::string(key) + " takes no value";
        return false;
    }
    if (eq == std::string_view::npos) {
        error = "bad encoder fit item \"" + std::string(item) +
                "\" (expected scale-ppm=P, backlash=ARCSEC, reversed, forward, noise=COUNTS or bit-errors=P)";
        return false;
    }
    return applyFitNumber(key, item.substr(eq + 1), fit, error);
}

// Strips an "ra:" or "dec:" prefix and says which axes the rest is for.
struct AxisChoice {
    bool ra = true;
    bool dec = true;
};

AxisChoice takeAxisPrefix(std::string_view& text)
{
    if (text.starts_with("ra:")) {
        text.remove_prefix(3);
        return {true, false};
    }
    if (text.starts_with("dec:")) {
        text.remove_prefix(4);
        return {false, true};
    }
    return {};
}

// Calls apply(item) for each comma-separated item until one fails.
template <class Apply>
bool forEachItem(std::string_view text, Apply&& apply)
{
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        if (!apply(text.substr(0, comma)))
            return false;
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
    }
    return true;
}

}  // namespace

bool applyFaultOption(std::string_view text, FaultConfig& faults, std::string& error)
{
    const std::size_t eq = text.find('=');
    const std::string_view mode = text.substr(0, eq);
    const bool hasArg = eq != std::string_view::npos;
    const std::string_view arg = hasArg ? text.substr(eq + 1) : std::string_view{};

    if (mode == "silent" || mode == "wrong-identify" || mode == "noise") {
        if (hasArg) {
            error = "fault \"" + std::string(mode) + "\" takes no value";
            return false;
        }
        if (mode == "silent")
            faults.silent = true;
        else if (mode == "wrong-identify")
            faults.wrongIdentify = true;
        else
            faults.noise = true;
        return true;
    }
    if (mode == "drop") {
        double p = 0.0;
        if (!parseDouble(arg, p) || p < 0.0 || p > 1.0) {
            error = "fault drop needs a probability from 0 to 1, e.g. drop=0.05";
            return false;
        }
        faults.dropProbability = p;
        return true;
    }
    if (mode == "slow") {
        double ms = 0.0;
        if (!parseDouble(arg, ms) || ms < 0.0 || ms > 3.6e6) {
            error = "fault slow needs a delay in milliseconds, e.g. slow=300";
            return false;
        }
        faults.replyDelay = ms / 1000.0;
        return true;
    }
    if (mode == "vanish" || mode == "quiet-after") {
        unsigned long long n = 0;
        if (!parseCount(arg, n) || n > 1000000000ULL) {
            error = "fault " + std::string(mode) + " needs a frame count, e.g. " + std::string(mode) + "=20";
            return false;
        }
        (mode == "vanish" ? faults.vanishAfterFrames : faults.quietAfterFrames) = static_cast<long long>(n);
        return true;
    }
    if (mode == "short") {
        unsigned long long code = 0;
        if (!parseCount(arg, code) || code > 255) {
            error = "fault short needs a device command code from 0 to 255, e.g. short=122";
            return false;
        }
        faults.shortReplyCode = static_cast<int>(code);
        return true;
    }
    error = "unknown fault \"" + std::string(mode) +
            "\" (expected silent, wrong-identify, noise, drop=P, slow=MS, vanish=N, quiet-after=N or short=CODE)";
    return false;
}

bool applyEncoderFormatText(std::string_view text, EncoderPhysics& ra, EncoderPhysics& dec, std::string& error)
{
    const AxisChoice axes = takeAxisPrefix(text);
    if (text.empty()) {
        error = "empty encoder format";
        return false;
    }
    auto applyAll = [text, &error](EncoderFormatBytes& target) {
        EncoderFormatBytes format = target;
        if (!forEachItem(text, [&](std::string_view item) { return applyEncoderItem(item, format, error); }))
            return false;
        if (!isValidPhysicalFormat(format)) {
            error = "an encoder needs 1 to 32 bits per revolution";
            return false;
        }
        target = format;
        return true;
    };
    EncoderFormatBytes raFormat = ra.format;
    EncoderFormatBytes decFormat = dec.format;
    if ((axes.ra && !applyAll(raFormat)) || (axes.dec && !applyAll(decFormat)))
        return false;
    ra.format = raFormat;
    dec.format = decFormat;
    return true;
}

bool applyEncoderFitText(std::string_view text, EncoderPhysics& ra, EncoderPhysics& dec, std::string& error)
{
    const AxisChoice axes = takeAxisPrefix(text);
    if (text.empty()) {
        error = "empty encoder fit";
        return false;
    }
    auto applyAll = [text, &error](EncoderFit& fit) {
        return forEachItem(text, [&](std::string_view item) { return applyFitItem(item, fit, error); });
    };
    EncoderFit raFit = ra.fit;
    EncoderFit decFit = dec.fit;
    if ((axes.ra && !applyAll(raFit)) || (axes.dec && !applyAll(decFit)))
        return false;
    ra.fit = raFit;
    dec.fit = decFit;
    return true;
}

}  // namespace kv7::sim
