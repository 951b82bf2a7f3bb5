#include "sim/hosts/win32/PipeHost.h"

#include <algorithm>
#include <cmath>

namespace kv7::sim {

namespace {

constexpr DWORD pipeBufferSize = 1 << 16;
// A vanishing device's last reply is given this long to be read before the
// pipe closes; closing keeps unread bytes readable, this only orders them.
constexpr auto hangUpLinger = std::chrono::milliseconds(50);

std::atomic<unsigned> pipeCounter{0};

std::string lastErrorText(const char* what)
{
    return std::string(what) + " failed, error " + std::to_string(::GetLastError());
}

// Gives the kernel back an operation, and waits until it no longer uses
// the buffer, before the buffer goes out of scope.
void cancelAndSettle(HANDLE file, OVERLAPPED& overlapped, bool& pending)
{
    if (!pending)
        return;
    ::CancelIoEx(file, &overlapped);
    DWORD n = 0;
    ::GetOverlappedResult(file, &overlapped, &n, TRUE);
    pending = false;
}

// One client's reads and writes on the pipe, each overlapped with an event
// of its own. Whatever is still in progress is cancelled and settled on the
// way out, before the buffers go.
struct PipeTraffic {
    explicit PipeTraffic(HANDLE p) : pipe(p), readDone(makeEvent()), writeDone(makeEvent()) {}
    ~PipeTraffic()
    {
        cancelAndSettle(pipe, readOverlapped, reading);
        cancelAndSettle(pipe, writeOverlapped, writing);
    }
    PipeTraffic(const PipeTraffic&) = delete;
    PipeTraffic& operator=(const PipeTraffic&) = delete;

    bool ready() const { return readDone.valid() && writeDone.valid(); }

    // A read that completes at once still signals its event, so both cases
    // are handled by the caller's wait.
    bool startRead()
    {
        ::ResetEvent(readDone.get());
        readOverlapped = OVERLAPPED{};
        readOverlapped.hEvent = readDone.get();
        reading = ::ReadFile(pipe, input, sizeof input, nullptr, &readOverlapped) || ::GetLastError() == ERROR_IO_PENDING;
        return reading;
    }

    // Hands a finished read to received and starts the next; false once the
    // client has gone.
    template <typename Received>
    bool takeRead(Received&& received)
    {
        if (::WaitForSingleObject(readDone.get(), 0) != WAIT_OBJECT_0)
            return true;
        DWORD n = 0;
        const BOOL ok = ::GetOverlappedResult(pipe, &readOverlapped, &n, FALSE);
        reading = false;
        if (!ok)
            return false;
        if (n > 0)
            received(input, static_cast<std::size_t>(n));
        return startRead();
    }

    bool finishWrite()
    {
        if (!writing || ::WaitForSingleObject(writeDone.get(), 0) != WAIT_OBJECT_0)
            return true;
        DWORD n = 0;
        const BOOL ok = ::GetOverlappedResult(pipe, &writeOverlapped, &n, FALSE);
        writing = false;
        return ok;
    }

    // Takes everything pending as the next write.
    bool startWrite(std::vector<std::uint8_t>& pending)
    {
        inFlight.swap(pending);
        pending.clear();
        ::ResetEvent(writeDone.get());
        writeOverlapped = OVERLAPPED{};
        writeOverlapped.hEvent = writeDone.get();
        writing = ::WriteFile(pipe, inFlight.data(), static_cast<DWORD>(inFlight.size()), nullptr, &writeOverlapped) ||
                  ::GetLastError() == ERROR_IO_PENDING;
        return writing;
    }

    HANDLE pipe;
    WinHandle readDone;
    WinHandle writeDone;
    OVERLAPPED readOverlapped{};
    OVERLAPPED writeOverlapped{};
    bool reading = false;
    bool writing = false;
    std::uint8_t input[512];
    std::vector<std::uint8_t> inFlight;   // the write in progress
};

}  // namespace

PipeHost::PipeHost() : PipeHost(Options{}) {}

PipeHost::PipeHost(const Options& o) : HostedController(o) {}

PipeHost::~PipeHost() { stop(); }

bool PipeHost::start(std::string* error)
{
    if (thread.joinable() || pipe.valid())
        return refuse(error, "already started");

    stopEvent = makeEvent(true);
    wakeEvent = makeEvent(false);
    if (!stopEvent.valid() || !wakeEvent.valid())
        return refuse(error, lastErrorText("CreateEvent"));

    // The process id and a counter keep names apart between programs and
    // between hosts of one program; the first-instance flag makes sure no
    // other process has already taken the name and would get our client.
    const std::string name = "\\\\.\\pipe\\kv7sim-" + std::to_string(::GetCurrentProcessId()) + "-" +
                             std::to_string(pipeCounter.fetch_add(1) + 1);
    WinHandle p(::CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                   PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                   pipeBufferSize, pipeBufferSize, 0, nullptr));
    if (!p.valid())
        return refuse(error, lastErrorText("CreateNamedPipe"));
    pipe = std::move(p);
    pipePath = name;
    thread = std::thread([this] { run(); });
    return true;
}

