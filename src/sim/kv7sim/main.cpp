// kv7sim: a virtual KV7 controller behind a device of its own, a
// pseudo-terminal on POSIX and a named pipe on Windows (System.h).
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "protocol/DeviceProtocol.h"
#include "sim/hosts/FileStateStore.h"
#include "sim/kv7sim/SimOptions.h"
#include "sim/kv7sim/System.h"
#include "transcript/Recorder.h"
#include "transcript/Replay.h"
#include "transcript/Transcript.h"
#include "version/Version.h"

namespace {

using namespace kv7::sim;

class FrameLog final : public FrameObserver {
public:
    // Frames are reported on the host thread under its lock, so reading the
    // controller's clock here is safe.
    void attach(const VirtualController* c) { controller = c; }

    void onCommandFrame(const std::uint8_t* frame, std::size_t length) override
    {
        const kv7::DeviceCommandInfo* info = length > 2 ? kv7::findDeviceCommand(frame[2]) : nullptr;
        char name[48];
        if (info)
            std::snprintf(name, sizeof name, "%s", info->name);
        else if (length > 2)
            std::snprintf(name, sizeof name, "unknown command %u", frame[2]);
        else
            std::snprintf(name, sizeof name, "empty frame");
        print("link ->", name, frame, length);
    }

    void onReplyFrame(std::uint8_t answered, const std::uint8_t* frame, std::size_t length) override
    {
        const kv7::DeviceCommandInfo* info = kv7::findDeviceCommand(answered);
        char name[48];
        std::snprintf(name, sizeof name, "%s reply", info ? info->name : "unknown");
        print("  <- sim", name, frame, length);
    }

private:
    void print(const char* direction, const char* name, const std::uint8_t* frame, std::size_t length)
    {
        std::string hex;
        char byte[4];
        for (std::size_t i = 0; i < length; ++i) {
            std::snprintf(byte, sizeof byte, i ? " %02X" : "%02X", frame[i]);
            hex += byte;
        }
        std::fprintf(stderr, "kv7sim [%10.3f] %s %-28s %s\n", controller ? controller->now() : 0.0, direction, name, hex.c_str());
    }

    const VirtualController* controller = nullptr;
};

}  // namespace

namespace {

// What --transcript and --replay add to the host, made before it.
struct LineTools {
    kv7::transcript::FileSink sink;
    std::unique_ptr<kv7::transcript::Recorder> recorder;
    std::unique_ptr<kv7::transcript::ReplayEngine> replay;
    std::size_t answeredReported = 0;

    bool prepare(const SimToolOptions& options)
    {
        std::string error;
        if (!options.replayPath.empty() && !loadReplay(options.replayPath, error)) {
            std::fprintf(stderr, "kv7sim: --replay %s: %s\n", options.replayPath.c_str(), error.c_str());
            return false;
        }
        if (!options.transcriptPath.empty()) {
            if (!sink.open(options.transcriptPath, error)) {
                std::fprintf(stderr, "kv7sim: --transcript: %s\n", error.c_str());
                return false;
            }
            recorder = std::make_unique<kv7::transcript::Recorder>(sink);
            recorder->addNote(replay ? "kv7sim --replay " + options.replayPath : std::string("kv7sim"));
        }
        return true;
    }

