// The check a typed GOTO or sync target must pass before it may move the
// mount. The conversion itself is the tolerant parsers' job; they skip what
// they do not understand, so "12h 30m" would read as 12:00:00 and an empty
// field as 0:00:00 - a slew to a place nobody typed. kv7ctl checks its
// arguments here too, so both accept the same texts.
#pragma once

namespace kv7 {

enum class TargetTextCheck { Sound, NotAPosition, OutOfRange };

// RA as h[h][:m[m][:s[s]]] below 24 hours, blanks allowed around it.
TargetTextCheck checkRaText(const char* text);
// Dec as [+|-]d[d[d]][:m[m][:s[s]]] within 90 degrees, blanks allowed around it.
TargetTextCheck checkDecText(const char* text);

// Null when both texts are sound; otherwise the short reason to show the
// operator.
const char* targetTextProblem(const char* raText, const char* decText);

}  // namespace kv7
