// The controller link. Every request, heartbeat tick and chunk of received
// bytes becomes a short message in one internal channel; a single worker
// thread reads the channel and does all controller work in arrival order.
// When the worker is free and nothing waits for it, a reply is handled by
// the serial reader that read it, and a reading by the thread that asks
// for it, in the same order and under the one lock the worker holds.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "app/Interfaces.h"
#include "app/Records.h"
#include "link/Channel.h"
#include "protocol/DeviceProtocol.h"
#include "protocol/ReplyLayout.h"
#include "link/LinkTypes.h"
#include "protocol/PortCatalog.h"

namespace kv7 {

class CommControl final : public iKV7Control {
public:
    struct Options {
        int settleMs = 500;         // pause between opening the port and identifying
        bool startThreads = true;   // false: the caller pumps the channel itself (tests)
        // Replies and readings handled by the thread that has them when the
        // worker is free (handleInPlace); false sends every message through
        // the worker (the benchmark compares the two).
        bool handleInPlace = true;
        // The format readings are decoded with until a connect reads the
        // controller's own.
        EncoderFormat initialEncoderFormat{};
    };

    CommControl(iNotificationListener* listener, const iSiderealTime* siderealTime, PortCatalog* catalog);
    CommControl(iNotificationListener* listener, const iSiderealTime* siderealTime, PortCatalog* catalog,
                Options options);
    ~CommControl() override;

    CommControl(const CommControl&) = delete;
    CommControl& operator=(const CommControl&) = delete;

    // iKV7Control: each writes one channel message and returns.
    void onHeartBeat() override;
    void connect(std::uint32_t port, std::uint32_t baud) override;
    void disconnect() override;
    void storeParameters() override;
    void manualMove(std::uint8_t direction, std::uint8_t speed) override;
    void stopMotion(std::uint8_t axes) override;
    void setTracking(std::uint8_t on) override;
    void pierSideAction(std::uint8_t action) override;
    void gotoTarget(std::uint32_t raArcsec, std::int32_t decArcsec) override;
    void answerMeridianFlip(std::uint16_t answer) override;
    void setMotorReversal(std::uint8_t bits, std::uint8_t extra) override;
    void setEncoderFormat(std::uint8_t raFlags, std::uint8_t raLeadingBits, std::uint8_t raBitsPerRevolution,
                          std::uint8_t raBitsForRevolutions, std::uint8_t decFlags, std::uint8_t decLeadingBits,
                          std::uint8_t decBitsPerRevolution, std::uint8_t decBitsForRevolutions) override;
    void setEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset, std::uint32_t decOffset) override;
    void readEncoders(std::uint8_t mode) override;
    void syncToTarget(std::uint32_t raArcsec, std::int32_t decArcsec) override;
    void syncToEncoders() override;

    // Writes raw bytes into the channel as one message, and takes bytes out
    // of it unprocessed (tests and fuzzers, without threads).
    void writeChannel(const std::uint8_t* data, std::size_t length);
    std::size_t takeChannelBytes(std::uint8_t* out, std::size_t capacity);

    // Shutdown: stops the worker and the serial reader and closes the port.
    // Sends nothing to the controller and raises no status. Idempotent.
    void stopThreads();

    // Flags any thread may read.
    bool isPortOpen() const { return portOpen.load(); }
    bool isLinkReady() const { return linkReady.load(); }
    // Bytes of frames that the last port close had to discard unsent (the
    // device would not take them in time); 0 when everything left.
    std::size_t bytesDiscardedAtClose() const { return discardedBytes.load(); }
    // Writers blocked on a full channel (tests wait on it instead of sleeping).
    std::size_t writersWaiting() const { return channel.waitingWriters(); }

    // Without threads (Options::startThreads false) the caller plays both
    // the worker and the serial reader. pump() handles every message in the
    // channel; pollSerial() reads the port once without waiting and forwards
    // what came. Both return how many bytes they moved.
    std::size_t pump();
    std::size_t pollSerial();

