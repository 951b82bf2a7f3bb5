// The check a typed GOTO or sync target must pass before it may move the
// mount. The conversion itself is the tolerant parsers' job; they skip what
// they do not understand, so "12h 30m" would read as 12:00:00 and an empty
// field as 0:00:00 - a slew to a place nobody typed. kv7ctl checks its
// arguments here too, so both accept the same texts.
#pragma once

#include <cstdint>

namespace kv7 {

enum class TargetTextCheck { Sound, NotAPosition, OutOfRange };

// RA as h[h][:m[m][:s[s][.f[f[f]]]]] below 24 hours, blanks allowed around
// it; the fraction of a second of time is kept to the nearest arcsecond.
TargetTextCheck checkRaText(const char* text);
// Dec as [+|-]d[d[d]][:m[m][:s[s]]] within 90 degrees, blanks allowed around it.
TargetTextCheck checkDecText(const char* text);

// The check, then for a sound text the value in arcseconds as the windows
// and kv7ctl send it (RA 1 h = 54000); arcsec is left alone otherwise.
TargetTextCheck readRaText(const char* text, std::uint32_t& arcsec);
TargetTextCheck readDecText(const char* text, std::int32_t& arcsec);

// Null when both texts are sound; otherwise the short reason to show the
// operator.
const char* targetTextProblem(const char* raText, const char* decText);

// targetTextProblem, and for sound texts both values as readRaText and
// readDecText give them; neither value changes otherwise.
const char* readTargetText(const char* raText, const char* decText, std::uint32_t& raArcsec,
                           std::int32_t& decArcsec);

}  // namespace kv7