void PipeHost::stop()
{
    stopRequested = true;
    if (stopEvent.valid())
        ::SetEvent(stopEvent.get());
    if (thread.joinable())
        thread.join();
    pipe.reset();
    setListening(false);
}

void PipeHost::setListening(bool value)
{
    {
        std::lock_guard<std::mutex> guard(mutex);
        listening = value;
    }
    changed.notify_all();
}

bool PipeHost::waitUntilListening(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> guard(mutex);
    changed.wait_for(guard, limit, [this] { return listening || hangUpDone.load() || stopRequested.load(); });
    return listening;
}

void PipeHost::wakeThread()
{
    if (wakeEvent.valid())
        ::SetEvent(wakeEvent.get());
}

void PipeHost::run()
{
    while (!stopRequested.load()) {
        if (!awaitClient())
            break;
        const SessionEnd end = serve();
        if (end == SessionEnd::Vanished) {
            hangUp();
            break;
        }
        if (end == SessionEnd::Stop)
            break;
        // The next client starts on a quiet line, as after a port's flush:
        // no stale replies, no half-received command.
        ::DisconnectNamedPipe(pipe.get());
        std::lock_guard<std::mutex> guard(mutex);
        controller.readAll();
        controller.dropPartialFrame();
    }
}

bool PipeHost::awaitClient()
{
    WinHandle connected = makeEvent();
    if (!connected.valid())
        return false;
    while (!stopRequested.load()) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = connected.get();
        ::ResetEvent(connected.get());
        if (::ConnectNamedPipe(pipe.get(), &overlapped))
            return true;
        const DWORD error = ::GetLastError();
        if (error == ERROR_PIPE_CONNECTED)
            return true;
        if (error == ERROR_NO_DATA) {
            // A client came and went before we looked: clear its end and listen again.
            ::DisconnectNamedPipe(pipe.get());
            continue;
        }
        if (error != ERROR_IO_PENDING)
            return false;

        bool pending = true;
        setListening(true);
        const HANDLE waits[] = {stopEvent.get(), connected.get()};
        const DWORD which = ::WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        setListening(false);
        if (which != WAIT_OBJECT_0 + 1) {
            cancelAndSettle(pipe.get(), overlapped, pending);
            return false;
        }
        DWORD n = 0;
        if (::GetOverlappedResult(pipe.get(), &overlapped, &n, FALSE))
            return true;
        ::DisconnectNamedPipe(pipe.get());
    }
    return false;
}

PipeHost::SessionEnd PipeHost::serve()
{
    PipeTraffic traffic(pipe.get());
    if (!traffic.ready() || !traffic.startRead())
        return traffic.ready() ? SessionEnd::ClientLeft : SessionEnd::Stop;
    std::vector<std::uint8_t> pending;   // replies not yet handed to the pipe
    auto vanishSince = Clock::now();
    bool vanishing = false;
    for (;;) {
        const HANDLE waits[] = {stopEvent.get(), traffic.readDone.get(), wakeEvent.get(), traffic.writeDone.get()};
        const DWORD which = ::WaitForMultipleObjects(traffic.writing ? 4 : 3, waits, FALSE,
                                                     static_cast<DWORD>(waitLimitMs()));
        if (which == WAIT_OBJECT_0)
            return SessionEnd::Stop;
        const auto now = Clock::now();
        // A failed read or write: the client has closed its end.
        if (!traffic.takeRead([&](const std::uint8_t* bytes, std::size_t n) { receiveFromClient(bytes, n, now); }) ||
            !traffic.finishWrite())
            return SessionEnd::ClientLeft;
        catchUp(now, pending);
        if (!traffic.writing && !pending.empty() && !traffic.startWrite(pending))
            return SessionEnd::ClientLeft;

        bool vanish;
        {
            std::lock_guard<std::mutex> guard(mutex);
            vanish = controller.vanished() && !controller.hasQueuedOutput();
        }
        if (vanish && pending.empty() && !traffic.writing) {
            if (!vanishing)
                vanishSince = now;
            vanishing = true;
            if (now - vanishSince > hangUpLinger)
                return SessionEnd::Vanished;
        }
    }
}

void PipeHost::hangUp()
{
    // Closing the server end makes the device disappear: the client's next
    // read fails, as when a USB adapter is pulled.
    pipe.reset();
    {
        std::lock_guard<std::mutex> guard(mutex);
        hangUpDone = true;
        listening = false;
    }
    changed.notify_all();
}

}  // namespace kv7::sim