    // Read-only views of link state, for tests that pump on their own thread.
    std::int32_t currentLinkState() const { return linkState; }
    std::int32_t currentPierState() const { return pierState; }
    std::int32_t currentGotoKind() const { return gotoKind; }
    std::int32_t currentGotoPass() const { return gotoPass; }
    std::int32_t targetRaSteps() const { return targetRaPosition; }
    std::int32_t targetDecSteps() const { return targetDecPosition; }
    bool usesWestGeometry() const { return westGeometry; }
    const ControllerParameters& linkParameters() const { return parameters; }
    const AxisConfiguration& linkAxisConfiguration() const { return axisConfiguration; }

private:
    // Channel and worker.
    // One whole message; false when it was not written (the channel
    // stopped, or giveUp was set while waiting for room).
    bool writeMessage(const std::uint8_t* message, std::size_t length, const std::atomic<bool>* giveUp = nullptr);
    void writeTargetMessage(std::uint8_t code, std::uint32_t raArcsec, std::int32_t decArcsec);
    void workerLoop();
    bool handleInPlace(const std::uint8_t* message, std::size_t length);
    bool takeHandling(std::unique_lock<std::mutex>& guard);
    void assemble(std::uint8_t b);
    void dispatch();
    void dispatchCommand(std::size_t length);
    void actOnLinkResult(int result);
    void runConnect(std::uint8_t port, std::uint32_t baud);
    void runDisconnect();
    void runPortFailed(std::uint8_t connection);
    void loseConnection();
    // Raises a status that announces something sent, unless a frame of the
    // same message failed to go out.
    void reportSent(std::uint32_t status);

    // Serial transport.
    bool openPort(std::uint8_t port, std::uint32_t baud, bool& simulated);
    void closePort();
    bool writeFrame(const std::uint8_t* frame, std::size_t length);
    void readerLoop();
    void joinReader();
    bool forwardReceived(const std::uint8_t* bytes, std::size_t count);
    void postPortFailed();

