// kv7sim on POSIX: a pseudo-terminal, stopped by signals, with --link as a
// symbolic link guarded by a lock file.
#include "sim/kv7sim/System.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/UniqueFd.h"
#include "sim/hosts/PtyHost.h"

namespace kv7::sim::tool {

const DeviceWords deviceWords{
    "Runs a virtual KV7 mount controller on a pseudo-terminal and prints the\n"
    "terminal's device path on one line. Stop it with Ctrl-C (SIGINT) or SIGTERM.\n",
    "cannot open a pseudo-terminal",
    true,
};

std::unique_ptr<HostedController> makeHost(const HostOptions& options) { return std::make_unique<PtyHost>(options); }

namespace {

sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// A lock on a hidden file beside the --link path, held for the simulator's
// life: a second kv7sim given the same path is refused while this one runs,
// and the kernel drops the lock when its holder dies however it dies, so a
// link left behind by a killed simulator never blocks the next one. Hidden,
// because a name such as /dev/ttyUSB9.lock would be listed as a serial port.
class LinkLock {
public:
    LinkLock() = default;
    LinkLock(const LinkLock&) = delete;
    LinkLock& operator=(const LinkLock&) = delete;
    ~LinkLock() { release(); }

    bool acquire(const std::string& link, std::string& error)
    {
        const std::filesystem::path linkPath(link);
        if (!linkPath.has_filename()) {
            error = link + " does not name a file";
            return false;
        }
        lockPath = (linkPath.parent_path() / ("." + linkPath.filename().string() + ".lock")).string();
        // A holder that stops removes the file while it still holds it, so
        // a lock taken on a file that is no longer at the path guards
        // nothing: then try again on the file that is there now.
        for (int attempt = 0; attempt < 8; ++attempt) {
            UniqueFd candidate(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0644));
            struct stat held {};
            if (!candidate.valid() || ::fstat(candidate.get(), &held) != 0) {
                error = "cannot lock " + lockPath + ": " + std::strerror(errno);
                return false;
            }
            if (!S_ISREG(held.st_mode)) {
                error = "cannot lock " + lockPath + ": not a regular file";
                return false;
            }
            if (::flock(candidate.get(), LOCK_EX | LOCK_NB) != 0) {
                error = errno == EWOULDBLOCK ? link + " is in use by another kv7sim"
                                             : "cannot lock " + lockPath + ": " + std::strerror(errno);
                return false;
            }
            struct stat current {};
            if (::lstat(lockPath.c_str(), &current) == 0 && current.st_dev == held.st_dev &&
                current.st_ino == held.st_ino) {
                fd = std::move(candidate);
                return true;
            }
        }
        error = "cannot lock " + lockPath + ": it keeps being replaced";
        return false;
    }

    void release()
    {
        if (!fd.valid())
            return;
        ::unlink(lockPath.c_str());
        fd.reset();
    }

private:
    std::string lockPath;
    UniqueFd fd;
};

bool makeLink(const std::string& link, const std::string& target, std::string& error)
{
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        // A symlink left behind by an earlier run is replaced; anything else
        // is somebody's file.
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(target.c_str(), link.c_str()) != 0) {
        error = link + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void removeLink(const std::string& link, const std::string& target)
{
    char buffer[4096];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n < 0)
        return;
    buffer[n] = '\0';
    if (target == buffer)
        ::unlink(link.c_str());
}

}  // namespace

StopRequests::StopRequests()
{
    // Blocked in this thread, and so in every thread started after it.
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

StopRequests::~StopRequests() = default;

bool StopRequests::wait(std::chrono::milliseconds limit)
{
    const sigset_t set = stopSignals();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit);
    const timespec wait{static_cast<std::time_t>(seconds.count()),
                        static_cast<long>(std::chrono::nanoseconds(limit - seconds).count())};
    return sigtimedwait(&set, nullptr, &wait) > 0;
}

struct DeviceLink::State {
    LinkLock lock;
    std::string link;
    std::string device;   // what the link names once made
};

DeviceLink::DeviceLink() : state(std::make_unique<State>()) {}

DeviceLink::~DeviceLink() = default;

bool DeviceLink::claim(const std::string& path, std::string& error)
{
    if (!state->lock.acquire(path, error))
        return false;
    state->link = path;
    return true;
}

bool DeviceLink::make(const std::string& device, std::string& error)
{
    if (!makeLink(state->link, device, error))
        return false;
    state->device = device;
    return true;
}

void DeviceLink::remove()
{
    if (!state->device.empty())
        removeLink(state->link, state->device);
    state->device.clear();
}

}  // namespace kv7::sim::tool
