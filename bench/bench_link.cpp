// Measured figures of the controller link against the virtual controller
// (kv7sim, a separate process, on a pseudo-terminal):
//
//   connect     the connect sequence against its floor (settle delay, the
//               two-tick pause, seven round trips), then disconnect
//   roundtrip   "Read encoders" from the readEncoders(0) call until the
//               waiting thread (the window's, in the program) has the
//               reading from AppModel, beside a plain blocking
//               python3-serial loop and a one-thread C++ loop against the
//               same controller; heap allocations meanwhile
//   idle        CPU time and wake-ups of a connected, idle link
//   shutdown    stopping the heartbeat and the link's threads
//
// usage: bench_link [--quick] [--count N] [--idle-seconds S] [--sim PATH]
//                   [--python PATH] [--python-script PATH] [--no-python]
//                   [--through-worker]
//
// --through-worker sends every message through the link's worker, as the
// link did before replies and readings were handled in place.
//
// The link is set up as the program sets it up: AppModel as the listener's
// destination, the real heartbeat timer, the POSIX serial port.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <execinfo.h>
#include <fstream>
#include <mutex>
#include <new>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/AppModel.h"
#include "app/HeartBeatTimer.h"
#include "link/CommControl.h"
#include "link/LinkTypes.h"
#include "platform/posix/PosixSerialPort.h"
#include "protocol/DeviceProtocol.h"

extern char** environ;

// ---------------------------------------------------------------------------
// Every heap allocation in this process is counted. While tracing is on, the
// call stacks of the first few are kept, to find who allocates.

namespace {

std::atomic<std::uint64_t> allocationCount{0};
std::atomic<bool> tracing{false};
constexpr int maxTraces = 8;
constexpr int traceDepth = 12;
void* traces[maxTraces][traceDepth];
int traceSizes[maxTraces];
std::atomic<int> traceCount{0};
thread_local bool insideTrace = false;

void* allocate(std::size_t n, std::size_t alignment = 0)
{
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (tracing.load(std::memory_order_relaxed) && !insideTrace) {
        const int slot = traceCount.fetch_add(1);
        if (slot < maxTraces) {
            insideTrace = true;
            traceSizes[slot] = backtrace(traces[slot], traceDepth);
            insideTrace = false;
        }
    }
    if (n == 0)
        n = 1;
    void* p = nullptr;
    if (alignment > alignof(std::max_align_t)) {
        if (posix_memalign(&p, alignment, n) != 0)
            p = nullptr;
    } else {
        p = std::malloc(n);
    }
    if (!p)
        std::abort();   // a bench has no use for running on without memory
    return p;
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// ---------------------------------------------------------------------------
// The pieces around the link.

// Sits between the link and the model: marks when each notification comes,
// forwards it, and tells the waiting main thread. Also the model's window.
class Probe final : public kv7::iNotificationListener, public kv7::iWMUserSender {
public:
    explicit Probe(kv7::AppModel* m) : model(m) {}

    void onStatus(std::uint32_t status) override { model->onStatus(status); }
    void onConfiguration(std::uint32_t status, std::uint32_t extra, const kv7::ControllerParameters& p,
                         const kv7::AxisConfiguration& a) override
    {
        configurationAt = Clock::now();
        model->onConfiguration(status, extra, p, a);
    }
    void onMeridianFlipPrompt(std::int32_t kind) override { model->onMeridianFlipPrompt(kind); }
    void onMountState(const kv7::MountState& m) override
    {
        readingAt = Clock::now();
        model->onMountState(m);
    }

    // What the model posts to the window.
    void postUserMessage(std::uint32_t code, std::uint32_t value) override
    {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (code == kv7::NotifyStatus && value < 32)
                ++statusCounts[value];
            else if (code == kv7::NotifyConfiguration)
                ++configurations;
            else if (code == kv7::NotifyMountState)
                ++readings;
        }
        changed.notify_all();
    }

    template <class Pred>
    bool waitFor(Pred pred, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(mutex);
        return changed.wait_for(guard, limit, pred);
    }
    bool waitForStatus(std::uint32_t status, std::uint64_t count, std::chrono::milliseconds limit)
    {
        return waitFor([&] { return statusCounts[status] >= count; }, limit);
    }
    bool waitForConfigurations(std::uint64_t count, std::chrono::milliseconds limit)
    {
        return waitFor([&] { return configurations >= count; }, limit);
    }
    bool waitForReadings(std::uint64_t count, std::chrono::milliseconds limit)
    {
        return waitFor([&] { return readings >= count; }, limit);
    }
    std::uint64_t statusCount(std::uint32_t status)
    {
        std::lock_guard<std::mutex> guard(mutex);
        return statusCounts[status];
    }
    std::uint64_t configurationCount()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return configurations;
    }
    std::uint64_t readingCount()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return readings;
    }

    Clock::time_point configurationAt;
    Clock::time_point readingAt;

