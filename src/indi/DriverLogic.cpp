#include "indi/DriverLogic.h"

#include <cmath>
#include <cstdlib>

#include "app/Codes.h"
#include "ui/EncoderSetupDialog.h"

namespace kv7::indi {

const std::array<SlewRate, 4>& slewRates()
{
    // Index 1 is two thirds of the axis base speed, 6 four times it, and
    // from there a power curve climbs to the axis maximum at 31
    // (manualSpeed in link/PositioningMath.h).
    static const std::array<SlewRate, 4> rates = {{
        {"Guide", 1},
        {"Centering", 6},
        {"Find", 18},
        {"Max", 31},
    }};
    return rates;
}

std::size_t slewRateForSpeed(std::uint8_t speedIndex)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < slewRates().size(); ++i) {
        if (std::abs(slewRates()[i].speedIndex - speedIndex) < std::abs(slewRates()[best].speedIndex - speedIndex))
            best = i;
    }
    return best;
}

StatusEffect statusEffect(std::uint32_t status)
{
    switch (status) {
    case Status::ManualMovement:
    case Status::Positioning:
    case Status::FlippingToEast:
    case Status::FlippingToWest: return StatusEffect::Moving;
    case Status::Ready: return StatusEffect::Arrived;
    case Status::SyncedToTarget:
    case Status::SyncedToEncoders: return StatusEffect::Synced;
    case Status::CalibrationUpdated:
    case Status::ParametersStored:
    case Status::ReferenceSetEast:
    case Status::ReferenceSetWest: return StatusEffect::Done;
    case Status::CannotOpenPort:
    case Status::CannotConnect:
    case Status::UnknownDevice:
    case Status::NotSupportedDevice:
    case Status::AlreadyConnected:
    case Status::NotConnectedYet:
    case Status::PortInUse:
    case Status::OutputDiscarded:
    case Status::NoReply:
    case Status::StoreFailed:
    case Status::BusyPositioning:
    case Status::NoFreshReading:
    // Raised for a request the link cannot take in its present state (a
    // store during a GOTO); the port stays open.
    case Status::CommunicationError: return StatusEffect::Refused;
    case Status::ConnectionLost: return StatusEffect::Lost;
    default: return StatusEffect::None;
    }
}

std::uint8_t flipAnswer(FlipPolicy policy, std::int32_t promptKind)
{
    // Without a known side there is nothing to choose: the side has to be
    // set first (the KV7 tab's reference positions).
    if (promptKind == FlipPrompt::PierUnsettled)
        return FlipAnswer::Cancel;
    if (policy == FlipPolicy::Flip)
        return FlipAnswer::WithFlip;
    if (offersWithoutFlip(promptKind))
        return FlipAnswer::WithoutFlip;
    return policy == FlipPolicy::AvoidFlip ? FlipAnswer::WithFlip : FlipAnswer::Cancel;
}

int indiPierSide(std::int32_t pierState)
{
    switch (pierState) {
    case PierState::pierWest: return 0;
    case PierState::pierEast: return 1;
    default: return -1;
    }
}

double raHoursFromArcsec(std::uint32_t raArcsec) { return raArcsec / 54000.0; }

double decDegreesFromArcsec(std::int32_t decArcsec) { return decArcsec / 3600.0; }

std::uint32_t raArcsecFromHours(double hours)
{
    double arcsec = std::fmod(std::floor(hours * 54000.0 + 0.5), 1296000.0);
    if (arcsec < 0)
        arcsec += 1296000.0;
    return static_cast<std::uint32_t>(arcsec);
}

std::int32_t decArcsecFromDegrees(double degrees)
{
    const double arcsec = std::floor(degrees * 3600.0 + 0.5);
    if (arcsec > 324000.0)
        return 324000;
    if (arcsec < -324000.0)
        return -324000;
    return static_cast<std::int32_t>(arcsec);
}

double siteLongitudeFromIndi(double longitude) { return longitude > 180.0 ? longitude - 360.0 : longitude; }

double indiLongitudeFromSite(double longitude) { return longitude < 0.0 ? longitude + 360.0 : longitude; }

bool offsetFromNumber(double value, std::uint32_t& offset)
{
    if (!(value >= 0.0 && value <= 4294967295.0) || std::floor(value) != value)
        return false;
    offset = static_cast<std::uint32_t>(value);
    return true;
}

namespace {

// A value no format field can hold stands for anything that is not a
// whole number, so the limits refuse it as the dialog refuses such text.
std::uint64_t formatField(double value)
{
    if (!(value >= 0.0 && value <= 4294967295.0) || std::floor(value) != value)
        return ~std::uint64_t{0};
    return static_cast<std::uint64_t>(value);
}

}  // namespace

std::string coordinateProblem(double raHours, double decDegrees)
{
    // Written so that NaN fails each comparison and is refused.
    if (!(raHours >= 0.0 && raHours <= 24.0))
        return "RA must be 0 to 24 hours";
    if (!(decDegrees >= -90.0 && decDegrees <= 90.0))
        return "Dec must be -90 to +90 degrees";
    return {};
}

std::string encoderFormatProblem(bool dec, double leadingBits, double bitsPerRevolution, double bitsForRevolutions)
{
    const EncoderFormatFault fault =
        encoderFormatFault(formatField(leadingBits), formatField(bitsPerRevolution), formatField(bitsForRevolutions));
    const char* hint = encoderFormatHint(dec, fault);
    return hint ? hint : "";
}

}  // namespace kv7::indi
