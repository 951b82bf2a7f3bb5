// kv7ctl's stand-in for the main window: which statuses fail a command.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/AppModel.h"
#include "cli/Console.h"

namespace kv7::cli {
namespace {

// The console only answers meridian-flip questions; nothing here asks one.
class SilentControl final : public iKV7Control {
public:
    void onHeartBeat() override {}
    void connect(std::uint32_t, std::uint32_t) override {}
    void disconnect() override {}
    void storeParameters() override {}
    void manualMove(std::uint8_t, std::uint8_t) override {}
    void stopMotion(std::uint8_t) override {}
    void setTracking(std::uint8_t) override {}
    void pierSideAction(std::uint8_t) override {}
    void gotoTarget(std::uint32_t, std::int32_t) override {}
    void answerMeridianFlip(std::uint16_t) override {}
    void setMotorReversal(std::uint8_t, std::uint8_t) override {}
    void setEncoderFormat(std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t, std::uint8_t,
                          std::uint8_t, std::uint8_t) override
    {
    }
    void setEncoderCalibration(std::uint8_t, std::uint32_t, std::uint32_t) override {}
    void readEncoders(std::uint8_t) override {}
    void syncToTarget(std::uint32_t, std::int32_t) override {}
};

TEST(Console, EveryErrorStatusOfTheLinkFailsACommandAndNoOtherDoes)
{
    SilentControl control;
    AppModel model;
    const std::uint16_t errors[] = {6, 7, 8, 9, 10, 11, 12, 18, 19, 20, 21, 22, 23};
    const std::uint16_t others[] = {0, 1, 2, 3, 4, 5, 13, 14, 15, 16, 17, 24, 65535};
    for (std::uint16_t status : errors) {
        Console console(model, control);
        console.showStatus(3);
        console.showStatus(status);
        console.showStatus(13);
        EXPECT_EQ(console.firstError(), status) << status;
    }
    for (std::uint16_t status : others) {
        Console console(model, control);
        console.showStatus(status);
        console.showConfiguration(status, 0);
        EXPECT_EQ(console.firstError(), -1) << status;
    }
}

}  // namespace
}  // namespace kv7::cli
