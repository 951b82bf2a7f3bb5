// The reply framer and reply handling, in every link state.
//
// Input: byte 0 picks the state the link is driven to first (by a healthy
// controller: a connect, ticks, a user command), byte 1 the largest piece
// one serial read hands out (1..64), byte 2 how often a heartbeat falls
// between pieces (every Nth piece, 0 never). The rest is what the
// controller sends from then on. Afterwards 48 more ticks run the
// countdowns, and a link still ready must read a whole reply right.
#include <cstddef>
#include <cstdint>

#include "fuzz/LinkDriver.h"

using namespace kv7;
using namespace kv7::fuzz;

namespace {

std::uint8_t code(DeviceCommand c) { return static_cast<std::uint8_t>(c); }

struct Scenario {
    std::int32_t linkState;
    const char* name;
};

// The states the input can start from, in the order driveTo() knows them.
constexpr Scenario scenarios[] = {
    {LinkState::AwaitIdentity, "identify sent"},
    {LinkState::Pause, "pause after identify"},
    {LinkState::AwaitDeviceByte, "device byte"},
    {LinkState::AwaitDeviceWord, "device word"},
    {LinkState::AwaitAxisParameters, "axis parameters"},
    {LinkState::AwaitMotorSettings, "motor settings"},
    {LinkState::AwaitEncoderFormat, "encoder format"},
    {LinkState::AwaitEncoderCalibration, "encoder calibration"},
    {LinkState::Idle, "ready"},
    {LinkState::AwaitEncoderReading, "read encoders, mode 0"},
    {LinkState::AwaitEncoderReading, "read encoders, mode 1"},
    {LinkState::AwaitGoToReply, "sky go-to sent"},
    {LinkState::Pause, "between motion polls"},
    {LinkState::AwaitMotionStatus, "motion poll, first pass"},
    {LinkState::AwaitMotionStatus, "motion poll, second pass"},
    {LinkState::AwaitFlipPositions, "flip: axis positions"},
    {LinkState::AwaitGoToReply, "flip go-to sent"},
    {LinkState::AwaitCalibrationReply, "calibration written"},
    {LinkState::AwaitStoreReply, "parameters stored"},
};
constexpr std::size_t scenarioCount = sizeof scenarios / sizeof scenarios[0];

// The reply each connect state waits for, in sequence order.
constexpr DeviceCommand connectRequests[] = {
    DeviceCommand::Identify,           DeviceCommand::ReadDeviceByte,    DeviceCommand::ReadDeviceWord,
    DeviceCommand::ReadAxisParameters, DeviceCommand::ReadMotorSettings, DeviceCommand::ReadEncoderFormat,
    DeviceCommand::ReadEncoderCalibration,
};

void ticks(LinkDriver& d, int n)
{
    for (int i = 0; i < n; ++i)
        d.tick();
}

// Drives the link with the scripted controller to scenario s. Every
// scenario but the first two ends with the one reply it waits for withheld.
void driveTo(LinkDriver& d, std::size_t s)
{
    FuzzPort& port = d.port;
    if (s == 0) {
        port.withheld[code(DeviceCommand::Identify)] = true;
    } else if (s >= 2 && s <= 7) {
        port.withheld[code(connectRequests[s - 1])] = true;
    }
    d.link.connect(1, 9600);
    d.settle();
    if (s >= 2)
        ticks(d, 2);   // the pause after the identify reply
    if (s <= 8)
        return;

    switch (s) {
    case 9:
    case 10:
        port.withheld[code(DeviceCommand::ReadEncoders)] = true;
        port.withheld[code(DeviceCommand::ReadEncodersMode1)] = true;
        d.link.readEncoders(s == 9 ? 0 : 1);
        d.settle();
        return;
    case 11:
    case 12:
    case 13:
    case 14:
        if (s == 11)
            port.withheld[code(DeviceCommand::GoToAxisPositions)] = true;
        // Scenario 14: the first poll finds both axes at rest, the second
        // pass goes out, and its poll is the one left waiting.
        port.withheld[code(DeviceCommand::ReadMotionStatus)] = s != 14;
        port.motionAtRest = s == 14;
        // Beyond the meridian or not, the answer "with flip" sends the go-to.
        d.link.gotoTarget(10 * 54000, 45 * 3600);
        d.settle();
        if (d.link.currentLinkState() != LinkState::AwaitGoToReply) {
            d.link.answerMeridianFlip(FlipAnswer::WithFlip);
            d.settle();
        }
        if (s >= 13)
            ticks(d, 8);
        if (s == 14) {
            port.withheld[code(DeviceCommand::ReadMotionStatus)] = true;
            ticks(d, 8);
            check(d.link.currentGotoPass() == 1, "scenario: second pass not reached");
        }
        return;
    case 15:
    case 16:
        port.withheld[code(DeviceCommand::ReadAxisPositions)] = s == 15;
        port.withheld[code(DeviceCommand::GoToAxisPositions)] = true;
        d.link.pierSideAction(2);   // flip east
        d.settle();
        return;
    case 17:
        port.withheld[code(DeviceCommand::WriteEncoderCalibration)] = true;
        d.link.setEncoderCalibration(3, 0x11223344, 0x01020304);
        d.settle();
        return;
    case 18:
        port.withheld[code(DeviceCommand::StoreParameters)] = true;
        d.link.storeParameters();
        d.settle();
        return;
    default:
        return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const std::size_t s = data[0] % scenarioCount;
    const std::size_t piece = (data[1] & 0x3F) + 1;
    const unsigned tickEvery = data[2];
    data += 3;
    size -= 3;

    LinkDriver d;
    driveTo(d, s);
    if (d.link.currentLinkState() != scenarios[s].linkState) {
        std::fprintf(stderr, "scenario \"%s\" ended in link state %d\n", scenarios[s].name,
                     static_cast<int>(d.link.currentLinkState()));
        fail("scenario did not reach its link state");
    }

    d.port.fed = true;
    d.port.chunk = piece;
    unsigned pieces = 0;
    while (size > 0 && d.link.isPortOpen()) {
        if (tickEvery != 0 && ++pieces % tickEvery == 0)
            d.link.onHeartBeat();
        const std::size_t n = size < piece ? size : piece;
        d.port.feed(data, n);
        d.settle();
        data += n;
        size -= n;
    }
    ticks(d, 48);

    d.probeReading([&](const std::uint8_t* bytes, std::size_t count) { d.port.feed(bytes, count); });

    d.link.stopThreads();
    check(!d.port.isOpen(), "port left open after shutdown");
    return 0;
}
