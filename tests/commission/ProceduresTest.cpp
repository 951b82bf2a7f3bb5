#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/Codes.h"
#include "commission/Procedures.h"
#include "sim/engine/Encoder.h"

namespace kv7::commission {
namespace {

constexpr std::uint32_t microsteps = 1843200;

// A mount behind the control: the motor turns a fixed number of steps
// between two readings while it moves; the encoder is the simulator's
// model; every request is also written down as text.
class MountControl final : public iKV7Control {
public:
    void onHeartBeat() override {}
    void connect(std::uint32_t, std::uint32_t) override {}
    void disconnect() override {}
    void storeParameters() override {}
    void manualMove(std::uint8_t direction, std::uint8_t) override
    {
        calls.push_back("move " + std::to_string(direction));
        velocity = (direction == HandPad::West || direction == HandPad::North) ? stepsPerReading : -stepsPerReading;
    }
    void stopMotion(std::uint8_t axes) override
    {
        calls.push_back("stop " + std::to_string(axes));
        velocity = 0;
    }
    void setTracking(std::uint8_t on) override { calls.push_back("track " + std::to_string(on)); }
    void pierSideAction(std::uint8_t) override {}
    void gotoTarget(std::uint32_t, std::int32_t) override {}
    void answerMeridianFlip(std::uint16_t) override {}
    void setMotorReversal(std::uint8_t, std::uint8_t) override {}
    void setEncoderFormat(std::uint8_t raFlags, std::uint8_t raLeading, std::uint8_t raBits, std::uint8_t raRevs,
                          std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t) override
    {
        configured = {raFlags, raLeading, raBits, raRevs};
        calls.push_back("format " + formatText({raFlags, raLeading, raBits, raRevs}));
    }
    void setEncoderCalibration(std::uint8_t, std::uint32_t, std::uint32_t) override {}
    void readEncoders(std::uint8_t mode) override { asked.push_back(mode); }
    void syncToTarget(std::uint32_t, std::int32_t) override {}

    // The answer to the oldest reading asked for; the motor moves on.
    MountState answer()
    {
        const std::uint8_t mode = asked.front();
        asked.erase(asked.begin());
        MountState s;
        const sim::EncoderWord word(fitted, 0.4 + position / microsteps);
        if (mode == ReadMode::Axes) {
            s.raAxisPosition = static_cast<std::int32_t>(std::lround(position));
            s.raMotionStatus = velocity != 0 ? 3 : 0;
        } else if (mode == ReadMode::RawBits) {
            std::uint32_t v = 0;
            const unsigned count = configured.bitsForRevolutions + configured.bitsPerRevolution;
            for (unsigned i = 0; i < count; ++i)
                v = (v << 1) | word.bit(configured.leadingBits + i);
            s.raEncoderPosition = v;
        } else {
            s.raEncoderPosition = sim::decodeEncoderWord(word, fitted);
        }
        position += velocity;
        return s;
    }

