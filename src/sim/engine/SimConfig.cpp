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
    bool toRa = true;
    bool toDec = true;
    if (text.starts_with("ra:")) {
        toDec = false;
        text.remove_prefix(3);
    } else if (text.starts_with("dec:")) {
        toRa = false;
        text.remove_prefix(4);
    }
    if (text.empty()) {
        error = "empty encoder format";
        return false;
    }
    auto applyAll = [text, &error](EncoderFormatBytes& target) {
        EncoderFormatBytes format = target;
        std::string_view rest = text;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            if (!applyEncoderItem(rest.substr(0, comma), format, error))
                return false;
            rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        }
        if (!isValidPhysicalFormat(format)) {
            error = "an encoder needs 1 to 32 bits per revolution";
            return false;
        }
        target = format;
        return true;
    };
    EncoderFormatBytes raFormat = ra.format;
    EncoderFormatBytes decFormat = dec.format;
    if ((toRa && !applyAll(raFormat)) || (toDec && !applyAll(decFormat)))
        return false;
    ra.format = raFormat;
    dec.format = decFormat;
    return true;
}

}  // namespace kv7::sim