    // Frames: received bytes cut into replies, and requests by meaning.
    int feedReplyBytes(const std::uint8_t* bytes, std::size_t count);
    void send(DeviceCommand command, const std::uint32_t* arguments, std::size_t count);
    void sendRequest(DeviceCommand command);   // a request without arguments
    void sendGoTo(std::int32_t ra, std::int32_t dec);
    void sendSetAxisPositions(std::int32_t ra, std::int32_t dec);
    void sendMoveAtSpeed(std::uint8_t axes, std::int32_t speed);
    void sendStopAxes(std::uint8_t axes);
    void sendTracking(std::uint8_t on);
    void sendMotorFlags(std::uint8_t reverseBits, std::uint8_t extra);
    void sendEncoderFormat(const std::uint8_t wireFormat[8]);
    void sendEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset, std::uint32_t decOffset);
    void sendStore();
    void sendMotionPoll();
    void sendReadAxisPositions();
    void sendReadEncoders(std::uint8_t mode);

    // Command execution and reply handling.
    int startConnectSequence();
    void executeCommand(const std::uint8_t* message, std::size_t length);
    void executeRequest(std::uint8_t code, const std::uint8_t* args);
    void executeStore();
    void executeSetEncoderFormat(const std::uint8_t* wireFormat);
    void executeSetEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset, std::uint32_t decOffset);
    const ReplyLayout* awaitedLayout() const;
    int handleReply(const std::uint8_t* frame, std::size_t length);
    int handleConnectReply(const std::uint8_t* frame, std::size_t length, const ReplyValues& values);
    int identified(const std::uint8_t* frame, std::size_t length);
    void requestNext(std::int32_t state, DeviceCommand request);
    void awaitReply(std::int32_t state);
    bool awaitsReply() const;
    int onLinkTick();
    void endPause();
    void replyTimedOut();
    void requestEncoderReading(std::uint8_t mode);
    void sendEncoderReading(std::uint8_t mode);
    void issueDeferredRead();
    void resumeAfterReading();
    void pauseElapsed();
    void deriveAxisConstants();
    void executePierSideAction(std::uint8_t action);
    void decodeEncoderReading(const ReplyValues& values);
    MountState diagnosticReading(const ReplyValues& values) const;

    // Positioning.
    void executeManualMove(std::uint8_t direction, std::uint8_t speedIndex);
    void executeStopMotion(std::uint8_t mode);
    void executeGotoTarget(std::uint32_t raArcsec, std::int32_t decArcsec);
    void executeMeridianFlipAnswer(std::uint8_t answer);
    void startSkyGoTo();
    void executeSyncToTarget(std::uint32_t raArcsec, std::int32_t decArcsec);
    void executeSyncToEncoders();
    void readAxes(const ReplyValues& values);
    void updateSkyPosition();
    void flipFrom(std::int32_t raPosition, std::int32_t decPosition);
    bool positioning() const;
    void pauseBeforePoll();
    void arrived();
    void endPositioning();
    void refreshTargetRaPosition();
    double hourOffset() const;
    void computeAxisPositions(bool west, bool raOnly, double hourOffset);

    iNotificationListener* notificationListener;
    const iSiderealTime* siderealTime;
    PortCatalog* catalog;
    Options options;

    Channel channel;
    // The link's data below are handled by one thread at a time: the
    // worker, for each batch it takes from the channel, or the serial
    // reader or a thread asking for a reading, for the message it handles
    // in place (handleInPlace).
    std::mutex handling;
    // Bytes written into the channel, and bytes the worker has taken out
    // and handled (under handling): equal when nothing waits for the worker.
    std::atomic<std::size_t> bytesPosted{0};
    std::size_t bytesHandled = 0;

    std::thread workerThread;
    std::thread readerThread;
    std::atomic<bool> readerStop{false};
    bool threadsStopped = false;

    std::int32_t assemblerState = 0;
    std::int32_t receivedCount = 0;
    std::int32_t expectedCount = 0;
    std::uint8_t message[32] = {};

    std::atomic<bool> portOpen{false};
    std::atomic<bool> linkReady{false};
    std::atomic<std::size_t> discardedBytes{0};
    SerialPort* port = nullptr;
    // Numbers each opened connection, so that a failure the reader of an
    // earlier one posted cannot close a later one.
    std::atomic<std::uint8_t> connection{0};
    bool frameFailed = false;   // a frame of the message being handled did not go out

    ControllerParameters parameters{};
    AxisConfiguration axisConfiguration{};
    MountState mountState{};

    FrameAssembler framer{replyStartByte};

    std::int32_t linkState = LinkState::Initial;
    std::int32_t nextLinkState = LinkState::Idle;
    std::int32_t pauseTicks = 0;
    std::int32_t connectTicks = 0;
    std::uint8_t readEncoderMode = 0;
    // Ticks since the last encoder reading; a sync to the encoders takes
    // only a fresh one.
    std::int32_t ticksSinceReading = -1;
    // Awaited replies that have not come: ticks left, and how many in a row
    // a positioning cycle has missed.
    std::int32_t replyTicks = 0;
    std::int32_t missedReplies = 0;
    // An encoder reading asked for while a reply was awaited (mode + 1; 0
    // none), sent as soon as the line is free.
    std::uint8_t deferredRead = 0;
    // A reading taken in the pause between two motion polls; its reply
    // returns the link to the pause.
    bool readInPause = false;
    std::int32_t pierBeforeFlip = PierState::pierEast;

    std::int32_t pierState = PierState::pierEast;
    double targetRaHours = 0.0;
    double targetDecDegrees = 0.0;
    std::int32_t targetRaPosition = 0;
    std::int32_t targetDecPosition = 0;
    bool westGeometry = false;
    std::int32_t gotoKind = 0;
    std::int32_t gotoPass = 0;

    std::uint32_t raHalfRevolution = 0;
    double raStepsPerHour = 0.0;
    double decStepsPer15Degrees = 0.0;
};

}  // namespace kv7