    std::vector<std::string> calls;
    std::vector<std::uint8_t> asked;
    sim::EncoderFormatBytes fitted;
    sim::EncoderFormatBytes configured;
    double position = 5000;
    double velocity = 0;
    double stepsPerReading = 97;
};

AxisFacts facts()
{
    AxisFacts f;
    f.microstepsPerRevolution = microsteps;
    f.encoderResolution = std::uint64_t{1} << 25;
    return f;   // the format: binary, 12 leading bits, 25 bits
}

// Feeds the procedure its answers, a tenth of a second apart, until it ends.
void runToEnd(Procedure& p, MountControl& mount)
{
    double now = 0;
    p.start(now);
    for (int k = 0; k < 100000 && p.running() && !mount.asked.empty(); ++k) {
        now += 0.1;
        p.onReading(mount.answer(), now);
    }
}

TEST(Procedures, DetectionProposesTheFittedFormatAndWritesItOnlyWhenAccepted)
{
    MountControl mount;
    mount.fitted.flags = sim::encoderFlagGray;
    mount.fitted.leadingBits = 3;
    mount.fitted.bitsPerRevolution = 19;
    FormatDetection run(mount, AxisName::Ra, facts(), {});
    runToEnd(run, mount);
    ASSERT_EQ(run.stage(), Procedure::Stage::Done) << run.failure();
    ASSERT_TRUE(run.result().proposed) << run.result().verdict;
    EXPECT_EQ(formatText(run.result().ranking.front().format), "gray,plain,leading=3,revolutions=0,bits=19");
    const std::vector<std::string> bracket = {"format binary,plain,leading=0,revolutions=0,bits=32", "move 2"};
    EXPECT_EQ(std::vector<std::string>(mount.calls.begin(), mount.calls.begin() + 2), bracket);
    const std::vector<std::string> end = {"format binary,plain,leading=12,revolutions=0,bits=32", "stop 2",
                                          "format binary,plain,leading=12,revolutions=0,bits=25"};
    EXPECT_EQ(std::vector<std::string>(mount.calls.end() - 3, mount.calls.end()), end);
    EXPECT_TRUE(run.accept());
    EXPECT_EQ(mount.calls.back(), "format gray,plain,leading=3,revolutions=0,bits=19");
}

TEST(Procedures, EveryWayOutStopsTheAxisAndPutsTheFormatBack)
{
    struct Case {
        const char* what;
        std::function<void(Procedure&)> end;
        Procedure::Stage stage;
        bool lineFailed;
    };
    const Case cases[] = {
        {"cancel", [](Procedure& p) { p.cancel(); }, Procedure::Stage::Cancelled, false},
        {"a lost connection", [](Procedure& p) { p.onStatus(Status::ConnectionLost); }, Procedure::Stage::Failed, true},
        {"a refusal", [](Procedure& p) { p.onStatus(Status::BusyPositioning); }, Procedure::Stage::Failed, false},
        {"no reading in time", [](Procedure& p) { p.onTick(Procedure::readingTimeout + 0.5); },
         Procedure::Stage::Failed, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MountControl mount;
        FormatDetection run(mount, AxisName::Ra, facts(), {});
        run.start(0);
        c.end(run);
        EXPECT_EQ(run.stage(), c.stage);
        ASSERT_GE(mount.calls.size(), 2u);
        const std::vector<std::string> last(mount.calls.end() - 2, mount.calls.end());
        EXPECT_EQ(last, (std::vector<std::string>{"stop 2", "format binary,plain,leading=12,revolutions=0,bits=25"}));
        EXPECT_FALSE(run.accept());
        // Only a failed line leaves doubt whether the format got back.
        EXPECT_EQ(run.lineFailed(), c.lineFailed);
        EXPECT_EQ(run.formatBefore(), EncoderFormat{});
        // Nothing more happens once it has ended.
        const std::size_t calls = mount.calls.size();
        run.cancel();
        run.onStatus(Status::CommunicationError);
        EXPECT_EQ(mount.calls.size(), calls);
    }
}

TEST(Procedures, TheCheckMovesToAndFroAndJudgesAPerfectMountGood)
{
    MountControl mount;
    EncoderCheckRun run(mount, AxisName::Ra, facts(), {});
    runToEnd(run, mount);
    ASSERT_EQ(run.stage(), Procedure::Stage::Done) << run.failure();
    EXPECT_TRUE(run.result().good()) << describeCheck(run.result(), "RA")[0];
    EXPECT_EQ(run.readings().stops.size(), EncoderCheckRun::moveCount + 1u);
    std::vector<std::string> moves;
    for (const std::string& c : mount.calls)
        if (c.rfind("move", 0) == 0 || c.rfind("track", 0) == 0)
            moves.push_back(c);
    EXPECT_EQ(moves, (std::vector<std::string>{"track 0", "move 2", "move 2", "move 3", "move 3", "move 2", "move 2"}));
    EXPECT_NEAR(run.result().scalePpm, 0, 5);
}

}  // namespace
}  // namespace kv7::commission