private:
    kv7::AppModel* model;
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t statusCounts[32] = {};
    std::uint64_t configurations = 0;
    std::uint64_t readings = 0;
};

// The POSIX serial port, with the time of every frame written.
class TimedPort final : public kv7::SerialPort {
public:
    static constexpr int maxWrites = 64;

    bool open(const char* device, std::uint32_t baud) override
    {
        writes = 0;
        return port.open(device, baud);
    }
    void close() override { port.close(); }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override
    {
        const int i = writes.load();
        if (i < maxWrites) {
            writtenAt[i] = Clock::now();
            writes = i + 1;
        } else {
            writtenAt[maxWrites - 1] = Clock::now();
        }
        return port.write(data, length, timeoutMs);
    }
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override
    {
        const int n = port.read(buffer, capacity, timeoutMs);
        if (n > 0)
            lastReadAt = Clock::now();
        return n;
    }
    void wakeReader() override { port.wakeReader(); }

    // The last frame written and the last bytes read; the probe's mutex
    // orders them before the main thread looks.
    Clock::time_point lastWriteAt() const { return writtenAt[std::max(0, writes.load() - 1)]; }
    Clock::time_point lastReadAt;

    std::atomic<int> writes{0};
    Clock::time_point writtenAt[maxWrites];

private:
    kv7::PosixSerialPort port;
};

class OnePortCatalog final : public kv7::PortCatalog {
public:
    OnePortCatalog(kv7::SerialPort* p, std::string d) : port(p), device(std::move(d)) {}
    std::vector<kv7::PortEntry> entries() const override { return {{1, "sim", device, {}}}; }
    bool resolve(std::uint32_t number, kv7::PortBinding& binding) override
    {
        if (number != 1 || device.size() >= sizeof binding.device)
            return false;
        std::memcpy(binding.device, device.c_str(), device.size() + 1);
        binding.port = port;
        return true;
    }

private:
    kv7::SerialPort* port;
    std::string device;
};

// Passes the heartbeat on to the link and keeps the time of every tick.
class TickLog final : public kv7::iHeartBeatListener {
public:
    static constexpr int capacity = 1 << 16;
    explicit TickLog(kv7::iHeartBeatListener* l) : link(l) {}
    void onHeartBeat() override
    {
        const int i = count.load();
        if (i < capacity) {
            at[i] = Clock::now();
            count = i + 1;
        }
        link->onHeartBeat();
    }
    // The last tick at or before t.
    Clock::time_point lastTickBefore(Clock::time_point t) const
    {
        Clock::time_point best{};
        for (int i = 0; i < count.load(); ++i)
            if (at[i] <= t)
                best = at[i];
        return best;
    }

private:
    kv7::iHeartBeatListener* link;
    std::atomic<int> count{0};
    std::vector<Clock::time_point> at = std::vector<Clock::time_point>(capacity);
};

// ---------------------------------------------------------------------------
// Processes and /proc.

struct Child {
    pid_t pid = -1;
    std::string firstLine;
    std::string output;
};

// Runs argv with stdout on a pipe; with firstLineOnly, returns as soon as
// the first line is in and leaves the child running.
bool spawn(const std::vector<std::string>& args, bool firstLineOnly, Child& child)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return false;
    }
    char c;
    while (::read(fds[0], &c, 1) == 1) {
        child.output += c;
        if (c == '\n' && child.firstLine.empty()) {
            child.firstLine = child.output.substr(0, child.output.size() - 1);
            if (firstLineOnly)
                break;
        }
    }
    ::close(fds[0]);
    if (!firstLineOnly) {
        int status = 0;
        ::waitpid(child.pid, &status, 0);
        child.pid = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return !child.firstLine.empty();
}

