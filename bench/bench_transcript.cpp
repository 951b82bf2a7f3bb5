// What recording a line transcript costs the link, in encoder readings
// (request and reply: one round trip each), without a transcript and with
// one written to a real file (one write(2) a line), alternately, best of
// five passes each:
//
//   line     the program's set-up: the link's own threads, the POSIX serial
//            port, the virtual controller behind a pseudo-terminal (its
//            host thread in this process), unpaced (bytes as fast as the
//            terminal moves them) and paced at 115200 baud as a real line
//   cpu      the link's threads off and the loop playing worker and serial
//            reader against the in-memory controller: CPU work only, no
//            device, so the recorder's cost shows at its largest
//
// Heap allocations are counted by the shared counting operator new over the
// cpu rounds (the link and the in-memory controller together).
//
// usage: bench_transcript [ROUND_TRIPS]   (default 20000; the line run does a tenth)
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/AppModel.h"
#include "app/HeartBeatTimer.h"
#include "link/CommControl.h"
#include "platform/posix/PosixSerialPort.h"
#include "sim/hosts/MemoryHost.h"
#include "BenchSupport.h"
#include "sim/hosts/PtyHost.h"
#include "support/CountingNew.h"
#include "transcript/Ports.h"
#include "transcript/Recorder.h"

namespace {

using kv7::bench::OnePort;
using kv7::bench::Quiet;
using kv7::bench::connectWithoutThreads;
using kv7::bench::settle;
using kv7::bench::unthreaded;

// Wakes the waiting loop on each reading and on the configuration.
class Waiting final : public kv7::iNotificationListener {
public:
    void onStatus(std::uint32_t) override {}
    void onConfiguration(std::uint32_t, std::uint32_t, const kv7::ControllerParameters&,
                         const kv7::AxisConfiguration&) override
    {
        bump(configured);
    }
    void onMeridianFlipPrompt(std::int32_t) override {}
    void onMountState(const kv7::MountState&) override { bump(readings); }
    bool waitFor(const long& counter, long atLeast)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(5), [&] { return counter >= atLeast; });
    }
    long configured = 0;
    long readings = 0;

private:
    void bump(long& counter)
    {
        {
            const std::lock_guard<std::mutex> guard(lock);
            ++counter;
        }
        changed.notify_all();
    }
    std::mutex lock;
    std::condition_variable changed;
};

struct Run {
    double seconds = 0;
    long allocations = 0;
    long readings = 0;
};

// Connects (not timed), then times rounds of readEncoders.
Run roundTrips(kv7::PortCatalog& catalog, kv7::sim::MemoryHost& host, long rounds)
{
    Quiet listener;
    kv7::AppModel model;
    kv7::CommControl link(&listener, &model, &catalog, unthreaded());
    connectWithoutThreads(link, host, listener);
    const long before = kv7::test::allocationsSoFar();
    const auto start = std::chrono::steady_clock::now();
    for (long r = 0; r < rounds; ++r) {
        link.readEncoders(kv7::ReadMode::Encoders);
        settle(link, host);
    }
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.allocations = kv7::test::allocationsSoFar() - before;
    run.readings = listener.readings;
    link.stopThreads();
    return run;
}

