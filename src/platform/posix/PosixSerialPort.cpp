#include "platform/posix/PosixSerialPort.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kv7 {

namespace {

speed_t speedFor(std::uint32_t baud)
{
    switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return 0;
    }
}

// How long a close waits for queued output to leave. A device that holds
// flow control against us must not hang the close.
constexpr auto drainLimit = std::chrono::seconds(2);
constexpr int drainStepMs = 2;

int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

PosixSerialPort::PosixSerialPort()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead = fds[0];
        wakeWrite = fds[1];
    }
}

PosixSerialPort::~PosixSerialPort()
{
    close();
    if (wakeRead >= 0)
        ::close(wakeRead);
    if (wakeWrite >= 0)
        ::close(wakeWrite);
}

void PosixSerialPort::wakeReader()
{
    if (wakeWrite < 0)
        return;
    const std::uint8_t b = 1;
    // A full pipe already holds a wake-up; nothing is lost.
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite, &b, 1);
}

void PosixSerialPort::drainWake()
{
    std::uint8_t sink[64];
    while (::read(wakeRead, sink, sizeof sink) > 0) {
    }
}

bool PosixSerialPort::open(const char* device, std::uint32_t baud)
{
    close();
    const speed_t speed = speedFor(baud);
    if (!device || !*device || speed == 0)
        return false;
    // Non-blocking so that neither open (modem lines) nor any later call can
    // hang; every wait goes through poll with a time-out.
    lastOpenError = OpenError::CannotOpen;
    const int handle = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        if (errno == EBUSY)   // another process set TIOCEXCL on it
            lastOpenError = OpenError::InUse;
        return false;
    }
    // Two programs on one line would each take the other's replies. The
    // advisory lock is what other serial tools honour (and what stops root,
    // whom TIOCEXCL does not); TIOCEXCL keeps out the rest.
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            lastOpenError = OpenError::InUse;
        ::close(handle);
        return false;
    }
    ::ioctl(handle, TIOCEXCL);
    termios tio{};
    if (::tcgetattr(handle, &tio) != 0) {
        ::close(handle);
        return false;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    if (::tcsetattr(handle, TCSANOW, &tio) != 0) {
        ::close(handle);
        return false;
    }
    // Stale input is ours to drop; output is not, since flushing it would
    // also discard what the last program to close the line left unread.
    ::tcflush(handle, TCIFLUSH);
    if (wakeRead >= 0)
        drainWake();   // a wake-up meant for the previous connection's reader
    lastOpenError = OpenError::None;
    discarded = 0;
    fd = handle;
    return true;
}

void PosixSerialPort::close()
{
    const int handle = fd.exchange(-1);
    if (handle < 0)
        return;
    discarded = drainOutput(handle);
    // Flushing output also throws away what a pseudo-terminal's other side
    // has not read yet, so it is done only when something is known to be
    // stuck; input is ours to drop.
    ::tcflush(handle, discarded > 0 ? TCIOFLUSH : TCIFLUSH);
    ::ioctl(handle, TIOCNXCL);
    ::close(handle);
}

std::size_t PosixSerialPort::drainOutput(int handle)
{
    const auto deadline = std::chrono::steady_clock::now() + drainLimit;
    for (;;) {
        int queued = 0;
        if (::ioctl(handle, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return 0;
        if (std::chrono::steady_clock::now() >= deadline)
            return static_cast<std::size_t>(queued);
        ::poll(nullptr, 0, drainStepMs);
    }
}

bool PosixSerialPort::write(const std::uint8_t* data, std::size_t length, int timeoutMs)
{
    const int handle = fd.load();
    if (handle < 0)
        return false;
    // Whatever has not left by the deadline is abandoned here and now, so
    // no write outlives the caller's buffer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(handle, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const int wait = remainingMs(deadline);
        if (wait == 0)
            return false;
        pollfd p{handle, POLLOUT, 0};
        if (::poll(&p, 1, wait) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

int PosixSerialPort::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    const int handle = fd.load();
    if (handle < 0)
        return -1;
    pollfd p[2] = {{handle, POLLIN, 0}, {wakeRead, POLLIN, 0}};
    const int ready = ::poll(p, wakeRead >= 0 ? 2 : 1, timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    if (wakeRead >= 0 && (p[1].revents & POLLIN))
        drainWake();
    if (p[0].revents == 0)
        return 0;
    if (p[0].revents & POLLIN) {
        const ssize_t n = ::read(handle, buffer, capacity);
        if (n > 0)
            return static_cast<int>(n);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return 0;
        return -1;   // end of file or an error: the device has gone
    }
    // POLLHUP or POLLERR without data: the other end of a pseudo-terminal
    // has gone away, or the device was unplugged.
    return -1;
}

}  // namespace kv7
