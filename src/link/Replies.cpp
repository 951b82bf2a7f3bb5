// Replies: which one the link awaits, decoding it through the shared reply
// layouts, the connect sequence reply by reply, and awaited replies that
// never come.
#include "link/CommControl.h"
#include "link/PositioningMath.h"

#include "protocol/ReplyLayout.h"

namespace kv7 {

using namespace LinkTiming;

namespace {

constexpr std::uint64_t arcsecPerTurn = 1296000;

std::uint64_t powerOfTwo(std::uint32_t exponent) { return std::uint64_t{1} << (exponent % 64); }

std::uint8_t byteOf(std::uint32_t v) { return static_cast<std::uint8_t>(v); }
std::uint16_t wordOf(std::uint32_t v) { return static_cast<std::uint16_t>(v); }

void readAxisParameters(const ReplyValues& v, ControllerParameters& p)
{
    p.raAxisByte = byteOf(v[ReplyField::RaAxisByte]);
    p.raGearRatio = v[ReplyField::RaGearRatio];
    p.raMicrosteps = v[ReplyField::RaMicrosteps];
    p.raBaseSpeed = v[ReplyField::RaBaseSpeed];
    p.decAxisByte = byteOf(v[ReplyField::DecAxisByte]);
    p.decGearRatio = v[ReplyField::DecGearRatio];
    p.decMicrosteps = v[ReplyField::DecMicrosteps];
    p.decBaseSpeed = v[ReplyField::DecBaseSpeed];
}

void readMotorBlock(const std::uint8_t* block, int axis, ControllerParameters& p)
{
    const auto field = [block](MotorField f) { return readMotorField(block, f); };
    (axis == 0 ? p.raSpeedFactor : p.decSpeedFactor) = field(MotorField::SpeedFactor);
    p.motorSettingG[axis] = wordOf(field(MotorField::SettingG));
    p.motorSettingA[axis] = wordOf(field(MotorField::SettingA));
    const MotorField b[3] = {MotorField::SettingB0, MotorField::SettingB1, MotorField::SettingB2};
    const MotorField c[3] = {MotorField::SettingC0, MotorField::SettingC1, MotorField::SettingC2};
    for (int i = 0; i < 3; ++i) {
        p.motorSettingsB[axis][i] = wordOf(field(b[i]));
        p.motorSettingsC[axis][i] = byteOf(field(c[i]));
    }
    p.motorSettingsE[axis][0] = byteOf(field(MotorField::SettingE0));
    p.motorSettingsE[axis][1] = byteOf(field(MotorField::SettingE1));
    p.motorSettingsD[axis][0] = byteOf(field(MotorField::SettingD0));
    p.motorSettingsD[axis][1] = byteOf(field(MotorField::SettingD1));
    p.motorSettingsF[axis][0] = wordOf(field(MotorField::SettingF0));
    p.motorSettingsF[axis][1] = wordOf(field(MotorField::SettingF1));
    p.motorSettingH[axis] = byteOf(field(MotorField::SettingH));
    p.motorSettingI[axis] = field(MotorField::SettingI);
}

EncoderFormat readEncoderFormat(const ReplyValues& v)
{
    EncoderFormat f;
    f.raFlags = byteOf(v[ReplyField::RaFlags]);
    f.raLeadingBits = byteOf(v[ReplyField::RaLeadingBits]);
    f.raBitsPerRevolution = byteOf(v[ReplyField::RaBitsPerRevolution]);
    f.raBitsForRevolutions = byteOf(v[ReplyField::RaBitsForRevolutions]);
    f.decFlags = byteOf(v[ReplyField::DecFlags]);
    f.decLeadingBits = byteOf(v[ReplyField::DecLeadingBits]);
    f.decBitsPerRevolution = byteOf(v[ReplyField::DecBitsPerRevolution]);
    f.decBitsForRevolutions = byteOf(v[ReplyField::DecBitsForRevolutions]);
    return f;
}

}  // namespace

const ReplyLayout* CommControl::awaitedLayout() const
{
    switch (linkState) {
    case LinkState::AwaitDeviceWord: return replyLayout(DeviceCommand::ReadDeviceWord);
    case LinkState::AwaitAxisParameters: return replyLayout(DeviceCommand::ReadAxisParameters);
    case LinkState::AwaitMotorSettings: return replyLayout(DeviceCommand::ReadMotorSettings);
    case LinkState::AwaitEncoderFormat: return replyLayout(DeviceCommand::ReadEncoderFormat);
    case LinkState::AwaitEncoderCalibration: return replyLayout(DeviceCommand::ReadEncoderCalibration);
    case LinkState::AwaitMotionStatus: return replyLayout(DeviceCommand::ReadMotionStatus);
    case LinkState::AwaitFlipPositions: return replyLayout(DeviceCommand::ReadAxisPositions);
    case LinkState::AwaitEncoderReading:
        if (readEncoderMode == ReadMode::Axes)
            return replyLayout(DeviceCommand::ReadAxisPositions);
        // The diagnostic modes answer in the plain reading's layout.
        return replyLayout(DeviceCommand::ReadEncoders);
    default:
        // Identify is checked whole; the device byte may come empty; the
        // rest are not examined.
        return nullptr;
    }
}

int CommControl::handleReply(const std::uint8_t* frame, std::size_t length)
{
    // A frame shorter than the awaited reply's layout, or of another kind,
    // is not that reply: taken for it, its missing bytes would read as a
    // measurement. The link passes it over and waits on.
    ReplyValues values;
    const ReplyLayout* layout = awaitedLayout();
    if (layout && !decodeReply(*layout, frame, length, values))
        return LinkResult::Nothing;
    if (linkState >= LinkState::AwaitIdentity && linkState <= LinkState::AwaitEncoderCalibration)
        return handleConnectReply(frame, length, values);

    switch (linkState) {
    case LinkState::AwaitEncoderReading:
        resumeAfterReading();
        if (readEncoderMode == ReadMode::Encoders) {
            decodeEncoderReading(values);
            ticksSinceReading = 0;
            notificationListener->onMountState(mountState);
        } else if (readEncoderMode == ReadMode::Axes) {
            readAxes(values);
            notificationListener->onMountState(mountState);
        } else {
            notificationListener->onMountState(diagnosticReading(values));
        }
        break;
    case LinkState::AwaitGoToReply:
        missedReplies = 0;
        pauseBeforePoll();
        break;
    case LinkState::AwaitMotionStatus:
        missedReplies = 0;
        // 0, 1 or 2 is an axis at rest; anything above is still moving.
        if (values[ReplyField::RaMotionStatus] <= 2 && values[ReplyField::DecMotionStatus] <= 2)
            arrived();
        else
            pauseBeforePoll();
        break;
    case LinkState::AwaitFlipPositions:
        flipFrom(static_cast<std::int32_t>(values[ReplyField::RaAxisPosition]),
                 static_cast<std::int32_t>(values[ReplyField::DecAxisPosition]));
        break;
    case LinkState::AwaitCalibrationReply:
        linkState = LinkState::Idle;
        notificationListener->onStatus(Status::CalibrationUpdated);
        break;
    case LinkState::AwaitStoreReply:
        linkState = LinkState::Idle;
        // A controller that could not keep the parameters says so with a
        // non-zero byte after the echoed command code.
        notificationListener->onStatus(length >= 4 && frame[1] >= 2 && frame[3] != 0 ? Status::StoreFailed
                                                                                    : Status::ParametersStored);
        break;
    default:
        // Initial, Idle, Pause, PollMotion: nothing is awaited.
        break;
    }
    return LinkResult::Nothing;
}

int CommControl::handleConnectReply(const std::uint8_t* frame, std::size_t length, const ReplyValues& values)
{
    switch (linkState) {
    case LinkState::AwaitIdentity:
        return identified(frame, length);
    case LinkState::AwaitDeviceByte:
        // An empty reply, or one with nothing past the echoed code, counts as
        // device byte 0.
        parameters.deviceByte = length >= 4 && frame[1] >= 2 ? frame[3] : 0;
        requestNext(LinkState::AwaitDeviceWord, DeviceCommand::ReadDeviceWord);
        return LinkResult::Nothing;
    case LinkState::AwaitDeviceWord:
        parameters.deviceWord = values[ReplyField::DeviceWord];
        requestNext(LinkState::AwaitAxisParameters, DeviceCommand::ReadAxisParameters);
        return LinkResult::Nothing;
    case LinkState::AwaitAxisParameters:
        readAxisParameters(values, parameters);
        requestNext(LinkState::AwaitMotorSettings, DeviceCommand::ReadMotorSettings);
        return LinkResult::Nothing;
    case LinkState::AwaitMotorSettings:
        parameters.reverseMotorBits = byteOf(values[ReplyField::ReverseMotorBits]);
        parameters.motorExtraByte = byteOf(values[ReplyField::MotorExtraByte]);
        readMotorBlock(values.motorBlock[0], 0, parameters);
        readMotorBlock(values.motorBlock[1], 1, parameters);
        requestNext(LinkState::AwaitEncoderFormat, DeviceCommand::ReadEncoderFormat);
        return LinkResult::Nothing;
    case LinkState::AwaitEncoderFormat:
        axisConfiguration.encoderFormat = readEncoderFormat(values);
        requestNext(LinkState::AwaitEncoderCalibration, DeviceCommand::ReadEncoderCalibration);
        return LinkResult::Nothing;
    case LinkState::AwaitEncoderCalibration:
        axisConfiguration.reverseEncoderBits = byteOf(values[ReplyField::ReverseEncoderBits]);
        axisConfiguration.raEncoderOffset = values[ReplyField::RaEncoderOffset];
        axisConfiguration.decEncoderOffset = values[ReplyField::DecEncoderOffset];
        linkState = LinkState::Idle;
        deriveAxisConstants();
        notificationListener->onConfiguration(Status::ConnectionEstablished, 1, parameters, axisConfiguration);
        return LinkResult::ConnectComplete;
    default:
        return LinkResult::Nothing;
    }
}

int CommControl::identified(const std::uint8_t* frame, std::size_t length)
{
    // Exactly the identify reply of this device family: L 5, type byte 1.
    ReplyValues values;
    const ReplyLayout& layout = *replyLayout(DeviceCommand::Identify);
    if (length < 3 || frame[1] != 5 || frame[2] != 1 || !decodeReply(layout, frame, length, values)) {
        notificationListener->onStatus(Status::NotSupportedDevice);
        linkState = LinkState::Idle;
        return LinkResult::ClosePort;
    }
    parameters.deviceId = values[ReplyField::DeviceId];
    pauseTicks = identifyPauseTicks;
    nextLinkState = LinkState::AwaitDeviceByte;
    linkState = LinkState::Pause;
    return LinkResult::Nothing;
}

void CommControl::requestNext(std::int32_t state, DeviceCommand request)
{
    linkState = state;
    sendRequest(request);
}

void CommControl::decodeEncoderReading(const ReplyValues& values)
{
    const std::uint32_t ra = values[ReplyField::RaEncoderPosition];
    const std::uint32_t dec = values[ReplyField::DecEncoderPosition];
    const EncoderFormat& f = axisConfiguration.encoderFormat;
    mountState.valid = 1;
    mountState.raEncoderPosition = ra;
    mountState.decEncoderPosition = dec;
    mountState.raEncoderArcsec = static_cast<std::uint32_t>(ra * arcsecPerTurn / powerOfTwo(f.raBitsPerRevolution));
    mountState.decEncoderArcsec =
        static_cast<std::uint32_t>(dec * arcsecPerTurn / powerOfTwo(f.decBitsPerRevolution));
}

MountState CommControl::diagnosticReading(const ReplyValues& values) const
{
    // The decoded counts before direction and offset, or the raw data bits:
    // shown to whoever asked, never kept as the mount's position (a sync to
    // the encoders goes on using the last plain reading).
    MountState m = mountState;
    m.valid = 1;
    m.raEncoderPosition = values[ReplyField::RaEncoderPosition];
    m.decEncoderPosition = values[ReplyField::DecEncoderPosition];
    const EncoderFormat& f = axisConfiguration.encoderFormat;
    const bool decoded = readEncoderMode == ReadMode::Decoded;
    m.raEncoderArcsec =
        decoded ? static_cast<std::uint32_t>(m.raEncoderPosition * arcsecPerTurn / powerOfTwo(f.raBitsPerRevolution)) : 0;
    m.decEncoderArcsec =
        decoded ? static_cast<std::uint32_t>(m.decEncoderPosition * arcsecPerTurn / powerOfTwo(f.decBitsPerRevolution)) : 0;
    return m;
}

void CommControl::deriveAxisConstants()
{
    raHalfRevolution = parameters.raMicrosteps >> 1;
    axisConfiguration.raEncoderResolution = powerOfTwo(axisConfiguration.encoderFormat.raBitsPerRevolution);
    axisConfiguration.decEncoderResolution = powerOfTwo(axisConfiguration.encoderFormat.decBitsPerRevolution);
    parameters.raMaxSpeed = parameters.raBaseSpeed * parameters.raSpeedFactor;
    parameters.decMaxSpeed = parameters.decBaseSpeed * parameters.decSpeedFactor;
    raStepsPerHour = stepsPerHour(parameters.raMicrosteps);
    decStepsPer15Degrees = stepsPerHour(parameters.decMicrosteps);
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

}  // namespace kv7
