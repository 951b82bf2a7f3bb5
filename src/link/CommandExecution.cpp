// Request and reply logic of the link: command execution, the connect
// sequence, reply handling by link state, and the heartbeat countdowns.
#include <cstring>

#include "link/CommControl.h"

namespace kv7 {

namespace {

constexpr std::int32_t connectTimeoutTicks = 40;   // 10 s of heartbeats
constexpr std::int32_t identifyPauseTicks = 2;
constexpr std::int32_t motionPollTicks = 8;        // about 2 s between motion polls
// A controller answers within milliseconds; 3 s without the awaited reply
// means it was lost (or never sent).
constexpr std::int32_t replyTimeoutTicks = 12;
// A positioning cycle rides out a few lost replies before it gives up.
constexpr std::int32_t maxMissedReplies = 3;
constexpr std::uint64_t arcsecPerTurn = 1296000;

std::uint64_t powerOfTwo(std::uint8_t exponent) { return std::uint64_t{1} << (exponent % 64); }

// The device and the channel carry the format RA first (flags and three
// sizes), then Dec; the record orders its fields differently.
EncoderFormat encoderFormatFromWire(const std::uint8_t* p)
{
    EncoderFormat f;
    f.raFlags = p[0];
    f.raLeadingBits = p[1];
    f.raBitsPerRevolution = p[2];
    f.raBitsForRevolutions = p[3];
    f.decFlags = p[4];
    f.decLeadingBits = p[5];
    f.decBitsPerRevolution = p[6];
    f.decBitsForRevolutions = p[7];
    return f;
}

}  // namespace

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
    linkState = LinkState::AwaitIdentity;
    sendCode(DeviceCommand::Identify);
    return LinkResult::Nothing;
}

