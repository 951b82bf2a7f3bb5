// Requests of the link: command execution, the start of the connect
// sequence, encoder readings and the heartbeat countdowns.
#include <cstring>

#include "link/CommControl.h"

namespace kv7 {

using namespace LinkTiming;

int CommControl::startConnectSequence()
{
    framer.reset();
    pierState = PierState::pierEast;
    parameters.startCode = 7;
    axisConfiguration.reverseEncoderBits = 0;
    axisConfiguration.raEncoderOffset = 0;
    axisConfiguration.decEncoderOffset = 0;
    connectTicks = connectTimeoutTicks;
    replyTicks = 0;
    missedReplies = 0;
    deferredRead = 0;
    readInPause = false;
    mountState = MountState{};
    ticksSinceReading = -1;
    linkState = LinkState::AwaitIdentity;
    sendRequest(DeviceCommand::Identify);
    return LinkResult::Nothing;
}

void CommControl::executeCommand(const std::uint8_t* msg, std::size_t length)
{
    if (!linkReady) {
        notificationListener->onStatus(Status::NotConnectedYet);
        return;
    }
    const std::uint8_t code = msg[0];
    const bool known = (code >= ChannelCommand::StoreParameters && code <= ChannelCommand::AnswerMeridianFlip) ||
                       code == ChannelCommand::SyncToEncoders;
    if (!known)
        return;

    // Arguments past the end of a short message read as zero.
    std::uint8_t args[31] = {};
    std::memcpy(args, msg + 1, length > 1 ? length - 1 : 0);

    // These would cut a positioning cycle short (a new link state, a pier
    // side changed under the go-to) and leave it half done.
    const bool cutsPositioning = code == ChannelCommand::SetMotorReversal || code == ChannelCommand::PierSideAction ||
                                 code == ChannelCommand::SetEncoderFormat ||
                                 code == ChannelCommand::SetEncoderCalibration ||
                                 code == ChannelCommand::SyncToTarget || code == ChannelCommand::SyncToEncoders;
    if (cutsPositioning && positioning()) {
        notificationListener->onStatus(Status::BusyPositioning);
        return;
    }
    executeRequest(code, args);
}

void CommControl::executeRequest(std::uint8_t code, const std::uint8_t* args)
{
    switch (code) {
    case ChannelCommand::StoreParameters: executeStore(); return;
    case ChannelCommand::ManualMove: executeManualMove(args[0], args[1]); return;
    case ChannelCommand::StopMotion:
        executeStopMotion(args[0]);
        if (args[0] == StopAxes::Abort && positioning())
            endPositioning();
        reportSent(Status::Ready);
        return;
    case ChannelCommand::SetTracking: sendTracking(args[0]); return;
    case ChannelCommand::SetMotorReversal:
        linkState = LinkState::Idle;
        sendMotorFlags(args[0], args[1]);
        return;
    case ChannelCommand::PierSideAction: executePierSideAction(args[0]); return;
    case ChannelCommand::SetEncoderFormat: executeSetEncoderFormat(args); return;
    case ChannelCommand::ReadEncoders:
        // Modes beyond these have no device command; awaiting a reply to
        // nothing would only end in a time-out.
        if (args[0] <= ReadMode::Axes)
            requestEncoderReading(args[0]);
        return;
    case ChannelCommand::SyncToTarget: executeSyncToTarget(readU32le(args), readI32le(args + 4)); return;
    case ChannelCommand::SyncToEncoders: executeSyncToEncoders(); return;
    case ChannelCommand::SetEncoderCalibration:
        executeSetEncoderCalibration(args[0], readU32le(args + 1), readU32le(args + 5));
        return;
    case ChannelCommand::GotoTarget: executeGotoTarget(readU32le(args), readI32le(args + 4)); return;
    case ChannelCommand::AnswerMeridianFlip: {
        const std::uint8_t answer = static_cast<std::uint8_t>(readU16le(args));
        if (answer != FlipAnswer::Cancel)
            executeMeridianFlipAnswer(answer);
        return;
    }
    default:
        return;
    }
}

void CommControl::executeStore()
{
    if (linkState != LinkState::Idle) {
        notificationListener->onStatus(Status::CommunicationError);
        return;
    }
    awaitReply(LinkState::AwaitStoreReply);
    sendStore();
}

void CommControl::executeSetEncoderFormat(const std::uint8_t* wireFormat)
{
    // The channel carries the format in wire order: RA flags and its three
    // sizes, then Dec's.
    EncoderFormat& f = axisConfiguration.encoderFormat;
    f.raFlags = wireFormat[0];
    f.raLeadingBits = wireFormat[1];
    f.raBitsPerRevolution = wireFormat[2];
    f.raBitsForRevolutions = wireFormat[3];
    f.decFlags = wireFormat[4];
    f.decLeadingBits = wireFormat[5];
    f.decBitsPerRevolution = wireFormat[6];
    f.decBitsForRevolutions = wireFormat[7];
    linkState = LinkState::Idle;
    sendEncoderFormat(wireFormat);
}

void CommControl::executeSetEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset,
                                               std::uint32_t decOffset)
{
    axisConfiguration.reverseEncoderBits = reverseBits;
    axisConfiguration.raEncoderOffset = raOffset;
    axisConfiguration.decEncoderOffset = decOffset;
    awaitReply(LinkState::AwaitCalibrationReply);
    sendEncoderCalibration(reverseBits, raOffset, decOffset);
}

