// The five small interfaces through which the long-lived objects talk. Every
// link between objects is a plain, non-owning pointer to one of these.
#pragma once

#include <cstdint>

#include "app/Records.h"

namespace kv7 {

class iHeartBeatListener {
public:
    virtual void onHeartBeat() = 0;

protected:
    ~iHeartBeatListener() = default;
};

// User requests to the controller. Every operation queues a message for the
// link worker and returns at once; outcomes come back as notifications.
class iKV7Control : public iHeartBeatListener {
public:
    virtual void connect(std::uint32_t port, std::uint32_t baud) = 0;
    virtual void disconnect() = 0;
    virtual void storeParameters() = 0;
    virtual void manualMove(std::uint8_t direction, std::uint8_t speed) = 0;
    virtual void stopMotion(std::uint8_t axes) = 0;
    virtual void setTracking(std::uint8_t on) = 0;
    virtual void pierSideAction(std::uint8_t action) = 0;
    virtual void gotoTarget(std::uint32_t raArcsec, std::int32_t decArcsec) = 0;
    virtual void answerMeridianFlip(std::uint16_t answer) = 0;
    virtual void setMotorReversal(std::uint8_t bits, std::uint8_t extra) = 0;
    virtual void setEncoderFormat(std::uint8_t raFlags, std::uint8_t raLeadingBits,
                                  std::uint8_t raBitsPerRevolution, std::uint8_t raBitsForRevolutions,
                                  std::uint8_t decFlags, std::uint8_t decLeadingBits,
                                  std::uint8_t decBitsPerRevolution,
                                  std::uint8_t decBitsForRevolutions) = 0;
    virtual void setEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset,
                                       std::uint32_t decOffset) = 0;
    virtual void readEncoders(std::uint8_t mode) = 0;
    virtual void syncToTarget(std::uint32_t raArcsec, std::int32_t decArcsec) = 0;
    // Sets the motor positions from the last encoder reading.
    virtual void syncToEncoders() {}
    virtual ~iKV7Control() = default;
};

// What the link tells the model, on the link worker thread.
class iNotificationListener {
public:
    virtual void onStatus(std::uint32_t status) = 0;
    virtual void onConfiguration(std::uint32_t status, std::uint32_t extra,
                                 const ControllerParameters& parameters,
                                 const AxisConfiguration& axisConfiguration) = 0;
    virtual void onMeridianFlipPrompt(std::int32_t kind) = 0;
    virtual void onMountState(const MountState& mountState) = 0;
    virtual ~iNotificationListener() = default;
};

// Posts a (code, value) pair to the user-interface thread and returns at once.
class iWMUserSender {
public:
    virtual void postUserMessage(std::uint32_t code, std::uint32_t value) = 0;

protected:
    ~iWMUserSender() = default;
};

// What the main window is to show or ask; called on the user-interface thread.
class iMainDlgCallback {
public:
    virtual void showStatus(std::uint16_t status) = 0;
    virtual void showConfiguration(std::uint16_t status, std::uint32_t extra) = 0;
    virtual void askMeridianFlip(std::int32_t kind) = 0;
    virtual void showMountState(const MountState& mountState) = 0;
    virtual ~iMainDlgCallback() = default;
};

// The local sidereal time of the site in hours, not folded into one day.
// The link reads it for every GOTO; any thread may call it.
class iSiderealTime {
public:
    virtual double localSiderealTime() const = 0;

protected:
    ~iSiderealTime() = default;
};

// The UTC clock. The model reads it for the sidereal time; tests inject a
// fixed instant.
class iUtcClock {
public:
    virtual UtcTime now() const = 0;

protected:
    ~iUtcClock() = default;
};

}  // namespace kv7