void CommControl::executeCommand(const std::uint8_t* msg, std::size_t length)
{
    if (!linkReady) {
        notificationListener->onStatus(Status::NotConnectedYet);
        return;
    }
    const std::uint8_t code = msg[0];
    if (code < ChannelCommand::StoreParameters || code > ChannelCommand::AnswerMeridianFlip)
        return;

    // Arguments past the end of a short message read as zero.
    std::uint8_t args[31] = {};
    std::memcpy(args, msg + 1, length > 1 ? length - 1 : 0);

    // These would cut a positioning cycle short (a new link state, a pier
    // side changed under the go-to) and leave it half done.
    const bool cutsPositioning = code == ChannelCommand::SetMotorReversal || code == ChannelCommand::PierSideAction ||
                                 code == ChannelCommand::SetEncoderFormat ||
                                 code == ChannelCommand::SetEncoderCalibration;
    if (cutsPositioning && positioning()) {
        notificationListener->onStatus(Status::BusyPositioning);
        return;
    }

    switch (code) {
    case ChannelCommand::StoreParameters:
        if (linkState != LinkState::Idle) {
            notificationListener->onStatus(Status::CommunicationError);
            return;
        }
        awaitReply(LinkState::AwaitStoreReply);
        sendCodeByte(DeviceCommand::StoreParameters, 1);
        return;
    case ChannelCommand::ManualMove:
        executeManualMove(args[0], args[1]);
        return;
    case ChannelCommand::StopMotion:
        executeStopMotion(args[0]);
        reportSent(Status::Ready);
        return;
    case ChannelCommand::SetTracking:
        sendCodeByteByte(DeviceCommand::SetTrackingMode, 0, args[0]);
        return;
    case ChannelCommand::SetMotorReversal: {
        linkState = LinkState::Idle;
        std::uint8_t frame[maxCommandFrame];
        writeFrame(frame, encodeCodeFourBytes(frame, static_cast<std::uint8_t>(DeviceCommand::WriteMotorFlags), 0,
                                              axisBoth, args[0], args[1]));
        return;
    }
    case ChannelCommand::PierSideAction:
        executePierSideAction(args[0]);
        return;
    case ChannelCommand::SetEncoderFormat: {
        axisConfiguration.encoderFormat = encoderFormatFromWire(args);
        linkState = LinkState::Idle;
        std::uint8_t nine[9] = {1, args[0], args[1], args[2], args[3], args[4], args[5], args[6], args[7]};
        std::uint8_t frame[maxCommandFrame];
        writeFrame(frame, encodeCodeNineBytes(frame, static_cast<std::uint8_t>(DeviceCommand::WriteEncoderFormat), nine));
        return;
    }
    case ChannelCommand::ReadEncoders:
        // Modes beyond 2 have no device command; awaiting a reply to nothing
        // would only end in a time-out.
        if (args[0] <= 2)
            requestEncoderReading(args[0]);
        return;
    case ChannelCommand::SyncToTarget:
        // Accepted while ready; there is no device action for it.
        return;
    case ChannelCommand::SetEncoderCalibration: {
        axisConfiguration.reverseEncoderBits = args[0];
        axisConfiguration.raEncoderOffset = readU32le(args + 1);
        axisConfiguration.decEncoderOffset = readU32le(args + 5);
        awaitReply(LinkState::AwaitCalibrationReply);
        std::uint8_t frame[maxCommandFrame];
        writeFrame(frame, encodeCodeTwoBytesTwoWord32(
                              frame, static_cast<std::uint8_t>(DeviceCommand::WriteEncoderCalibration), 1, args[0],
                              axisConfiguration.raEncoderOffset, axisConfiguration.decEncoderOffset));
        return;
    }
    case ChannelCommand::GotoTarget:
        executeGotoTarget(readU32le(args), readI32le(args + 4));
        return;
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

void CommControl::executePierSideAction(std::uint8_t action)
{
    const std::int32_t qRa = static_cast<std::int32_t>(parameters.raMicrosteps >> 2);
    const std::int32_t qDec = static_cast<std::int32_t>(parameters.decMicrosteps >> 2);
    std::uint8_t frame[maxCommandFrame];
    const std::uint8_t setPositions = static_cast<std::uint8_t>(DeviceCommand::SetAxisPositions);
    switch (action) {
    case 1:   // Set East: the meridian at Dec 0 seen from the east side
        pierState = PierState::pierEast;
        writeFrame(frame, encodeCodeTwoBytesTwoWord32(frame, setPositions, 1, axisBoth,
                                                      static_cast<std::uint32_t>(-qRa),
                                                      static_cast<std::uint32_t>(qDec)));
        return;
    case 3:   // Set West
        pierState = PierState::pierWest;
        writeFrame(frame, encodeCodeTwoBytesTwoWord32(frame, setPositions, 1, axisBoth,
                                                      static_cast<std::uint32_t>(qRa),
                                                      static_cast<std::uint32_t>(-qDec)));
        return;
    case 2:   // Flip East: read where the axes are, then go half a turn over
        pierBeforeFlip = pierState;
        pierState = PierState::flippingToEast;
        awaitReply(LinkState::AwaitFlipPositions);
        sendCodeByteByte(DeviceCommand::ReadAxisPositions, 1, axisBoth);
        return;
    case 4:   // Flip West
        pierBeforeFlip = pierState;
        pierState = PierState::flippingToWest;
        awaitReply(LinkState::AwaitFlipPositions);
        sendCodeByteByte(DeviceCommand::ReadAxisPositions, 1, axisBoth);
        return;
    default:
        return;
    }
}

bool CommControl::replyFits(const std::uint8_t* frame) const
{
    // The shortest payload that holds every field the awaited reply is read
    // for. A shorter frame, or one of another kind, is not that reply: taken
    // for it, its missing bytes would read as a measurement.
    std::uint8_t need = 0;
    switch (linkState) {
    case LinkState::AwaitDeviceWord: need = 5; break;
    case LinkState::AwaitAxisParameters: need = 28; break;
    case LinkState::AwaitMotorSettings: need = 58; break;
    case LinkState::AwaitEncoderFormat: need = 9; break;
    case LinkState::AwaitEncoderCalibration: need = 10; break;
    case LinkState::AwaitEncoderReading: need = readEncoderMode == 0 ? 9 : 0; break;
    case LinkState::AwaitMotionStatus: need = 4; break;
    case LinkState::AwaitFlipPositions: need = 12; break;
    default: break;
    }
    return frame[1] >= need;
}

void CommControl::awaitReply(std::int32_t state)
{
    linkState = state;
    replyTicks = replyTimeoutTicks;
}

int CommControl::handleReply(const std::uint8_t* frame)
{
    if (!replyFits(frame))
        return LinkResult::Nothing;
    if (linkState >= LinkState::AwaitIdentity && linkState <= LinkState::AwaitEncoderCalibration)
        return handleConnectReply(frame);

    switch (linkState) {
    case LinkState::AwaitEncoderReading:
        resumeAfterReading();
        if (readEncoderMode == 0) {
            decodeEncoderReading(frame);
            notificationListener->onMountState(mountState);
        }
        break;
    case LinkState::AwaitGoToReply:
        missedReplies = 0;
        pauseBeforePoll();
        break;
    case LinkState::AwaitMotionStatus:
        missedReplies = 0;
        if (frame[4] <= 2 && frame[5] <= 2)
            arrived();
        else
            pauseBeforePoll();
        break;
    case LinkState::AwaitFlipPositions: {
        const std::int32_t ra = readI32le(frame + 6);
        const std::int32_t dec = readI32le(frame + 10);
        const std::uint32_t base = static_cast<std::uint32_t>(ra);
        targetRaPosition = static_cast<std::int32_t>(pierState == PierState::flippingToEast ? base - raHalfRevolution
                                                                                           : base + raHalfRevolution);
        targetDecPosition = static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(dec));
        gotoKind = 2;
        gotoPass = 0;
        awaitReply(LinkState::AwaitGoToReply);
        sendGoTo(targetRaPosition, targetDecPosition);
        break;
    }
    case LinkState::AwaitCalibrationReply:
        linkState = LinkState::Idle;
        notificationListener->onStatus(Status::CalibrationUpdated);
        break;
    case LinkState::AwaitStoreReply:
        linkState = LinkState::Idle;
        // A controller that could not keep the parameters says so with a
        // non-zero byte after the echoed command code.
        notificationListener->onStatus(frame[1] >= 2 && frame[3] != 0 ? Status::StoreFailed
                                                                       : Status::ParametersStored);
        break;
    default:
        // Initial, Idle, Pause, PollMotion: nothing is awaited.
        break;
    }
    return LinkResult::Nothing;
}

int CommControl::handleConnectReply(const std::uint8_t* frame)
{
    const std::uint8_t length = frame[1];
    switch (linkState) {
    case LinkState::AwaitIdentity:
        if (length != 5 || frame[2] != 1) {
            notificationListener->onStatus(Status::NotSupportedDevice);
            linkState = LinkState::Idle;
            return LinkResult::ClosePort;
        }
        parameters.deviceId = readU32le(frame + 3);
        pauseTicks = identifyPauseTicks;
        nextLinkState = LinkState::AwaitDeviceByte;
        linkState = LinkState::Pause;
        return LinkResult::Nothing;
    case LinkState::AwaitDeviceByte:
        // Bytes past a short payload read as zero, so an empty or one-byte
        // reply gives device byte 0.
        parameters.deviceByte = frame[3];
        linkState = LinkState::AwaitDeviceWord;
        sendCode(DeviceCommand::ReadDeviceWord);
        return LinkResult::Nothing;
    case LinkState::AwaitDeviceWord:
        parameters.deviceWord = readU32le(frame + 3);
        linkState = LinkState::AwaitAxisParameters;
        sendCode(DeviceCommand::ReadAxisParameters);
        return LinkResult::Nothing;
    case LinkState::AwaitAxisParameters:
        parameters.raAxisByte = frame[4];
        parameters.raGearRatio = readU32le(frame + 5);
        parameters.raMicrosteps = readU32le(frame + 9);
        parameters.raBaseSpeed = readU32le(frame + 13);
        parameters.decAxisByte = frame[17];
        parameters.decGearRatio = readU32le(frame + 18);
        parameters.decMicrosteps = readU32le(frame + 22);
        parameters.decBaseSpeed = readU32le(frame + 26);
        linkState = LinkState::AwaitMotorSettings;
        sendCode(DeviceCommand::ReadMotorSettings);
        return LinkResult::Nothing;
    case LinkState::AwaitMotorSettings: {
        parameters.reverseMotorBits = frame[4];
        parameters.motorExtraByte = frame[5];
        for (int axis = 0; axis < 2; ++axis) {
            const std::uint8_t* block = frame + (axis == 0 ? 6 : 33);
            const std::uint32_t speedFactor = readU16le(block);
            if (axis == 0)
                parameters.raSpeedFactor = speedFactor;
            else
                parameters.decSpeedFactor = speedFactor;
            parameters.motorSettingG[axis] = block[2];
            parameters.motorSettingA[axis] = readU16le(block + 3);
            for (int i = 0; i < 3; ++i)
                parameters.motorSettingsB[axis][i] = readU16le(block + 5 + 2 * i);
            for (int i = 0; i < 3; ++i)
                parameters.motorSettingsC[axis][i] = block[11 + i];
            parameters.motorSettingsE[axis][0] = block[14];
            parameters.motorSettingsE[axis][1] = block[15];
            parameters.motorSettingsD[axis][0] = block[16];
            parameters.motorSettingsD[axis][1] = block[17];
            parameters.motorSettingsF[axis][0] = readU16le(block + 18);
            parameters.motorSettingsF[axis][1] = readU16le(block + 20);
            parameters.motorSettingH[axis] = block[22];
            parameters.motorSettingI[axis] = readU32le(block + 23);
        }
        linkState = LinkState::AwaitEncoderFormat;
        sendCode(DeviceCommand::ReadEncoderFormat);
        return LinkResult::Nothing;
    }
    case LinkState::AwaitEncoderFormat: {
        axisConfiguration.encoderFormat = encoderFormatFromWire(frame + 3);
        linkState = LinkState::AwaitEncoderCalibration;
        sendCode(DeviceCommand::ReadEncoderCalibration);
        return LinkResult::Nothing;
    }
    case LinkState::AwaitEncoderCalibration:
        axisConfiguration.reverseEncoderBits = frame[3];
        axisConfiguration.raEncoderOffset = readU32le(frame + 4);
        axisConfiguration.decEncoderOffset = readU32le(frame + 8);
        linkState = LinkState::Idle;
        deriveAxisConstants();
        notificationListener->onConfiguration(Status::ConnectionEstablished, 1, parameters, axisConfiguration);
        return LinkResult::ConnectComplete;
    default:
        return LinkResult::Nothing;
    }
}

bool CommControl::awaitsReply() const
{
    switch (linkState) {
    case LinkState::AwaitEncoderReading:
    case LinkState::AwaitGoToReply:
    case LinkState::AwaitMotionStatus:
    case LinkState::AwaitFlipPositions:
    case LinkState::AwaitCalibrationReply:
    case LinkState::AwaitStoreReply:
        return true;
    default:
        return false;
    }
}

void CommControl::replyTimedOut()
{
    switch (linkState) {
    case LinkState::AwaitEncoderReading:
        resumeAfterReading();
        break;
    case LinkState::AwaitGoToReply:
    case LinkState::AwaitMotionStatus:
        // A lost reply does not end the cycle: the next poll says where the
        // axes are. Only a controller that keeps quiet does.
        if (++missedReplies < maxMissedReplies) {
            pauseBeforePoll();
            return;
        }
        endPositioning();
        break;
    case LinkState::AwaitFlipPositions:
        // Nothing has moved yet: the mount is where it was.
        pierState = pierBeforeFlip;
        linkState = LinkState::Idle;
        break;
    default:
        linkState = LinkState::Idle;
        break;
    }
    notificationListener->onStatus(Status::NoReply);
}

void CommControl::requestEncoderReading(std::uint8_t mode)
{
    if (linkState == LinkState::Idle || linkState == LinkState::AwaitEncoderReading) {
        // Asking again while a reading is out (the first request may have
        // been lost) is harmless: whichever reply comes first answers both.
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
    if (mode == 0)
        sendCodeByte(DeviceCommand::ReadEncoders, 1);
    else if (mode == 1)
        sendCodeByte(DeviceCommand::ReadEncodersMode1, 1);
    else
        sendCodeByte(DeviceCommand::ReadEncodersMode2, 1);
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

void CommControl::decodeEncoderReading(const std::uint8_t* frame)
{
    const std::uint32_t ra = readU32le(frame + 3);
    const std::uint32_t dec = readU32le(frame + 7);
    const EncoderFormat& f = axisConfiguration.encoderFormat;
    mountState.valid = 1;
    mountState.raEncoderPosition = ra;
    mountState.decEncoderPosition = dec;
    mountState.raEncoderArcsec = static_cast<std::uint32_t>(ra * arcsecPerTurn / powerOfTwo(f.raBitsPerRevolution));
    mountState.decEncoderArcsec =
        static_cast<std::uint32_t>(dec * arcsecPerTurn / powerOfTwo(f.decBitsPerRevolution));
}

int CommControl::onLinkTick()
{
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
        sendCode(DeviceCommand::ReadDeviceByte);
    } else if (linkState == LinkState::PollMotion) {
        awaitReply(LinkState::AwaitMotionStatus);
        sendCodeByte(DeviceCommand::ReadMotionStatus, 1);
    }
}

void CommControl::deriveAxisConstants()
{
    raHalfRevolution = parameters.raMicrosteps >> 1;
    axisConfiguration.raEncoderResolution = powerOfTwo(axisConfiguration.encoderFormat.raBitsPerRevolution);
    axisConfiguration.decEncoderResolution = powerOfTwo(axisConfiguration.encoderFormat.decBitsPerRevolution);
    parameters.raMaxSpeed = parameters.raBaseSpeed * parameters.raSpeedFactor;
    parameters.decMaxSpeed = parameters.decBaseSpeed * parameters.decSpeedFactor;
    raStepsPerHour = static_cast<double>(parameters.raMicrosteps) / 24.0;
    decStepsPer15Degrees = static_cast<double>(parameters.decMicrosteps) / 24.0;
}

}  // namespace kv7
