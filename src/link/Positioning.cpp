// Hand-pad motion, GOTO with the side-of-pier decision and the meridian-flip
// answer. Axis positions are motor microsteps; the celestial pole is Dec
// position 0, and one side's position of a sky point is the other side's
// shifted by half an RA revolution with the Dec position negated.
#include <cmath>

#include "app/AppModel.h"
#include "link/CommControl.h"

namespace kv7 {

namespace {

// Manual speeds for indexes 0..6, in 1/64 of the axis base speed.
constexpr std::int32_t manualSpeedTable[7] = {21, 42, 64, 85, 106, 128, 256};

std::int32_t truncateToInt32(double v) { return static_cast<std::int32_t>(v); }

}  // namespace

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

    // The products wrap in 32 bits, as the controller's own arithmetic does.
    auto wrapMul = [](std::int32_t a, std::int32_t b) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
    };
    std::int32_t speed;
    if (speedIndex <= 6) {
        speed = wrapMul(base, manualSpeedTable[speedIndex]) / 64;
    } else {
        // Above index 6 a power curve runs from 4 x base at index 6 to the
        // axis maximum at index 31.
        const double x = std::pow((speedIndex - 6) / 25.0, 1.5);
        const std::int32_t low = wrapMul(base, 256) / 64;
        speed = truncateToInt32(x * max + (1.0 - x) * low);
    }
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
    double d = targetRaHours - (model ? model->localSiderealTime() : 0.0);
    if (d > 12.0)
        d -= 24.0;
    if (d < -12.0)
        d += 24.0;
    return d;
}

void CommControl::computeAxisPositions(bool west, bool raOnly)
{
    const double k = raStepsPerHour;
    const double k2 = decStepsPer15Degrees;
    const double d = hourOffset();
    const double delta = targetDecDegrees;
    if (west) {
        targetRaPosition = truncateToInt32((6.0 - d) * k);
        if (!raOnly)
            targetDecPosition = -truncateToInt32((90.0 - delta) * k2 / 15.0);
    } else {
        targetRaPosition = -truncateToInt32((d + 6.0) * k);
        if (!raOnly)
            targetDecPosition = truncateToInt32((90.0 - delta) * k2 / 15.0);
    }
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
    if (pierState == PierState::pierWest) {
        if (d < 0.0) {
            notificationListener->onMeridianFlipPrompt(d < -2.0 ? FlipPrompt::WestNeeded : FlipPrompt::WestRecommended);
            return;
        }
        westGeometry = true;
    } else {
        if (d > 0.0) {
            notificationListener->onMeridianFlipPrompt(d > 2.0 ? FlipPrompt::EastNeeded : FlipPrompt::EastRecommended);
            return;
        }
        westGeometry = false;
    }
    computeAxisPositions(westGeometry, false);
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
    computeAxisPositions(west, false);
    westGeometry = west;
    gotoKind = 0;
    gotoPass = 0;
    linkState = LinkState::AwaitGoToReply;
    sendGoTo(targetRaPosition, targetDecPosition);
    notificationListener->onStatus(Status::Positioning);
}

void CommControl::refreshTargetRaPosition() { computeAxisPositions(westGeometry, true); }

}  // namespace kv7