void CommControl::executePierSideAction(std::uint8_t action)
{
    const std::int32_t qRa = static_cast<std::int32_t>(parameters.raMicrosteps >> 2);
    const std::int32_t qDec = static_cast<std::int32_t>(parameters.decMicrosteps >> 2);
    switch (action) {
    case PierAction::SetEast:   // the meridian at Dec 0 seen from the east side
        pierState = PierState::pierEast;
        sendSetAxisPositions(-qRa, qDec);
        return;
    case PierAction::SetWest:
        pierState = PierState::pierWest;
        sendSetAxisPositions(qRa, -qDec);
        return;
    case PierAction::FlipEast:   // read where the axes are, then go half a turn over
    case PierAction::FlipWest:
        pierBeforeFlip = pierState;
        pierState = action == PierAction::FlipEast ? PierState::flippingToEast : PierState::flippingToWest;
        awaitReply(LinkState::AwaitFlipPositions);
        sendReadAxisPositions();
        return;
    default:
        return;
    }
}

void CommControl::awaitReply(std::int32_t state)
{
    linkState = state;
    replyTicks = replyTimeoutTicks;
}

void CommControl::requestEncoderReading(std::uint8_t mode)
{
    const bool sameReadingOut = linkState == LinkState::AwaitEncoderReading && mode == readEncoderMode;
    if (linkState == LinkState::Idle || sameReadingOut) {
        // Asking again for the reading that is out (the first request may
        // have been lost) is harmless: whichever reply comes first answers
        // both. Another kind of reading waits: its reply could not be told
        // from the one awaited.
        sendEncoderReading(mode);
    } else if (linkState == LinkState::Pause && nextLinkState == LinkState::PollMotion) {
        // Between two motion polls the line is free: the reading goes now
        // and the cycle picks up where it was once its reply is in.
        readInPause = true;
        sendEncoderReading(mode);
    } else {
        // Another reply is awaited; a second request now would make the
        // two replies indistinguishable.
        deferredRead = static_cast<std::uint8_t>(mode + 1);
    }
}

void CommControl::sendEncoderReading(std::uint8_t mode)
{
    readEncoderMode = mode;
    awaitReply(LinkState::AwaitEncoderReading);
    sendReadEncoders(mode);
}

void CommControl::issueDeferredRead()
{
    if (deferredRead == 0 || readInPause)
        return;
    if (linkState != LinkState::Idle && !(linkState == LinkState::Pause && nextLinkState == LinkState::PollMotion))
        return;
    const std::uint8_t mode = static_cast<std::uint8_t>(deferredRead - 1);
    deferredRead = 0;
    requestEncoderReading(mode);
}

void CommControl::pauseBeforePoll()
{
    pauseTicks = motionPollTicks;
    nextLinkState = LinkState::PollMotion;
    linkState = LinkState::Pause;
}

void CommControl::resumeAfterReading()
{
    if (!readInPause) {
        linkState = LinkState::Idle;
        return;
    }
    readInPause = false;
    linkState = LinkState::Pause;
    if (pauseTicks == 0)
        endPause();
}

int CommControl::onLinkTick()
{
    if (ticksSinceReading >= 0 && ticksSinceReading < 1000000)
        ++ticksSinceReading;
    if (connectTicks > 0) {
        --connectTicks;
        // The time-out covers the whole sequence: the pause after identify
        // and the last reply included, or a controller that stops answering
        // there would leave the link connecting for ever.
        if (connectTicks == 0 && !linkReady) {
            notificationListener->onStatus(Status::CannotConnect);
            return LinkResult::ClosePort;
        }
    }
    if (linkReady && replyTicks > 0 && awaitsReply()) {
        if (--replyTicks == 0) {
            replyTimedOut();
            return LinkResult::Nothing;
        }
    }
    // The pause between motion polls runs on while a reading taken in it is
    // out; the poll then follows the reading's reply.
    if (linkState == LinkState::Pause || readInPause) {
        if (pauseTicks > 0)
            --pauseTicks;
        if (pauseTicks == 0 && linkState == LinkState::Pause)
            endPause();
    }
    return LinkResult::Nothing;
}

void CommControl::endPause()
{
    linkState = nextLinkState;
    nextLinkState = LinkState::Idle;
    pauseElapsed();
}

void CommControl::pauseElapsed()
{
    if (linkState == LinkState::AwaitDeviceByte) {
        sendRequest(DeviceCommand::ReadDeviceByte);
    } else if (linkState == LinkState::PollMotion) {
        awaitReply(LinkState::AwaitMotionStatus);
        sendMotionPoll();
    }
}

}  // namespace kv7
