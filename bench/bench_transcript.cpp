// What recording a line transcript costs the link: encoder readings
// (request and reply, one round trip each) through the real link and the
// in-memory virtual controller, with the link's threads off and the test
// loop playing worker and serial reader, so the figures are CPU work only
// and repeat from run to run. The same run is made without a transcript
// and with one written to a real file (one write(2) a chunk), alternately,
// and the best of each is compared. Heap allocations are counted by the
// shared counting operator new over the recorded rounds.
//
// usage: bench_transcript [ROUND_TRIPS]   (default 20000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/AppModel.h"
#include "link/CommControl.h"
#include "sim/hosts/MemoryHost.h"
#include "support/CountingNew.h"
#include "transcript/Ports.h"
#include "transcript/Recorder.h"

namespace {

class OnePort final : public kv7::PortCatalog {
public:
    explicit OnePort(kv7::SerialPort* p) : port(p) {}
    std::vector<kv7::PortEntry> entries() const override { return {}; }
    bool resolve(std::uint32_t, kv7::PortBinding& binding) override
    {
        binding.port = port;
        return true;
    }

private:
    kv7::SerialPort* port;
};

class Quiet final : public kv7::iNotificationListener {
public:
    void onStatus(std::uint32_t) override {}
    void onConfiguration(std::uint32_t, std::uint32_t, const kv7::ControllerParameters&,
                         const kv7::AxisConfiguration&) override
    {
        configured = true;
    }
    void onMeridianFlipPrompt(std::int32_t) override {}
    void onMountState(const kv7::MountState&) override { ++readings; }
    bool configured = false;
    long readings = 0;
};

struct Run {
    double seconds = 0;
    long allocations = 0;
    long readings = 0;
};

void settle(kv7::CommControl& link, kv7::sim::MemoryHost& host)
{
    for (int i = 0; i < 100; ++i) {
        host.advance(0.001);
        if (link.pollSerial() + link.pump() == 0)
            return;
    }
}

// Connects (not timed), then times rounds of readEncoders.
Run roundTrips(kv7::PortCatalog& catalog, kv7::sim::MemoryHost& host, long rounds)
{
    Quiet listener;
    kv7::AppModel model;
    kv7::CommControl::Options options;
    options.settleMs = 0;
    options.startThreads = false;
    kv7::CommControl link(&listener, &model, &catalog, options);
    link.connect(1, 9600);
    for (int i = 0; i < 40 && !listener.configured; ++i) {
        settle(link, host);
        link.onHeartBeat();
    }
    settle(link, host);
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
    std::printf("transcript: %ld round trips (encoder readings) through the link and the in-memory simulator,\n"
                "best of 5 passes each, the link's threads off\n", rounds);
    std::printf("  without a transcript   %10.0f round trips/s\n", rounds / bestPlain);
    std::printf("  recorded to a file     %10.0f round trips/s  (%+.1f %%; target under 5 %% slower: %s)\n",
                rounds / bestRecorded, slower, slower < 5.0 ? "met" : "MISSED");
    std::printf("  heap allocations per frame: %.4f without, %.4f recording (target 0 added: %s)\n",
                lastPlain.allocations / frames, lastRecorded.allocations / frames,
                lastRecorded.allocations <= lastPlain.allocations ? "met" : "MISSED");
    std::printf("  readings delivered: %ld and %ld\n", lastPlain.readings, lastRecorded.readings);
    return 0;
}
