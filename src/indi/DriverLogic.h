// What the INDI driver decides without libindi: the named slew rates and
// their hand-pad speeds, the lights the link's statuses turn on, the answer
// to a meridian-flip question under the operator's standing choice, and the
// side of the pier as INDI names it. The driver maps these onto properties.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace kv7::indi {

// The four rates of TELESCOPE_SLEW_RATE (libindi names them 1x to 4x),
// slowest first: the label a client shows and the hand-pad speed index
// (0..31, as the window's slider) each one moves at.
struct SlewRate {
    const char* label;
    std::uint8_t speedIndex;
};
const std::array<SlewRate, 4>& slewRates();
// The rate whose speed is nearest to the index (the lower one on a tie).
std::size_t slewRateForSpeed(std::uint8_t speedIndex);

// The light of a property, in INDI's order (IPS_IDLE .. IPS_ALERT).
enum class Light { Idle = 0, Ok = 1, Busy = 2, Alert = 3 };

// What a status of the link means for the driver's properties.
enum class StatusEffect {
    None,           // informational: only the status text changes
    Moving,         // a GOTO or a hand-pad motion has started
    Arrived,        // the mount is at rest where it was sent (or stopped)
    Synced,         // a sync was sent
    Done,           // a settings request was carried out
    Refused,        // the request was refused or failed; the link is still up
    Lost,           // the connection is gone
};
StatusEffect statusEffect(std::uint32_t status);

// The operator's standing answer to the meridian-flip question a GOTO may
// raise, in the order of the switch's elements.
enum class FlipPolicy : std::uint8_t {
    Flip = 0,        // flip whenever the link asks
    AvoidFlip = 1,   // stay on this side when the target is still in reach, else flip
    NeverFlip = 2,   // stay on this side when in reach, else cancel the GOTO
};
// The FlipAnswer for a prompt kind under the policy.
std::uint8_t flipAnswer(FlipPolicy policy, std::int32_t promptKind);

// INDI's side of the pier (PIER_UNKNOWN -1, PIER_WEST 0, PIER_EAST 1) for
// the link's PierState; a flip under way is unknown.
int indiPierSide(std::int32_t pierState);

// RA arcseconds (1 h = 54000) in hours, and Dec arcseconds in degrees, as
// EQUATORIAL_EOD_COORD takes them; and back, rounded to the nearest
// arcsecond, RA folded into one day and Dec clamped to the poles.
double raHoursFromArcsec(std::uint32_t raArcsec);
double decDegreesFromArcsec(std::int32_t decArcsec);
std::uint32_t raArcsecFromHours(double hours);
std::int32_t decArcsecFromDegrees(double degrees);

// INDI longitudes run 0..360 east; the site keeps -180..180 east positive.
double siteLongitudeFromIndi(double longitude);
double indiLongitudeFromSite(double longitude);

// An encoder offset as INDI hands it (a double): true with the count when
// it is a whole number that fits 32 bits, as the window's field takes it.
bool offsetFromNumber(double value, std::uint32_t& offset);

// What is wrong with a target or sync position a client sent (RA hours
// 0..24, Dec degrees -90..90, both numbers), or empty when it can be used.
std::string coordinateProblem(double raHours, double decDegrees);

// What is wrong with the RA (dec false) or Dec format, in the encoder
// dialog's words, or empty when an encoder can send it.
std::string encoderFormatProblem(bool dec, double leadingBits, double bitsPerRevolution,
                                 double bitsForRevolutions);

}  // namespace kv7::indi