// The link as the program runs it, against the controller on a terminal.
Run lineRoundTrips(kv7::PortCatalog& catalog, long rounds)
{
    Waiting listener;
    kv7::AppModel model;
    kv7::CommControl::Options options;
    options.settleMs = 0;
    kv7::CommControl link(&listener, &model, &catalog, options);
    kv7::HeartBeatTimer heartbeat;   // the connect sequence pauses for two ticks
    heartbeat.setListener(&link);
    heartbeat.start();
    link.connect(1, 115200);
    Run run;
    if (!listener.waitFor(listener.configured, 1)) {
        heartbeat.clearListener();
        return run;
    }
    const auto start = std::chrono::steady_clock::now();
    for (long r = 0; r < rounds; ++r) {
        link.readEncoders(kv7::ReadMode::Encoders);
        if (!listener.waitFor(listener.readings, r + 1))
            break;
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.readings = listener.readings;
    heartbeat.clearListener();
    link.stopThreads();
    return run;
}

// Best of five alternating passes: without, then with a transcript.
void compareOnTheLine(long rounds, const std::string& path, std::uint32_t lineRate)
{
    kv7::sim::PtyHost::Options hostOptions;
    hostOptions.lineRate = lineRate;
    kv7::sim::PtyHost host(hostOptions);
    std::string error;
    if (!host.start(&error)) {
        std::fprintf(stderr, "bench_transcript: %s\n", error.c_str());
        return;
    }
    kv7::PosixSerialPort port;
    OnePort direct(&port, host.path());
    double best[2] = {1e9, 1e9};
    long readings[2] = {};
    for (int pass = 0; pass < 5; ++pass) {
        const Run plain = lineRoundTrips(direct, rounds);
        kv7::transcript::FileSink sink;
        if (!sink.open(path, error))
            return;
        kv7::transcript::Recorder recorder(sink);
        kv7::transcript::RecordingCatalog recording(direct, recorder);
        const Run recorded = lineRoundTrips(recording, rounds);
        best[0] = std::min(best[0], plain.seconds);
        best[1] = std::min(best[1], recorded.seconds);
        readings[0] = plain.readings;
        readings[1] = recorded.readings;
    }
    const double slower = 100.0 * (best[1] / best[0] - 1.0);
    std::printf("line: %ld round trips through the link's threads, the POSIX port and a pseudo-terminal, %s\n",
                rounds, lineRate ? "paced at 115200 baud" : "unpaced");
    std::printf("  without a transcript   %10.0f round trips/s  (%ld readings)\n", rounds / best[0], readings[0]);
    std::printf("  recorded to a file     %10.0f round trips/s  (%ld readings; %+.1f %%, target under 5 %% "
                "slower: %s)\n",
                rounds / best[1], readings[1], slower, slower < 5.0 ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv)
{
    const long rounds = argc > 1 ? std::max(1L, std::atol(argv[1])) : 20000;
    const std::string path = "/tmp/bench_transcript." + std::to_string(::getpid()) + ".kv7t";
    std::vector<double> plain, recorded;
    Run lastPlain, lastRecorded;
    for (int pass = 0; pass < 5; ++pass) {
        kv7::sim::MemoryHost hostA;
        OnePort direct(&hostA);
        lastPlain = roundTrips(direct, hostA, rounds);
        plain.push_back(lastPlain.seconds);

        kv7::sim::MemoryHost hostB;
        OnePort inner(&hostB);
        kv7::transcript::FileSink sink;
        std::string error;
        if (!sink.open(path, error)) {
            std::fprintf(stderr, "bench_transcript: %s\n", error.c_str());
            return 1;
        }
        kv7::transcript::Recorder recorder(sink);
        kv7::transcript::RecordingCatalog recording(inner, recorder);
        lastRecorded = roundTrips(recording, hostB, rounds);
        recorded.push_back(lastRecorded.seconds);
    }
    std::remove(path.c_str());
    const double bestPlain = *std::min_element(plain.begin(), plain.end());
    const double bestRecorded = *std::min_element(recorded.begin(), recorded.end());
    const double slower = 100.0 * (bestRecorded / bestPlain - 1.0);
    const double frames = 2.0 * static_cast<double>(rounds);   // a request and its reply
    compareOnTheLine(std::max(1L, rounds / 10), path, 0);
    compareOnTheLine(std::max(1L, rounds / 40), path, 115200);
    std::printf("cpu: %ld round trips (encoder readings) through the link and the in-memory simulator,\n"
                "best of 5 passes each, the link's threads off\n", rounds);
    std::printf("  without a transcript   %10.0f round trips/s\n", rounds / bestPlain);
    std::printf("  recorded to a file     %10.0f round trips/s  (%+.1f %%; target under 5 %% slower: %s)\n",
                rounds / bestRecorded, slower, slower < 5.0 ? "met" : "MISSED");
    std::printf("  heap allocations per frame: %.4f without, %.4f recording (target 0 added: %s)\n",
                lastPlain.allocations / frames, lastRecorded.allocations / frames,
                lastRecorded.allocations <= lastPlain.allocations ? "met" : "MISSED");
    std::printf("  readings delivered: %ld and %ld\n", lastPlain.readings, lastRecorded.readings);
    std::remove(path.c_str());
    return 0;
}
