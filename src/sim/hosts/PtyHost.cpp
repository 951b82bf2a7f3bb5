#include "sim/hosts/PtyHost.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace kv7::sim {

namespace {

// A vanishing device's last reply is given this long to be read before the
// terminal hangs up, and at most hangUpGraceMs.
constexpr int hangUpLingerMs = 50;
constexpr int hangUpGraceMs = 1000;

std::string failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

PtyHost::PtyHost() : PtyHost(Options{}) {}

PtyHost::PtyHost(const Options& o) : HostedController(o) {}

PtyHost::~PtyHost() { stop(); }

bool PtyHost::start(std::string* error)
{
    if (thread.joinable() || master.valid())
        return refuse(error, "already started");

    UniqueFd m(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m.valid())
        return refuse(error, failure("posix_openpt"));
    if (::grantpt(m.get()) != 0 || ::unlockpt(m.get()) != 0)
        return refuse(error, failure("unlocking the pseudo-terminal"));
    char name[128] = {};
    if (::ptsname_r(m.get(), name, sizeof name) != 0)
        return refuse(error, failure("ptsname_r"));
    UniqueFd s(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!s.valid())
        return refuse(error, failure(name));

    // Raw from the start: no echo, no line editing, no CR/LF translation,
    // so bytes pass untouched even before a client sets its own modes.
    termios tio{};
    if (::tcgetattr(s.get(), &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(s.get(), TCSANOW, &tio);
    }
    const int flags = ::fcntl(m.get(), F_GETFL);
    ::fcntl(m.get(), F_SETFL, flags | O_NONBLOCK);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return refuse(error, failure("pipe2"));
    wakeRead.reset(pipeFds[0]);
    wakeWrite.reset(pipeFds[1]);

    master = std::move(m);
    slave = std::move(s);
    slavePath = name;
    thread = std::thread([this] { run(); });
    return true;
}

void PtyHost::stop()
{
    stopRequested = true;
    wakeThread();
    if (thread.joinable())
        thread.join();
    master.reset();
    slave.reset();
}

void PtyHost::wakeThread()
{
    if (!wakeWrite.valid())
        return;
    const std::uint8_t b = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite.get(), &b, 1);
}

void PtyHost::run()
{
    std::vector<std::uint8_t> pending;
    auto vanishSince = Clock::now();
    bool vanishing = false;
    std::uint8_t buffer[512];
    // On a paced line a frame's last byte falls due to the microsecond: the
    // kernel's default slack of 50 us on every timed wait would be added to
    // each exchange.
    if (options.lineRate != 0)
        ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    while (!stopRequested.load()) {
        std::chrono::microseconds timeout = waitLimit();
        if (!pending.empty())
            timeout = std::min<std::chrono::microseconds>(timeout, std::chrono::milliseconds(1));
        // Waking from a timed wait takes tens of microseconds on a busy
        // machine, as much as a byte at 115200 baud: while bytes are on a
        // paced line the thread wakes a little early and looks until they
        // are due, so they leave on time.
        if (options.lineRate != 0 && bytesOnLine())
            timeout = timeout <= spinMargin ? std::chrono::microseconds(0) : timeout - spinMargin;
        const timespec wait{static_cast<time_t>(timeout.count() / 1000000),
                            static_cast<long>(timeout.count() % 1000000) * 1000};

        const short input = takesInput() ? POLLIN : 0;
        pollfd fds[2] = {{wakeRead.get(), POLLIN, 0}, {master.valid() ? master.get() : -1, input, 0}};
        if (::ppoll(fds, 2, &wait, nullptr) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            while (::read(wakeRead.get(), buffer, sizeof buffer) > 0) {
            }
        }
        const auto now = Clock::now();
        if (master.valid() && (fds[1].revents & POLLIN)) {
            const ssize_t n = ::read(master.get(), buffer, sizeof buffer);
            if (n > 0)
                receiveFromClient(buffer, static_cast<std::size_t>(n), now);
        }
        catchUp(now, pending);
        pump(pending);

        bool vanish;
        {
            std::lock_guard<std::mutex> guard(mutex);
            vanish = controller.vanished() && !controller.hasQueuedOutput() && !repliesOnLine();
        }
        if (vanish && pending.empty() && master.valid()) {
            // Hanging up discards what the client has not read yet, so the
            // last reply is given a moment to be taken first. The terminal
            // moves written bytes to the other side asynchronously, so an
            // empty input queue only counts after a short linger.
            if (!vanishing)
                vanishSince = now;
            vanishing = true;
            int unread = 0;
            const auto waited = now - vanishSince;
            const bool taken = ::ioctl(slave.get(), FIONREAD, &unread) == 0 && unread == 0;
            if ((taken && waited > std::chrono::milliseconds(hangUpLingerMs)) ||
                waited > std::chrono::milliseconds(hangUpGraceMs))
                hangUp();
        }
    }
}

void PtyHost::pump(std::vector<std::uint8_t>& pending)
{
    if (pending.empty() || !master.valid())
        return;
    const ssize_t n = ::write(master.get(), pending.data(), pending.size());
    if (n > 0)
        pending.erase(pending.begin(), pending.begin() + n);
}

void PtyHost::hangUp()
{
    // Closing both ends makes the device disappear: the client's next read
    // sees the hang-up, as when a USB adapter is pulled.
    master.reset();
    slave.reset();
    {
        std::lock_guard<std::mutex> guard(mutex);
        hangUpDone = true;
    }
    changed.notify_all();
}

}  // namespace kv7::sim
