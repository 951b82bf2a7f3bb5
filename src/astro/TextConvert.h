// Allocation-free text routines: the tolerant RA/Dec parsers, the signed
// degrees:minutes:seconds writer, fixed-width digit writers, a bounded
// append, the least-significant-first hex writer, and the scaling of a
// fraction of a revolution into tenths of an arcsecond.
//
// Writers never place a character at or beyond capacity - 1, so the last
// byte always stays free for a terminating zero.
#pragma once

#include <cstdint>

#include "astro/Astro.h"

namespace kv7 {

// Fill bytes 0..2 (RA) or 3..6 (Dec) of the record. Always return 0; a null
// record makes them return at once.
int parseRaText(const char* text, RaDecBytes* out);
int parseDecText(const char* text, RaDecBytes* out);

// Writes +DDD:MM:SS or -DDD:MM:SS with the given separators; returns the
// position of the terminating zero.
std::uint32_t formatSignedDms(char* buffer, std::uint32_t capacity, std::uint32_t position,
                              std::int32_t arcseconds, char firstSeparator, char secondSeparator);

std::uint32_t appendTwoDigits(char* buffer, std::uint32_t capacity, std::uint32_t position, std::uint32_t value);
std::uint32_t appendUpToThreeDigits(char* buffer, std::uint32_t capacity, std::uint32_t position,
                                    std::uint32_t value);
std::uint32_t appendText(char* buffer, std::uint32_t capacity, std::uint32_t position, const char* source);
std::uint32_t appendHexReversed(char* buffer, std::uint32_t capacity, std::uint32_t position, std::uint32_t value);

// A sidereal time in hours as HH:MM:SS, brought into one day, as the main
// window and kv7ctl show it; a value that is not a finite number of hours
// shows 00:00:00.
void formatSiderealTime(double hours, char (&text)[64]);

// value / divisor of a revolution in tenths of an arcsecond; 0 when the divisor is 0.
std::uint32_t revolutionToTenthArcsec(std::uint64_t value, std::uint64_t divisor);

// The name of the process's internal channel: the fixed pipe prefix followed
// by the process id, least significant hex digit first. Returns the length.
std::uint32_t channelPipeName(char* buffer, std::uint32_t capacity, std::uint32_t processId);

}  // namespace kv7