void stopChild(Child& child)
{
    if (child.pid <= 0)
        return;
    ::kill(child.pid, SIGTERM);
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    child.pid = -1;
}

std::vector<int> threadIds(const std::string& taskDir = "/proc/self/task")
{
    std::vector<int> ids;
    if (DIR* d = ::opendir(taskDir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.')
                ids.push_back(std::atoi(e->d_name));
        }
        ::closedir(d);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

struct ThreadUsage {
    std::string name;
    long long voluntary = 0;
    long long involuntary = 0;
    long long cpuNanoseconds = 0;
};

ThreadUsage threadUsage(const std::string& taskDir, int tid)
{
    ThreadUsage u;
    std::ifstream comm(taskDir + "/" + std::to_string(tid) + "/comm");
    std::getline(comm, u.name);
    std::ifstream status(taskDir + "/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            u.voluntary = std::atoll(line.c_str() + 24);
        else if (line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            u.involuntary = std::atoll(line.c_str() + 27);
    }
    // Time on the CPU in nanoseconds: finer than the clock ticks of stat.
    std::ifstream schedstat(taskDir + "/" + std::to_string(tid) + "/schedstat");
    schedstat >> u.cpuNanoseconds;
    return u;
}

void nameThread(int tid, const char* name)
{
    std::ofstream comm("/proc/self/task/" + std::to_string(tid) + "/comm");
    comm << name;
}

int newThread(const std::vector<int>& before)
{
    for (int id : threadIds())
        if (!std::binary_search(before.begin(), before.end(), id))
            return id;
    return -1;
}

// ---------------------------------------------------------------------------

struct Stats {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

Stats statsOf(std::vector<double> v)
{
    Stats s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    s.max = v.back();
    return s;
}

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

void printTraces()
{
    const int n = std::min(traceCount.load(), maxTraces);
    for (int i = 0; i < n; ++i) {
        std::printf("    allocation %d:\n", i + 1);
        char** names = backtrace_symbols(traces[i], traceSizes[i]);
        for (int k = 1; names && k < traceSizes[i]; ++k)
            std::printf("      %s\n", names[k]);
        std::free(names);
    }
}

// The same request as the python loop, from one thread of this program:
// write it, block in poll until the whole reply is in, repeat. With the
// python loop it brackets what a round trip costs without the link's
// second thread.
bool plainRoundTrips(const std::string& device, int count, std::vector<double>& out)
{
    kv7::PosixSerialPort plain;
    if (!plain.open(device.c_str(), 115200))
        return false;
    std::uint8_t request[16];
    const std::uint32_t one[] = {1};
    const std::size_t size = kv7::encodeCommand(request, kv7::DeviceCommand::ReadEncoders, one);
    constexpr std::size_t replyLength = 11;
    constexpr int warmUp = 200;
    std::uint8_t reply[64];
    bool ok = true;
    for (int i = 0; i < warmUp + count && ok; ++i) {
        const auto start = Clock::now();
        ok = plain.write(request, size, 1000);
        std::size_t have = 0;
        while (ok && have < replyLength) {
            const int n = plain.read(reply + have, sizeof reply - have, 1000);
            ok = n > 0;
            have += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        ok = ok && have == replyLength && reply[0] == 0x55;
        if (ok && i >= warmUp)
            out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    plain.close();
    return ok;
}

struct Options {
    bool quick = false;
    int count = 10000;
    int idleSeconds = 30;
    std::string sim = KV7SIM_PATH;
    std::string pythonScript = KV7_BENCH_DIR "/serial_roundtrip.py";
    // Debian's python3-serial belongs to the system interpreter; a python3
    // earlier on PATH (pyenv, a venv) may lack it.
    std::string python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    bool runPython = true;
    kv7::CommControl::Options link;
};

}  // namespace

int main(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&] { return i + 1 < argc ? std::string(argv[++i]) : std::string(); };
        if (a == "--quick") {
            o.quick = true;
            o.count = 2000;
            o.idleSeconds = 5;
        } else if (a == "--count") {
            o.count = std::max(100, std::atoi(value().c_str()));
        } else if (a == "--idle-seconds") {
            o.idleSeconds = std::max(1, std::atoi(value().c_str()));
        } else if (a == "--sim") {
            o.sim = value();
        } else if (a == "--python-script") {
            o.pythonScript = value();
        } else if (a == "--python") {
            o.python = value();
        } else if (a == "--no-python") {
            o.runPython = false;
        } else if (a == "--through-worker") {
            o.link.handleInPlace = false;
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--count N] [--idle-seconds S] [--sim PATH] "
                                 "[--python PATH] [--python-script PATH] [--no-python] [--through-worker]\n", argv[0]);
            return 2;
        }
    }

    Child sim;
    if (!spawn({o.sim}, true, sim)) {
        std::fprintf(stderr, "bench: cannot start %s\n", o.sim.c_str());
        return 1;
    }
    const std::string device = sim.firstLine;
    std::printf("virtual controller: %s (pid %d) on %s\n", o.sim.c_str(), sim.pid, device.c_str());

    // --- the program's objects ----------------------------------------------
    kv7::AppModel model;
    Probe probe(&model);
    model.setSender(&probe);
    TimedPort port;
    OnePortCatalog catalog(&port, device);
    const std::vector<int> beforeLink = threadIds();
    kv7::CommControl link(&probe, &model, &catalog, o.link);   // the program's settle delay: 500 ms
    model.setControl(&link);
    const int workerTid = newThread(beforeLink);
    nameThread(workerTid, "link worker");
    TickLog ticks(&link);
    kv7::HeartBeatTimer heartbeat;
    heartbeat.setListener(&ticks);
    const std::vector<int> beforeHeartbeat = threadIds();
    heartbeat.start();
    std::this_thread::sleep_for(10ms);   // let the thread show up in /proc
    const int heartbeatTid = newThread(beforeHeartbeat);
    nameThread(heartbeatTid, "heartbeat");

    // --- connect -------------------------------------------------------------
    const int connects = o.quick ? 3 : 5;
    std::vector<double> totals, overheads, disconnects;
    bool connectOk = true;
    double lastSettle = 0, lastTickToSend = 0, lastRest = 0, lastPause = 0;
    // Where each round trip's time goes: from the call to the frame leaving
    // the worker, on the line and in the controller until the reader has
    // the reply, and from there to onMountState on the worker.
    std::vector<double> toWorker, onLine, fromReader;
    toWorker.reserve(static_cast<std::size_t>(o.count));
    onLine.reserve(static_cast<std::size_t>(o.count));
    fromReader.reserve(static_cast<std::size_t>(o.count));
    bool keepSegments = false;
    auto micros = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::micro>(b - a).count();
    };
    // The main thread stands for the window's: woken by the model's post,
    // it takes the reading over as the window's dispatch does.
    std::vector<double> toWindow;
    toWindow.reserve(static_cast<std::size_t>(o.count));
    auto measureRoundTrips = [&](int n, std::vector<double>& out) {
        out.clear();
        for (int i = 0; i < n; ++i) {
            const std::uint64_t before = probe.readingCount();
            const auto start = Clock::now();
            link.readEncoders(0);
            if (!probe.waitForReadings(before + 1, 2s))
                return false;
            model.dispatchUserMessage(kv7::NotifyMountState, 0);
            const auto received = Clock::now();
            if (model.mountState.valid != 1)
                return false;
            out.push_back(micros(start, received));
            if (keepSegments) {
                toWorker.push_back(micros(start, port.lastWriteAt()));
                onLine.push_back(micros(port.lastWriteAt(), port.lastReadAt));
                fromReader.push_back(micros(port.lastReadAt, probe.readingAt));
                toWindow.push_back(micros(probe.readingAt, received));
            }
        }
        return true;
    };
    std::vector<double> roundTrips;
    roundTrips.reserve(static_cast<std::size_t>(o.count));
    double rttMs = 0;
    for (int k = 0; k < connects && connectOk; ++k) {
        const std::uint64_t configurations = probe.configurationCount();
        const auto start = Clock::now();
        model.connect(1, 115200);
        if (!probe.waitForConfigurations(configurations + 1, 15s) || port.writes.load() < 7) {
            std::printf("connect %d failed\n", k + 1);
            connectOk = false;
            break;
        }
        if (k == 0) {
            // The round trip the floor counts; the full measurement comes
            // later, a short one is enough here.
            std::vector<double> first;
            if (!measureRoundTrips(200, first)) {
                connectOk = false;
                break;
            }
            rttMs = statsOf(first).median / 1000.0;
        }
        const Clock::time_point* w = port.writtenAt;
        const double total = msBetween(start, probe.configurationAt);
        const Clock::time_point secondTick = ticks.lastTickBefore(w[1]);
        // Floor: the settle delay, the pause from the identify reply's
        // arrival to the second tick after it, and seven round trips.
        const double pause = msBetween(w[0], secondTick) - rttMs;
        const double floor = 500.0 + pause + 7 * rttMs;
        totals.push_back(total);
        overheads.push_back(total - floor);
        lastSettle = msBetween(start, w[0]) - 500.0;
        lastTickToSend = msBetween(secondTick, w[1]);
        lastRest = msBetween(w[1], probe.configurationAt) - 6 * rttMs;
        lastPause = pause;

        if (k < connects - 1) {
            const std::uint64_t closed = probe.statusCount(kv7::Status::ConnectionClosed);
            const auto t = Clock::now();
            link.disconnect();
            if (!probe.waitForStatus(kv7::Status::ConnectionClosed, closed + 1, 5s)) {
                connectOk = false;
                break;
            }
            disconnects.push_back(msBetween(t, Clock::now()));
        }
    }

    // --- round trips and allocations ----------------------------------------
    // The machine is shared and its speed drifts, so the link, a one-thread
    // loop of this program's own and the python3-serial loop take turns in
    // blocks, and the samples are pooled. The pseudo-terminal has one
    // controller behind it: the link lets go of the port while the loops
    // have it.
    const int blocks = o.quick ? 6 : 10;
    const int perBlock = o.count / blocks;
    std::vector<double> pythonTimes;
    std::vector<double> blockRatios;
    std::vector<double> plainTimes;
    std::vector<double> plainRatios;
    bool plainOk = true;
    bool roundTripOk = connectOk;
    bool pythonOk = o.runPython;
    std::uint64_t allocations = 0;
    roundTrips.clear();
    roundTrips.reserve(static_cast<std::size_t>(perBlock) * blocks);
    std::vector<double> block;
    block.reserve(static_cast<std::size_t>(perBlock));
    for (int b = 0; b < blocks && roundTripOk; ++b) {
        double pythonMedian = 0;
        const std::uint64_t closedBefore = probe.statusCount(kv7::Status::ConnectionClosed);
        link.disconnect();
        roundTripOk = probe.waitForStatus(kv7::Status::ConnectionClosed, closedBefore + 1, 5s);
        std::vector<double> plainBlock;
        plainOk = plainOk && roundTripOk && plainRoundTrips(device, perBlock, plainBlock);
        plainTimes.insert(plainTimes.end(), plainBlock.begin(), plainBlock.end());
        if (pythonOk) {
            Child py;
            pythonOk = spawn({o.python, o.pythonScript, device, std::to_string(perBlock), "--all"}, false, py);
            int n = 0;
            double p99 = 0;
            pythonOk = pythonOk && std::sscanf(py.firstLine.c_str(), "python3-serial %d %lf %lf", &n, &pythonMedian,
                                               &p99) == 3;
            if (!pythonOk) {
                std::printf("python3-serial loop failed (%s; is python3-serial installed?)\n", o.python.c_str());
            } else {
                std::size_t pos = py.firstLine.size() + 1;
                while (pos < py.output.size()) {
                    const std::size_t next = py.output.find('\n', pos);
                    pythonTimes.push_back(std::atof(py.output.c_str() + pos));
                    pos = next == std::string::npos ? py.output.size() : next + 1;
                }
            }
        }
        const std::uint64_t configurations = probe.configurationCount();
        model.connect(1, 115200);
        roundTripOk = roundTripOk && probe.waitForConfigurations(configurations + 1, 15s);
        std::vector<double> warm;
        roundTripOk = roundTripOk && measureRoundTrips(200, warm);
        if (!roundTripOk)
            break;
        tracing = true;
        keepSegments = true;
        const std::uint64_t before = allocationCount.load();
        roundTripOk = measureRoundTrips(perBlock, block);
        allocations += allocationCount.load() - before;
        keepSegments = false;
        tracing = false;
        roundTrips.insert(roundTrips.end(), block.begin(), block.end());
        if (pythonOk && pythonMedian > 0)
            blockRatios.push_back(statsOf(block).median / pythonMedian);
        if (plainOk && !plainBlock.empty())
            plainRatios.push_back(statsOf(block).median / statsOf(plainBlock).median);
    }
    const Stats plain = statsOf(plainTimes);
    const Stats linkStats = statsOf(roundTrips);
    const Stats python = statsOf(pythonTimes);
    // Each reconnect started a new reader, named after the worker that
    // started it.
    for (int tid : threadIds())
        if (tid != getpid() && tid != workerTid && tid != heartbeatTid)
            nameThread(tid, "serial reader");
    pythonOk = pythonOk && !pythonTimes.empty();

    // --- idle ----------------------------------------------------------------
    struct Snapshot {
        rusage self{};
        std::vector<std::pair<int, ThreadUsage>> threads;
        long long simVoluntary = 0;
        long long simNanoseconds = 0;
        Clock::time_point at;
    };
    const std::string simTasks = "/proc/" + std::to_string(sim.pid) + "/task";
    // Reading /proc costs the main thread some CPU; the whole-process
    // figures are taken innermost, so that cost stays outside the window.
    auto snapshot = [&](bool start) {
        Snapshot s;
        if (!start) {
            s.at = Clock::now();
            getrusage(RUSAGE_SELF, &s.self);
        }
        for (int tid : threadIds())
            s.threads.emplace_back(tid, threadUsage("/proc/self/task", tid));
        for (int tid : threadIds(simTasks)) {
            const ThreadUsage u = threadUsage(simTasks, tid);
            s.simVoluntary += u.voluntary;
            s.simNanoseconds += u.cpuNanoseconds;
        }
        if (start) {
            getrusage(RUSAGE_SELF, &s.self);
            s.at = Clock::now();
        }
        return s;
    };
    // The snapshots allocate; the count covers only the time between them.
    const Snapshot idleStart = snapshot(true);
    const std::uint64_t idleAllocationsBefore = allocationCount.load();
    std::this_thread::sleep_for(std::chrono::seconds(o.idleSeconds));
    const std::uint64_t idleAllocations = allocationCount.load() - idleAllocationsBefore;
    const Snapshot idleEnd = snapshot(false);
    const double idleSeconds = std::chrono::duration<double>(idleEnd.at - idleStart.at).count();
    auto cpuSeconds = [](const rusage& r) {
        return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    const double idleCpu = cpuSeconds(idleEnd.self) - cpuSeconds(idleStart.self);
    const double idleCpuPercent = 100.0 * idleCpu / idleSeconds;
    const double wakeups = static_cast<double>(idleEnd.self.ru_nvcsw - idleStart.self.ru_nvcsw) / idleSeconds;
    const double preempted = static_cast<double>(idleEnd.self.ru_nivcsw - idleStart.self.ru_nivcsw) / idleSeconds;
    const double allowedWakeups = 1000.0 / kv7::HeartBeatTimer::periodMs   // the heartbeat thread
                                  + 1000.0 / kv7::HeartBeatTimer::periodMs // the worker, woken by each tick
                                  + 1000.0 / 200.0;                        // the reader's 200 ms wait

    // --- disconnect and shutdown --------------------------------------------
    const std::uint64_t closed = probe.statusCount(kv7::Status::ConnectionClosed);
    auto t = Clock::now();
    link.disconnect();
    probe.waitForStatus(kv7::Status::ConnectionClosed, closed + 1, 5s);
    disconnects.push_back(msBetween(t, Clock::now()));
    model.connect(1, 115200);
    probe.waitForConfigurations(probe.configurationCount() + 1, 15s);
    t = Clock::now();
    heartbeat.clearListener();
    heartbeat.stop();
    link.stopThreads();
    const double shutdownMs = msBetween(t, Clock::now());
    stopChild(sim);

    // --- report --------------------------------------------------------------
    std::printf("\n");
    if (connectOk) {
        const Stats total = statsOf(totals);
        const Stats over = statsOf(overheads);
        std::printf("connect sequence (%d runs, 500 ms settle, real heartbeat):\n", connects);
        std::printf("  total median %.1f ms, max %.1f ms\n", total.median, total.max);
        std::printf("  floor = 500 ms settle + pause to the second tick after the identify reply "
                    "(%.1f ms last run) + 7 x %.3f ms round trip\n", lastPause, rttMs);
        std::printf("  above the floor: median %.2f ms, max %.2f ms   target < 50 ms: %s\n", over.median, over.max,
                    verdict(over.max < 50.0));
        std::printf("    of which (last run): settle and port open %.2f ms, tick to ReadDeviceByte %.2f ms, "
                    "six replies beyond their round trips %.2f ms\n", lastSettle, lastTickToSend, lastRest);
        const Stats disc = statsOf(disconnects);
        std::printf("disconnect: median %.2f ms, max %.2f ms (%zu runs)\n", disc.median, disc.max, disconnects.size());
    }
    if (roundTripOk) {
        std::printf("round trip readEncoders(0) -> the reading on the waiting thread, %zu runs in %d blocks taking turns with the "
                    "one-thread and python3-serial loops:\n", roundTrips.size(), blocks);
        std::printf("  link            median %7.1f us   p99 %7.1f us   max %7.1f us\n", linkStats.median,
                    linkStats.p99, linkStats.max);
        if (pythonOk) {
            std::printf("  python3-serial  median %7.1f us   p99 %7.1f us   max %7.1f us\n", python.median, python.p99,
                        python.max);
            std::printf("  ratio link / python3-serial: median %.2f, p99 %.2f; per block:", linkStats.median / python.median,
                        linkStats.p99 / python.p99);
            for (double r : blockRatios)
                std::printf(" %.2f", r);
            std::printf("\n  target median no slower than python3-serial: %s\n",
                        verdict(linkStats.median <= python.median));
        }
        if (plainOk && !plainTimes.empty()) {
            std::printf("  one-thread C++ loop (this program, no link) median %7.1f us   p99 %7.1f us   max %7.1f us\n",
                        plain.median, plain.p99, plain.max);
            std::printf("  ratio link / one-thread loop: median %.2f; per block:", linkStats.median / plain.median);
            for (double r : plainRatios)
                std::printf(" %.2f", r);
            std::printf("\n");
        }
        std::printf("  target p99 under 2 ms: %s\n", verdict(linkStats.p99 < 2000.0));
        std::printf("  where the link's time goes (medians): call to frame written %.1f us, on the line and in the "
                    "controller until the reader has the reply %.1f us, reader to onMountState %.1f us, "
                    "onMountState to the waiting thread %.1f us\n",
                    statsOf(toWorker).median, statsOf(onLine).median, statsOf(fromReader).median,
                    statsOf(toWindow).median);
        std::printf("heap allocations during the %zu round trips: %llu   target 0: %s\n", roundTrips.size(),
                    static_cast<unsigned long long>(allocations), verdict(allocations == 0));
        if (allocations > 0)
            printTraces();
    }
    std::printf("idle, connected, %.1f s:\n", idleSeconds);
    std::printf("  CPU %.4f %% of one core (%.1f ms)   target < 0.1 %%: %s\n", idleCpuPercent, idleCpu * 1000.0,
                verdict(idleCpuPercent < 0.1));
    std::printf("  wake-ups %.2f /s (voluntary context switches; %.2f /s preempted)   allowed %.2f /s: %s\n", wakeups,
                preempted, allowedWakeups, verdict(wakeups <= allowedWakeups + 0.5));
    for (const auto& [tid, end] : idleEnd.threads) {
        const auto it = std::find_if(idleStart.threads.begin(), idleStart.threads.end(),
                                     [&](const auto& p) { return p.first == tid; });
        if (it == idleStart.threads.end())
            continue;
        std::printf("    %-14s %6.2f wake-ups/s, CPU %.2f ms\n", tid == getpid() ? "bench itself" : end.name.c_str(),
                    (end.voluntary - it->second.voluntary) / idleSeconds,
                    (end.cpuNanoseconds - it->second.cpuNanoseconds) / 1e6);
    }
    std::printf("  heap allocations while idle: %llu\n", static_cast<unsigned long long>(idleAllocations));
    std::printf("  (the kv7sim process meanwhile: %.1f wake-ups/s, CPU %.3f %%)\n",
                (idleEnd.simVoluntary - idleStart.simVoluntary) / idleSeconds,
                100.0 * (idleEnd.simNanoseconds - idleStart.simNanoseconds) / 1e9 / idleSeconds);
    std::printf("shutdown (heartbeat stop, link threads joined, port closed): %.2f ms\n", shutdownMs);
    return connectOk && roundTripOk ? 0 : 1;
}