    bool loadReplay(const std::string& path, std::string& error)
    {
        std::string text;
        const auto read = kv7::atomicfile::readBounded(path, kv7::transcript::maxTranscriptBytes, "transcript", text, error);
        if (read == kv7::atomicfile::Read::Missing)
            error = "no such file";
        kv7::transcript::Transcript t;
        if (read != kv7::atomicfile::Read::Text || !kv7::transcript::readTranscript(text, t, error))
            return false;
        replay = std::make_unique<kv7::transcript::ReplayEngine>(kv7::transcript::makeReplayScript(t));
        replay->open();
        return true;
    }
};

// A host whose controller has its stored parameters, or null with the reason.
std::unique_ptr<HostedController> makeHost(const SimToolOptions& options, LineTools& tools, std::string& error)
{
    HostOptions hostOptions;
    hostOptions.transcript = tools.recorder.get();
    hostOptions.replay = tools.replay.get();
    hostOptions.config = options.config;
    if (!options.statePath.empty())
        hostOptions.config.stateStore = std::make_shared<FileStateStore>(options.statePath);
    hostOptions.timeScale = options.timeScale;
    hostOptions.lineRate = options.lineRate;
    std::unique_ptr<HostedController> host = tool::makeHost(hostOptions);
    error = host->withController([&](VirtualController& c) {
        for (const std::string& problem : c.loadProblems())
            std::fprintf(stderr, "kv7sim: %s: %s\n", options.statePath.c_str(), problem.c_str());
        return c.stateError();
    });
    // Running on factory settings would hide the user's stored ones, and the
    // first store would be refused anyway.
    if (!error.empty())
        return nullptr;
    return host;
}

// Runs until a stop is asked for or the device vanishes. Failed stores are
// polled, and once more on the way out so that a store that failed just
// before a stop is still reported.
// --replay: the first difference ends the run with status 1; true then.
bool replayDiffered(HostedController& host, LineTools& tools)
{
    if (!tools.replay)
        return false;
    // The engine is only touched under the host's lock.
    std::size_t answered = 0;
    const auto difference = host.withController([&](VirtualController&) {
        answered = tools.replay->requestsAnswered();
        return tools.replay->difference();
    });
    if (answered != tools.answeredReported && answered == tools.replay->requestsRecorded())
        std::fprintf(stderr, "kv7sim: replay: all %zu recorded requests answered\n", answered);
    tools.answeredReported = answered;
    if (!difference)
        return false;
    std::fprintf(stderr, "kv7sim: replay: the request differs from the recording at %s\n",
                 kv7::transcript::describeDifference(*difference).c_str());
    return true;
}

// Runs until a stop is asked for, the device vanishes or a replay differs.
int serve(HostedController& host, tool::StopRequests& stop, LineTools& tools)
{
    std::uint64_t storeFailuresReported = 0;
    auto reportFailedStores = [&] {
        std::string why;
        const std::uint64_t failures = host.withController([&](VirtualController& c) {
            why = c.lastStoreError();
            return c.failedStores();
        });
        if (failures != storeFailuresReported)
            std::fprintf(stderr, "kv7sim: parameters not stored: %s\n", why.c_str());
        storeFailuresReported = failures;
    };
    int status = 0;
    for (;;) {
        if (stop.wait(std::chrono::milliseconds(200)))
            break;
        if (replayDiffered(host, tools)) {
            status = 1;
            break;
        }
        if (host.hungUp()) {
            std::fprintf(stderr, "kv7sim: the device has vanished as asked (--fault vanish); exiting\n");
            break;
        }
        reportFailedStores();
    }
    reportFailedStores();
    if (status == 0 && replayDiffered(host, tools))
        status = 1;
    return status;
}

int run(const SimToolOptions& options)
{
    // Before the host's thread starts, so that only stop.wait() sees them.
    tool::StopRequests stop;
    std::string error;
    tool::DeviceLink link;
    if (!options.linkPath.empty() && !link.claim(options.linkPath, error)) {
        std::fprintf(stderr, "kv7sim: %s\n", error.c_str());
        return 1;
    }
    LineTools tools;
    if (!tools.prepare(options))
        return 1;
    const std::unique_ptr<HostedController> host = makeHost(options, tools, error);
    if (!host) {
        std::fprintf(stderr, "kv7sim: cannot use the state file: %s\n", error.c_str());
        return 1;
    }
    if (!host->start(&error)) {
        std::fprintf(stderr, "kv7sim: %s: %s\n", tool::deviceWords.cannotStart, error.c_str());
        return 1;
    }
    if (!options.linkPath.empty() && !link.make(host->path(), error)) {
        std::fprintf(stderr, "kv7sim: cannot make the link: %s\n", error.c_str());
        host->stop();
        return 1;
    }
    FrameLog log;
    if (options.verbose) {
        host->withController([&](VirtualController& c) {
            log.attach(&c);
            c.setFrameObserver(&log);
            return 0;
        });
    }
    if (tools.recorder)
        tools.recorder->opened(host->path());
    std::printf("%s\n", host->path().c_str());
    std::fflush(stdout);
    const int status = serve(*host, stop, tools);
    link.remove();
    host->stop();
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    SimToolOptions options;
    std::string error;
    switch (parseSimCommandLine(args, options, error)) {
    case ParseOutcome::Help:
        std::fputs(simUsage(tool::deviceWords.usage, tool::deviceWords.link).c_str(), stdout);
        return 0;
    case ParseOutcome::Version:
        std::printf("%s\n", kv7::versionLine("kv7sim").c_str());
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "kv7sim: %s\nTry 'kv7sim --help' for more information.\n", error.c_str());
        return 2;
    case ParseOutcome::Run: break;
    }
    return run(options);
}
