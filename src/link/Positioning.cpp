// Hand-pad motion, GOTO with the side-of-pier decision and the meridian-flip
// answer. Axis positions are motor microsteps; the celestial pole is Dec
// position 0, and one side's position of a sky point is the other side's
// shifted by half an RA revolution with the Dec position negated.
#include <cmath>

#include "link/CommControl.h"
#include "link/PositioningMath.h"

namespace kv7 {

void CommControl::executeManualMove(std::uint8_t direction, std::uint8_t speedIndex)
{
    std::uint8_t selector = 0;
    std::int32_t base = 200;
    std::int32_t max = 200000;
    bool invertDec = false;
    const bool onRa = direction == HandPad::West || direction == HandPad::East;
    const bool onDec = direction == HandPad::North || direction == HandPad::South;
    if (onRa) {
        selector = axisRa;
        base = static_cast<std::int32_t>(parameters.raBaseSpeed);
        max = static_cast<std::int32_t>(parameters.raMaxSpeed);
    } else if (onDec) {
        selector = axisDec;
        base = static_cast<std::int32_t>(parameters.decBaseSpeed);
        max = static_cast<std::int32_t>(parameters.decMaxSpeed);
        // Seen from the east side of the pier, north and south swap.
        invertDec = pierState == PierState::pierEast;
    }

    std::int32_t speed = manualSpeed(base, max, speedIndex);
    if (direction == HandPad::South || direction == HandPad::East)
        speed = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(speed));
    if (invertDec)
        speed = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(speed));

    sendMoveAtSpeed(selector, speed);
    reportSent(Status::ManualMovement);
}

void CommControl::executeStopMotion(std::uint8_t mode)
{
    std::uint8_t selector = 0;
    // A released hand-pad button stops its own axis: West and East are RA,
    // North and South Dec.
    if (mode == StopAxes::Both || mode == StopAxes::Abort)
        selector = axisBoth;
    else if (mode == StopAxes::RaAxis || mode == HandPad::East)
        selector = axisRa;
    else if (mode == StopAxes::DecAxis || mode == HandPad::South)
        selector = axisDec;
    sendStopAxes(selector);
}

double CommControl::hourOffset() const
{
    return wrapHourOffset(targetRaHours, siderealTime ? siderealTime->localSiderealTime() : 0.0);
}

void CommControl::computeAxisPositions(bool west, bool raOnly, double d)
{
    const AxisPositions p = skyTargetPositions(west, d, targetDecDegrees, raStepsPerHour, decStepsPer15Degrees);
    targetRaPosition = p.ra;
    if (!raOnly)
        targetDecPosition = p.dec;
}

void CommControl::executeGotoTarget(std::uint32_t raArcsec, std::int32_t decArcsec)
{
    if (pierState != PierState::pierWest && pierState != PierState::pierEast) {
        notificationListener->onMeridianFlipPrompt(FlipPrompt::PierUnsettled);
        return;
    }
    targetRaHours = kv7::targetRaHours(raArcsec);
    targetDecDegrees = kv7::targetDecDegrees(decArcsec);

    const double d = hourOffset();
    const std::int32_t prompt = gotoPromptKind(pierState, d);
    if (prompt != 0) {
        notificationListener->onMeridianFlipPrompt(prompt);
        return;
    }
    westGeometry = pierState == PierState::pierWest;
    computeAxisPositions(westGeometry, false, d);
    startSkyGoTo();
}

void CommControl::startSkyGoTo()
{
    gotoKind = 0;
    gotoPass = 0;
    missedReplies = 0;
    // A reading out in the old cycle's pause now answers to nothing; its
    // reply, if any, ends the go-to's wait like any other.
    readInPause = false;
    awaitReply(LinkState::AwaitGoToReply);
    sendGoTo(targetRaPosition, targetDecPosition);
    reportSent(Status::Positioning);
}

void CommControl::executeMeridianFlipAnswer(std::uint8_t answer)
{
    bool west;
    if (answer == FlipAnswer::WithFlip && pierState == PierState::pierEast) {
        pierState = PierState::flippingToWest;
        west = true;
    } else if (answer == FlipAnswer::WithFlip && pierState == PierState::pierWest) {
        pierState = PierState::flippingToEast;
        west = false;
    } else {
        west = !(pierState == PierState::flippingToEast || pierState == PierState::pierEast);
    }
    computeAxisPositions(west, false, hourOffset());
    westGeometry = west;
    startSkyGoTo();
}

bool CommControl::positioning() const
{
    switch (linkState) {
    case LinkState::AwaitGoToReply:
    case LinkState::PollMotion:
    case LinkState::AwaitMotionStatus:
    case LinkState::AwaitFlipPositions:
        return true;
    case LinkState::Pause:
        return nextLinkState == LinkState::PollMotion;
    default:
        return readInPause;
    }
}

void CommControl::arrived()
{
    if (gotoKind == 0 && gotoPass == 0) {
        // The sky turned during the slew: aim again at where the target is now.
        refreshTargetRaPosition();
        gotoPass = 1;
        awaitReply(LinkState::AwaitGoToReply);
        sendGoTo(targetRaPosition, targetDecPosition);
        return;
    }
    if (pierState == PierState::flippingToEast)
        pierState = PierState::pierEast;
    else if (pierState == PierState::flippingToWest)
        pierState = PierState::pierWest;
    linkState = LinkState::Idle;
    reportSent(Status::Ready);
}

