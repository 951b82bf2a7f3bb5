// Texts of the main window's site, clock and motor rows: written and read
// here so that each form has one rule.
#pragma once

#include <cstdint>
#include <string>

#include "app/Records.h"

namespace kv7 {

// Seconds since 1970-01-01 00:00:00 of a Gregorian instant.
std::int64_t secondsOf(const UtcTime& t);

// "YYYY-MM-DD HH:MM:SS".
std::string utcText(const UtcTime& t);
// Exactly YYYY-MM-DD HH:MM:SS (blanks allowed around it), a real instant.
bool readUtcText(const char* text, UtcTime& t);

// Decimal degrees or [+|-]d[:m[:s[.s]]]; false for anything else.
bool readDegreesText(const char* text, double& degrees);
std::string degreesText(double degrees);

// "East", "West", "Flipping to West", ... or "unknown".
const char* pierSideText(std::int32_t pierState);

// An axis position in arcseconds of its turn.
std::int32_t axisArcsec(std::int32_t microsteps, std::uint32_t microstepsPerRevolution);

}  // namespace kv7
