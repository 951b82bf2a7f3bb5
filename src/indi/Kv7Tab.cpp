// The "KV7" tab: what the window's encoder panel shows and sets, the link's
// status text, the standing meridian-flip choice, the exact hand-pad speed
// and the reference positions.
#include <cstring>

#include "app/Codes.h"
#include "indi/Kv7Telescope.h"
#include "ui/FieldText.h"

namespace kv7::indi {

namespace {

const char* const tab = "KV7";
constexpr std::uint8_t invertBit = 0x01;
constexpr std::uint8_t grayBit = 0x02;

std::uint8_t bitsOf(const ISwitch* s)
{
    return static_cast<std::uint8_t>((s[0].s == ISS_ON ? 1 : 0) | (s[1].s == ISS_ON ? 2 : 0));
}

void showBits(ISwitch* s, std::uint8_t bits)
{
    s[0].s = bits & 1 ? ISS_ON : ISS_OFF;
    s[1].s = bits & 2 ? ISS_ON : ISS_OFF;
}

// The flags with the two bits the tab shows replaced; the controller keeps
// more bits than that, and they stay as they were.
std::uint8_t flagsWith(std::uint8_t flags, const ISwitch* invertAndGray)
{
    auto f = static_cast<std::uint8_t>(flags & ~(invertBit | grayBit));
    if (invertAndGray[0].s == ISS_ON)
        f |= invertBit;
    if (invertAndGray[1].s == ISS_ON)
        f |= grayBit;
    return f;
}

}  // namespace

void Kv7Telescope::initKv7Tab()
{
    const char* dev = getDeviceName();
    IUFillText(&StatusT[0], "STATUS", "Link", "");
    IUFillTextVector(&StatusTP, StatusT, 1, dev, "KV7_STATUS", "Status", tab, IP_RO, 0, IPS_IDLE);
    IUFillSwitch(&FlipPolicyS[0], "FLIP", "Flip when asked", ISS_ON);
    IUFillSwitch(&FlipPolicyS[1], "AVOID_FLIP", "Stay on this side when possible", ISS_OFF);
    IUFillSwitch(&FlipPolicyS[2], "NEVER_FLIP", "Never flip", ISS_OFF);
    IUFillSwitchVector(&FlipPolicySP, FlipPolicyS, 3, dev, "KV7_MERIDIAN_FLIP", "Meridian flip", MAIN_CONTROL_TAB,
                       IP_RW, ISR_1OFMANY, 0, IPS_IDLE);
    IUFillNumber(&SpeedN[0], "SPEED", "Index (0-31)", "%.0f", 0, 31, 1, speedIndex);
    IUFillNumberVector(&SpeedNP, SpeedN, 1, dev, "KV7_HANDPAD_SPEED", "Hand-pad speed", MOTION_TAB, IP_RW, 0,
                       IPS_IDLE);
    initEncoderProperties();
    IUFillSwitch(&MotorReverseS[0], "RA", "RA", ISS_OFF);
    IUFillSwitch(&MotorReverseS[1], "DEC", "Dec", ISS_OFF);
    IUFillSwitchVector(&MotorReverseSP, MotorReverseS, 2, dev, "KV7_MOTOR_REVERSE", "Reverse motor", tab, IP_RW,
                       ISR_NOFMANY, 0, IPS_IDLE);
    IUFillSwitch(&PierActionS[0], "SET_EAST", "Set east reference", ISS_OFF);
    IUFillSwitch(&PierActionS[1], "SET_WEST", "Set west reference", ISS_OFF);
    IUFillSwitch(&PierActionS[2], "FLIP_EAST", "Flip to east", ISS_OFF);
    IUFillSwitch(&PierActionS[3], "FLIP_WEST", "Flip to west", ISS_OFF);
    IUFillSwitchVector(&PierActionSP, PierActionS, 4, dev, "KV7_PIER", "Pier side", tab, IP_RW, ISR_ATMOST1, 0,
                       IPS_IDLE);
    IUFillSwitch(&StoreS[0], "STORE", "Save into KV7", ISS_OFF);
    IUFillSwitchVector(&StoreSP, StoreS, 1, dev, "KV7_STORE", "Parameters", tab, IP_RW, ISR_ATMOST1, 0, IPS_IDLE);
}

void Kv7Telescope::initEncoderProperties()
{
    const char* dev = getDeviceName();
    IUFillNumber(&EncoderN[0], "RA_COUNTS", "RA counts", "%.0f", 0, 4294967295.0, 0, 0);
    IUFillNumber(&EncoderN[1], "RA_ARCSEC", "RA arcsec", "%.0f", 0, 4294967295.0, 0, 0);
    IUFillNumber(&EncoderN[2], "DEC_COUNTS", "Dec counts", "%.0f", 0, 4294967295.0, 0, 0);
    IUFillNumber(&EncoderN[3], "DEC_ARCSEC", "Dec arcsec", "%.0f", 0, 4294967295.0, 0, 0);
    IUFillNumberVector(&EncoderNP, EncoderN, 4, dev, "KV7_ENCODERS", "Encoders", tab, IP_RO, 0, IPS_IDLE);
    IUFillText(&EncoderDmsT[0], "RA", "RA D:M:S", "");
    IUFillText(&EncoderDmsT[1], "DEC", "Dec D:M:S", "");
    IUFillTextVector(&EncoderDmsTP, EncoderDmsT, 2, dev, "KV7_ENCODERS_DMS", "Encoders D:M:S", tab, IP_RO, 0, IPS_IDLE);
    const char* formatNames[6][2] = {{"RA_LEADING_BITS", "RA leading bits"},
                                     {"RA_BITS_PER_REV", "RA bits per revolution"},
                                     {"RA_BITS_FOR_REVS", "RA bits for revolutions"},
                                     {"DEC_LEADING_BITS", "Dec leading bits"},
                                     {"DEC_BITS_PER_REV", "Dec bits per revolution"},
                                     {"DEC_BITS_FOR_REVS", "Dec bits for revolutions"}};
    for (int i = 0; i < 6; ++i)
        // No range of its own: the encoder dialog's limits judge the values.
        IUFillNumber(&FormatN[i], formatNames[i][0], formatNames[i][1], "%.0f", 0, 4294967295.0, 1, 0);
    IUFillNumberVector(&FormatNP, FormatN, 6, dev, "KV7_ENCODER_FORMAT", "Encoder format", tab, IP_RW, 0, IPS_IDLE);
    IUFillSwitch(&FormatFlagsS[0], "RA_INVERT", "RA invert data", ISS_OFF);
    IUFillSwitch(&FormatFlagsS[1], "RA_GRAY", "RA Gray format", ISS_OFF);
    IUFillSwitch(&FormatFlagsS[2], "DEC_INVERT", "Dec invert data", ISS_OFF);
    IUFillSwitch(&FormatFlagsS[3], "DEC_GRAY", "Dec Gray format", ISS_OFF);
    IUFillSwitchVector(&FormatFlagsSP, FormatFlagsS, 4, dev, "KV7_ENCODER_FLAGS", "Encoder data", tab, IP_RW,
                       ISR_NOFMANY, 0, IPS_IDLE);
    IUFillNumber(&CalibrationN[0], "RA_OFFSET", "RA offset (counts)", "%.0f", 0, 4294967295.0, 1, 0);
    IUFillNumber(&CalibrationN[1], "DEC_OFFSET", "Dec offset (counts)", "%.0f", 0, 4294967295.0, 1, 0);
    IUFillNumberVector(&CalibrationNP, CalibrationN, 2, dev, "KV7_CALIBRATION", "Calibration", tab, IP_RW, 0,
                       IPS_IDLE);
    IUFillSwitch(&EncoderReverseS[0], "RA", "RA", ISS_OFF);
    IUFillSwitch(&EncoderReverseS[1], "DEC", "Dec", ISS_OFF);
    IUFillSwitchVector(&EncoderReverseSP, EncoderReverseS, 2, dev, "KV7_ENCODER_REVERSE", "Reverse encoder", tab,
                       IP_RW, ISR_NOFMANY, 0, IPS_IDLE);
}

void Kv7Telescope::defineKv7Tab()
{
    defineProperty(&FlipPolicySP);
    loadConfig(true, FlipPolicySP.name);
    defineProperty(&SpeedNP);
    defineProperty(&StatusTP);
    defineProperty(&EncoderNP);
    defineProperty(&EncoderDmsTP);
    defineProperty(&FormatNP);
    defineProperty(&FormatFlagsSP);
    defineProperty(&CalibrationNP);
    defineProperty(&EncoderReverseSP);
    defineProperty(&MotorReverseSP);
    defineProperty(&PierActionSP);
    defineProperty(&StoreSP);
}

void Kv7Telescope::deleteKv7Tab()
{
    for (const char* name : {FlipPolicySP.name, SpeedNP.name, StatusTP.name, EncoderNP.name, EncoderDmsTP.name,
                             FormatNP.name, FormatFlagsSP.name, CalibrationNP.name, EncoderReverseSP.name,
                             MotorReverseSP.name, PierActionSP.name, StoreSP.name})
        deleteProperty(name);
}

void Kv7Telescope::showConfiguration()
{
    const AxisConfiguration& a = app.model().axisConfiguration;
    const EncoderFormat& f = a.encoderFormat;
    const std::uint8_t values[6] = {f.raLeadingBits,  f.raBitsPerRevolution,  f.raBitsForRevolutions,
                                    f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions};
    for (int i = 0; i < 6; ++i)
        FormatN[i].value = values[i];
    FormatFlagsS[0].s = f.raFlags & invertBit ? ISS_ON : ISS_OFF;
    FormatFlagsS[1].s = f.raFlags & grayBit ? ISS_ON : ISS_OFF;
    FormatFlagsS[2].s = f.decFlags & invertBit ? ISS_ON : ISS_OFF;
    FormatFlagsS[3].s = f.decFlags & grayBit ? ISS_ON : ISS_OFF;
    CalibrationN[0].value = a.raEncoderOffset;
    CalibrationN[1].value = a.decEncoderOffset;
    showBits(EncoderReverseS, a.reverseEncoderBits);
    showBits(MotorReverseS, app.model().parameters.reverseMotorBits);
    FormatNP.s = FormatFlagsSP.s = CalibrationNP.s = EncoderReverseSP.s = MotorReverseSP.s = IPS_OK;
    IDSetNumber(&FormatNP, nullptr);
    IDSetSwitch(&FormatFlagsSP, nullptr);
    IDSetNumber(&CalibrationNP, nullptr);
    IDSetSwitch(&EncoderReverseSP, nullptr);
    IDSetSwitch(&MotorReverseSP, nullptr);
}

void Kv7Telescope::showEncoderReading(const MountState& m)
{
    if (!m.valid)
        return;
    EncoderN[0].value = m.raEncoderPosition;
    EncoderN[1].value = m.raEncoderArcsec;
    EncoderN[2].value = m.decEncoderPosition;
    EncoderN[3].value = m.decEncoderArcsec;
    EncoderNP.s = IPS_OK;
    IDSetNumber(&EncoderNP, nullptr);
    IUSaveText(&EncoderDmsT[0], dmsText(static_cast<std::int32_t>(m.raEncoderArcsec)).c_str());
    IUSaveText(&EncoderDmsT[1], dmsText(static_cast<std::int32_t>(m.decEncoderArcsec)).c_str());
    EncoderDmsTP.s = IPS_OK;
    IDSetText(&EncoderDmsTP, nullptr);
}

bool Kv7Telescope::newKv7Number(const char* name, double values[], char* names[], int n)
{
    if (!std::strcmp(name, SpeedNP.name)) {
        if (IUUpdateNumber(&SpeedNP, values, names, n) < 0) {
            SpeedNP.s = IPS_ALERT;
            IDSetNumber(&SpeedNP, "The hand-pad speed is 0 to 31");
            return true;
        }
        speedIndex = static_cast<std::uint8_t>(SpeedN[0].value);
        IUResetSwitch(&SlewRateSP);
        SlewRateS[slewRateForSpeed(speedIndex)].s = ISS_ON;
        SpeedNP.s = SlewRateSP.s = IPS_OK;
        IDSetNumber(&SpeedNP, nullptr);
        IDSetSwitch(&SlewRateSP, nullptr);
        return true;
    }
    if (!std::strcmp(name, FormatNP.name)) {
        sendEncoderFormat(values, names, n);
        return true;
    }
    if (!std::strcmp(name, CalibrationNP.name)) {
        sendCalibration(values, names, n);
        return true;
    }
    return false;
}

bool Kv7Telescope::newKv7Switch(const char* name, ISState* states, char* names[], int n)
{
    if (!std::strcmp(name, FlipPolicySP.name)) {
        IUUpdateSwitch(&FlipPolicySP, states, names, n);
        FlipPolicySP.s = IPS_OK;
        IDSetSwitch(&FlipPolicySP, nullptr);
        return true;
    }
    if (!std::strcmp(name, FormatFlagsSP.name)) {
        IUUpdateSwitch(&FormatFlagsSP, states, names, n);
        sendEncoderFormat(nullptr, nullptr, 0);
        return true;
    }
    if (!std::strcmp(name, EncoderReverseSP.name)) {
        IUUpdateSwitch(&EncoderReverseSP, states, names, n);
        sendCalibration(nullptr, nullptr, 0);
        return true;
    }
    if (!std::strcmp(name, MotorReverseSP.name)) {
        sendMotorReversal(states, names, n);
        return true;
    }
    if (!std::strcmp(name, PierActionSP.name)) {
        sendPierAction(states, names, n);
        return true;
    }
    if (!std::strcmp(name, StoreSP.name)) {
        storeParameters();
        return true;
    }
    return false;
}

void Kv7Telescope::sendEncoderFormat(double values[], char* names[], int n)
{
    INumber before[6];
    std::memcpy(before, FormatN, sizeof before);
    std::string problem;
    if (n > 0 && IUUpdateNumber(&FormatNP, values, names, n) < 0)
        problem = "a value is out of range";
    if (problem.empty())
        problem = encoderFormatProblem(false, FormatN[0].value, FormatN[1].value, FormatN[2].value);
    if (problem.empty())
        problem = encoderFormatProblem(true, FormatN[3].value, FormatN[4].value, FormatN[5].value);
    if (!problem.empty()) {
        std::memcpy(FormatN, before, sizeof before);
        FormatNP.s = IPS_ALERT;
        IDSetNumber(&FormatNP, "Not sent: %s", problem.c_str());
        return;
    }
    EncoderFormat& f = app.model().axisConfiguration.encoderFormat;
    f.raFlags = flagsWith(f.raFlags, &FormatFlagsS[0]);
    f.decFlags = flagsWith(f.decFlags, &FormatFlagsS[2]);
    std::uint8_t* fields[6] = {&f.raLeadingBits,  &f.raBitsPerRevolution,  &f.raBitsForRevolutions,
                               &f.decLeadingBits, &f.decBitsPerRevolution, &f.decBitsForRevolutions};
    for (int i = 0; i < 6; ++i)
        *fields[i] = static_cast<std::uint8_t>(FormatN[i].value);
    app.control().setEncoderFormat(f.raFlags, f.raLeadingBits, f.raBitsPerRevolution, f.raBitsForRevolutions,
                                   f.decFlags, f.decLeadingBits, f.decBitsPerRevolution, f.decBitsForRevolutions);
    FormatNP.s = FormatFlagsSP.s = IPS_OK;
    IDSetNumber(&FormatNP, nullptr);
    IDSetSwitch(&FormatFlagsSP, nullptr);
}

void Kv7Telescope::sendCalibration(double values[], char* names[], int n)
{
    double given[2] = {CalibrationN[0].value, CalibrationN[1].value};
    for (int k = 0; k < n; ++k) {
        for (int i = 0; i < 2; ++i) {
            if (!std::strcmp(names[k], CalibrationN[i].name))
                given[i] = values[k];
        }
    }
    std::uint32_t offsets[2] = {};
    for (int i = 0; i < 2; ++i) {
        if (!offsetFromNumber(given[i], offsets[i])) {
            CalibrationNP.s = IPS_ALERT;
            IDSetNumber(&CalibrationNP, "Not sent: the %s offset is not a whole number of counts (0 to 4294967295)",
                        i == 0 ? "RA" : "Dec");
            return;
        }
    }
    CalibrationN[0].value = offsets[0];
    CalibrationN[1].value = offsets[1];
    CalibrationNP.s = EncoderReverseSP.s = IPS_BUSY;
    IDSetNumber(&CalibrationNP, nullptr);
    IDSetSwitch(&EncoderReverseSP, nullptr);
    pendingRequest = [this](IPState state) {
        CalibrationNP.s = EncoderReverseSP.s = state;
        IDSetNumber(&CalibrationNP, nullptr);
        IDSetSwitch(&EncoderReverseSP, nullptr);
    };
    app.control().setEncoderCalibration(bitsOf(EncoderReverseS), offsets[0], offsets[1]);
}

void Kv7Telescope::sendMotorReversal(ISState* states, char* names[], int n)
{
    IUUpdateSwitch(&MotorReverseSP, states, names, n);
    ControllerParameters& p = app.model().parameters;
    p.reverseMotorBits = bitsOf(MotorReverseS);
    app.control().setMotorReversal(p.reverseMotorBits, p.motorExtraByte);
    MotorReverseSP.s = IPS_OK;
    IDSetSwitch(&MotorReverseSP, nullptr);
}

void Kv7Telescope::sendPierAction(ISState* states, char* names[], int n)
{
    IUUpdateSwitch(&PierActionSP, states, names, n);
    const int on = IUFindOnSwitchIndex(&PierActionSP);
    IUResetSwitch(&PierActionSP);
    static constexpr std::uint8_t actions[4] = {PierAction::SetEast, PierAction::SetWest, PierAction::FlipEast,
                                                PierAction::FlipWest};
    if (on < 0)
        return;
    const bool flip = on >= 2;
    if (flip) {
        // A flip is a slew: the light and TrackState follow it until Ready.
        positionAlert = false;
        trackAfterSlew = TrackState == SCOPE_TRACKING;
        slewing = true;
        TrackState = SCOPE_SLEWING;
    }
    app.control().pierSideAction(actions[on]);
    app.control().readEncoders(ReadMode::Axes);
    PierActionSP.s = IPS_OK;
    IDSetSwitch(&PierActionSP, nullptr);
}

void Kv7Telescope::storeParameters()
{
    IUResetSwitch(&StoreSP);
    StoreSP.s = IPS_BUSY;
    IDSetSwitch(&StoreSP, nullptr);
    pendingRequest = [this](IPState state) {
        StoreSP.s = state;
        IDSetSwitch(&StoreSP, nullptr);
    };
    app.control().storeParameters();
}

}  // namespace kv7::indi
