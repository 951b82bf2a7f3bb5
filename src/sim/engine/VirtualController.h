// The virtual KV7 controller: command bytes in, reply bytes out, time
// advanced explicitly. Standard library only; hosts put it behind a
// pseudo-terminal, an in-memory serial port or anything else, and drive its
// clock in real time, faster, or step by step in tests.
//
// Not thread-safe: a host serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "protocol/DeviceProtocol.h"
#include "protocol/ReplyLayout.h"
#include "sim/engine/AxisDrive.h"
#include "sim/engine/SimConfig.h"

namespace kv7::sim {

enum class Axis { Ra, Dec };

// One axis revolution of RA per sidereal day.
constexpr double siderealDaySeconds = 86164.0905;

// Told of every complete command frame and every reply frame, e.g. to log
// them. Reply frames are reported as built, before noise or losses.
class FrameObserver {
public:
    virtual void onCommandFrame(const std::uint8_t* frame, std::size_t length) = 0;
    virtual void onReplyFrame(std::uint8_t answeredCode, const std::uint8_t* frame, std::size_t length) = 0;

protected:
    ~FrameObserver() = default;
};

class VirtualController {
public:
    explicit VirtualController(const SimConfig& config = {});

    VirtualController(const VirtualController&) = delete;
    VirtualController& operator=(const VirtualController&) = delete;

    // Bytes from the link. Any bytes at all are safe.
    void receive(const std::uint8_t* data, std::size_t length);

    // Moves simulated time on by seconds (ignored unless finite and > 0).
    void advance(double seconds);
    double now() const { return clock; }
    // Both axes at a constant speed (at rest, tracking, or moving at a set
    // speed): until the next command only the positions change, and any
    // stretch of time may pass in one step.
    bool steady() const;

    // Reply bytes whose time has come, up to capacity; returns the count.
    std::size_t read(std::uint8_t* out, std::size_t capacity);
    std::vector<std::uint8_t> readAll();
    // True when some reply byte is queued, released or not.
    bool hasQueuedOutput() const { return !output.empty(); }
    // Simulated time at which the next queued byte is released; infinity when none.
    double nextReleaseTime() const;

    // A command frame cut short (lost bytes, a link that went away) waits
    // for its missing bytes; hosts drop it after a quiet spell.
    bool hasPartialFrame() const { return framer.currentState() != FrameAssembler::WaitStart; }
    void dropPartialFrame() { framer.reset(); }

    // The device has gone (fault "vanish"): it takes and answers nothing more.
    bool vanished() const { return gone; }

    void setFrameObserver(FrameObserver* observer) { frameObserver = observer; }

    // --- State, for tests, displays and logs ---
    const ControllerSettings& settings() const { return active; }
    const ControllerSettings& storedSettings() const { return stored; }
    // Lines of the stored state that were skipped at start-up (unknown keys,
    // bad values); empty when all was well.
    const std::vector<std::string>& loadProblems() const { return problems; }
    // Why the stored state could not be used at all at start-up; empty when
    // it was loaded or nothing was stored yet. The controller then runs
    // factory fresh and will not store over what it could not read.
    const std::string& stateError() const { return loadError; }
    // False when the last StoreParameters could not keep the parameters;
    // the controller then answered with its not-stored reply.
    bool lastStoreSucceeded() const { return storeOk; }
    // How many StoreParameters have failed so far, and why the last one did.
    std::uint64_t failedStores() const { return storeFailures; }
    const std::string& lastStoreError() const { return storeError; }

    std::int32_t axisPosition(Axis axis) const;
    double axisVelocity(Axis axis) const;
    std::uint8_t motionStatus(Axis axis) const;
    bool trackingOn() const { return tracking; }
    // The axis's real angle in turns (past any backlash), where the encoder sits.
    double axisTurns(Axis axis) const;
    // The count in a ReadEncoders reply at this moment, without the
    // encoder's noise and bit errors (EncoderFit), which each reply draws anew.
    std::uint32_t encoderReading(Axis axis) const;
    std::uint64_t framesHandled() const { return frameCount; }

    // Physical encoders can be swapped while running (a test or a demo).
    void setEncoderPhysics(Axis axis, const EncoderPhysics& physics);

private:
    void handleFrame(const std::uint8_t* frame);
    void execute(DeviceCommand code, const std::uint8_t* args);
    void reply(std::uint8_t code, const std::uint8_t* payload, std::size_t length);
    void replyWith(DeviceCommand command, const ReplyValues& values);
    void replyOneField(DeviceCommand command, ReplyField field, std::uint32_t value);
    void emit(std::uint8_t* frame, std::size_t length);
    // What one reading of an encoder draws: how far its noise moves it, in
    // counts, and which data bit arrives flipped (-1: none).
    struct ReadingDraw {
        int noiseCounts = 0;
        int flippedBit = -1;
    };
    std::uint32_t encoderValue(DeviceCommand command, Axis axis, ReadingDraw draw) const;
    void replyAck(std::uint8_t code);

    void replyIdentify();
    void replyDeviceWord();
    void replyDeviceByte();
    void executeMotion(DeviceCommand command, const std::uint8_t* args);
    void executeWrite(DeviceCommand command, const std::uint8_t* args);
    void replyAxisParameters();
    void replyMotorSettings();
    void replyEncoderFormat();
    void replyEncoderCalibration();
    void replyEncoders(DeviceCommand code);
    void replyMotionStatus();
    void replyAxisPositions();
    void storeParameters();

    AxisDrive& drive(Axis axis) { return axis == Axis::Ra ? raDrive : decDrive; }
    const AxisDrive& drive(Axis axis) const { return axis == Axis::Ra ? raDrive : decDrive; }
    const AxisSettings& axisSettings(Axis axis) const { return axis == Axis::Ra ? active.ra : active.dec; }
    AxisLimits limits(Axis axis) const;
    const EncoderPhysics& encoderPhysics(Axis axis) const { return axis == Axis::Ra ? config.raEncoder : config.decEncoder; }
    EncoderWord encoderWord(Axis axis, ReadingDraw draw) const;
    std::uint32_t decodedEncoder(Axis axis, ReadingDraw draw) const;
    std::uint32_t calibratedReading(Axis axis, ReadingDraw draw) const;
    ReadingDraw drawReading(Axis axis);
    bool lost();

    SimConfig config;
    ControllerSettings active;
    ControllerSettings stored;
    std::vector<std::string> problems;
    std::string loadError;
    bool storeOk = true;
    std::uint64_t storeFailures = 0;
    std::string storeError;

    FrameAssembler framer{commandStartByte};
    AxisDrive raDrive;
    AxisDrive decDrive;
    bool tracking = false;
    double clock = 0.0;

    struct QueuedByte {
        double releaseAt;
        std::uint8_t value;
    };
    std::deque<QueuedByte> output;

    std::mt19937 random;
    std::mt19937 encoderRandom;   // apart from the line's, so encoder noise changes no lost byte
    std::uint64_t frameCount = 0;
    bool gone = false;
    FrameObserver* frameObserver = nullptr;
};

}  // namespace kv7::sim