void CommControl::endPositioning()
{
    // Where the axes ended up is unknown; a flip under way stays unsettled,
    // so the next go-to asks for the side of the pier.
    readInPause = false;
    linkState = LinkState::Idle;
}

void CommControl::flipFrom(std::int32_t raPosition, std::int32_t decPosition)
{
    const std::uint32_t base = static_cast<std::uint32_t>(raPosition);
    targetRaPosition = static_cast<std::int32_t>(pierState == PierState::flippingToEast ? base - raHalfRevolution
                                                                                       : base + raHalfRevolution);
    targetDecPosition = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(decPosition));
    gotoKind = 2;
    gotoPass = 0;
    awaitReply(LinkState::AwaitGoToReply);
    sendGoTo(targetRaPosition, targetDecPosition);
}

void CommControl::readAxes(const ReplyValues& values)
{
    mountState.axesValid = 1;
    mountState.raAxisPosition = static_cast<std::int32_t>(values[ReplyField::RaAxisPosition]);
    mountState.decAxisPosition = static_cast<std::int32_t>(values[ReplyField::DecAxisPosition]);
    mountState.raMotionStatus = static_cast<std::uint8_t>(values[ReplyField::RaMotionStatus]);
    mountState.decMotionStatus = static_cast<std::uint8_t>(values[ReplyField::DecMotionStatus]);
    updateSkyPosition();
}

void CommControl::updateSkyPosition()
{
    mountState.pierState = pierState;
    // Mid-flip the geometry is neither side's: no sky position to give.
    const bool settled = pierState == PierState::pierWest || pierState == PierState::pierEast;
    mountState.skyValid = settled && raStepsPerHour > 0.0 && decStepsPer15Degrees > 0.0 ? 1 : 0;
    if (!mountState.skyValid)
        return;
    const SkyOffset sky = skyFromAxisPositions(pierState == PierState::pierWest, mountState.raAxisPosition,
                                               mountState.decAxisPosition, raStepsPerHour, decStepsPer15Degrees);
    // A Dec axis past the pole (or positions no sky point has) gives no
    // declaration the fields could show.
    if (!(sky.decDegrees >= -90.0 && sky.decDegrees <= 90.0) || !std::isfinite(sky.hourOffset)) {
        mountState.skyValid = 0;
        return;
    }
    const double lst = siderealTime ? siderealTime->localSiderealTime() : 0.0;
    mountState.raArcsec = raArcsecFromOffset(lst, sky.hourOffset);
    mountState.decArcsec = static_cast<std::int32_t>(std::floor(sky.decDegrees * 3600.0 + 0.5));
}

void CommControl::executeSyncToTarget(std::uint32_t raArcsec, std::int32_t decArcsec)
{
    if (pierState != PierState::pierWest && pierState != PierState::pierEast) {
        notificationListener->onMeridianFlipPrompt(FlipPrompt::PierUnsettled);
        return;
    }
    // The mount points at the target now: its axes are where a GOTO to the
    // target from this side would have put them.
    const double d = wrapHourOffset(kv7::targetRaHours(raArcsec), siderealTime ? siderealTime->localSiderealTime() : 0.0);
    const AxisPositions p = skyTargetPositions(pierState == PierState::pierWest, d, kv7::targetDecDegrees(decArcsec),
                                               raStepsPerHour, decStepsPer15Degrees);
    sendSetAxisPositions(p.ra, p.dec);
    reportSent(Status::SyncedToTarget);
}

void CommControl::executeSyncToEncoders()
{
    // Readings older than a poll or two may describe a mount that has moved.
    constexpr std::int32_t freshTicks = 8;
    if (!mountState.valid || ticksSinceReading < 0 || ticksSinceReading > freshTicks) {
        notificationListener->onStatus(Status::NoFreshReading);
        return;
    }
    // The reading already has the encoder direction and offset applied; one
    // encoder turn is one axis turn. Positions past half a turn are the
    // other way round, as the axes count them.
    const auto steps = [](std::uint32_t counts, std::uint64_t resolution, std::uint32_t microsteps) {
        const double turns = resolution ? static_cast<double>(counts % resolution) / static_cast<double>(resolution)
                                        : 0.0;
        double s = std::floor(turns * microsteps + 0.5);
        if (s >= microsteps / 2.0)
            s -= microsteps;
        return static_cast<std::int32_t>(s);
    };
    sendSetAxisPositions(steps(mountState.raEncoderPosition, axisConfiguration.raEncoderResolution,
                               parameters.raMicrosteps),
                         steps(mountState.decEncoderPosition, axisConfiguration.decEncoderResolution,
                               parameters.decMicrosteps));
    reportSent(Status::SyncedToEncoders);
}

void CommControl::refreshTargetRaPosition() { computeAxisPositions(westGeometry, true, hourOffset()); }

}  // namespace kv7
