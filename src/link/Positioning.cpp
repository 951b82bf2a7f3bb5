// Hand-pad motion, GOTO with the side-of-pier decision and the meridian-flip
// answer. Axis positions are motor microsteps; the celestial pole is Dec
// position 0, and one side's position of a sky point is the other side's
// shifted by half an RA revolution with the Dec position negated.
#include "app/AppModel.h"
#include "link/CommControl.h"
#include "link/PositioningMath.h"

namespace kv7 {

void CommControl::executeManualMove(std::uint8_t direction, std::uint8_t speedIndex)
{
    std::uint8_t selector = 0;
    std::int32_t base = 200;
    std::int32_t max = 200000;
    bool invertDec = false;
    if (direction == 2 || direction == 3) {
        selector = axisRa;
        base = static_cast<std::int32_t>(parameters.raBaseSpeed);
        max = static_cast<std::int32_t>(parameters.raMaxSpeed);
    } else if (direction == 0 || direction == 1) {
        selector = axisDec;
        base = static_cast<std::int32_t>(parameters.decBaseSpeed);
        max = static_cast<std::int32_t>(parameters.decMaxSpeed);
        // Seen from the east side of the pier, north and south swap.
        invertDec = pierState == PierState::pierEast;
    }

    std::int32_t speed = manualSpeed(base, max, speedIndex);
    if (direction == 1 || direction == 3)
        speed = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(speed));
    if (invertDec)
        speed = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(speed));

    std::uint8_t frame[maxCommandFrame];
    writeFrame(frame, encodeCodeTwoBytesWord32(frame, static_cast<std::uint8_t>(DeviceCommand::MoveAtSpeed), 0,
                                               selector, static_cast<std::uint32_t>(speed)));
    notificationListener->onStatus(Status::ManualMovement);
}

void CommControl::executeStopMotion(std::uint8_t mode)
{
    std::uint8_t selector = 0;
    if (mode == 4)
        selector = axisBoth;
    else if (mode == 2 || mode == 3)
        selector = axisRa;
    else if (mode == 0 || mode == 1)
        selector = axisDec;
    sendCodeByteByte(DeviceCommand::StopAxes, 0, selector);
}

double CommControl::hourOffset() const
{
    return wrapHourOffset(targetRaHours, model ? model->localSiderealTime() : 0.0);
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
    targetRaHours = static_cast<std::int32_t>(raArcsec) / 54000.0;
    targetDecDegrees = decArcsec / 3600.0;

    const double d = hourOffset();
    const std::int32_t prompt = gotoPromptKind(pierState, d);
    if (prompt != 0) {
        notificationListener->onMeridianFlipPrompt(prompt);
        return;
    }
    westGeometry = pierState == PierState::pierWest;
    computeAxisPositions(westGeometry, false, d);
    gotoKind = 0;
    gotoPass = 0;
    linkState = LinkState::AwaitGoToReply;
    sendGoTo(targetRaPosition, targetDecPosition);
    notificationListener->onStatus(Status::Positioning);
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
    gotoKind = 0;
    gotoPass = 0;
    linkState = LinkState::AwaitGoToReply;
    sendGoTo(targetRaPosition, targetDecPosition);
    notificationListener->onStatus(Status::Positioning);
}

void CommControl::refreshTargetRaPosition() { computeAxisPositions(westGeometry, true, hourOffset()); }

}  // namespace kv7
