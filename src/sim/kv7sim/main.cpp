// kv7sim: a virtual KV7 controller on a pseudo-terminal.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "protocol/DeviceProtocol.h"
#include "sim/hosts/FileStateStore.h"
#include "sim/hosts/PtyHost.h"
#include "sim/kv7sim/SimOptions.h"

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

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    SimToolOptions options;
    std::string error;
    switch (parseSimCommandLine(args, options, error)) {
    case ParseOutcome::Help:
        std::fputs(simUsage().c_str(), stdout);
        return 0;
    case ParseOutcome::Error:
        std::fprintf(stderr, "kv7sim: %s\nTry 'kv7sim --help' for more information.\n", error.c_str());
        return 2;
    case ParseOutcome::Run: break;
    }

    // Blocked before the host thread starts, so that only sigtimedwait below
    // ever sees these signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    LinkLock linkLock;
    if (!options.linkPath.empty() && !linkLock.acquire(options.linkPath, error)) {
        std::fprintf(stderr, "kv7sim: %s\n", error.c_str());
        return 1;
    }

    PtyHost::Options hostOptions;
    hostOptions.config = options.config;
    if (!options.statePath.empty())
        hostOptions.config.stateStore = std::make_shared<FileStateStore>(options.statePath);
    hostOptions.timeScale = options.timeScale;
    PtyHost host(hostOptions);

    FrameLog log;
    const std::string stateError = host.withController([&](VirtualController& c) {
        for (const std::string& problem : c.loadProblems())
            std::fprintf(stderr, "kv7sim: %s: %s\n", options.statePath.c_str(), problem.c_str());
        return c.stateError();
    });
    // Running on factory settings would hide the user's stored ones, and the
    // first store would be refused anyway.
    if (!stateError.empty()) {
        std::fprintf(stderr, "kv7sim: cannot use the state file: %s\n", stateError.c_str());
        return 1;
    }

    if (!host.start(&error)) {
        std::fprintf(stderr, "kv7sim: cannot open a pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    if (!options.linkPath.empty() && !makeLink(options.linkPath, host.path(), error)) {
        std::fprintf(stderr, "kv7sim: cannot make the link: %s\n", error.c_str());
        host.stop();
        return 1;
    }
    if (options.verbose) {
        host.withController([&](VirtualController& c) {
            log.attach(&c);
            c.setFrameObserver(&log);
            return 0;
        });
    }
    std::printf("%s\n", host.path().c_str());
    std::fflush(stdout);

    // Polled, and once more on the way out so that a store that failed just
    // before a stop is still reported.
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
    for (;;) {
        const timespec wait{0, 200 * 1000 * 1000};
        const int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if (signal > 0)
            break;
        if (host.hungUp()) {
            std::fprintf(stderr, "kv7sim: the device has vanished as asked (--fault vanish); exiting\n");
            break;
        }
        reportFailedStores();
    }
    reportFailedStores();

    if (!options.linkPath.empty())
        removeLink(options.linkPath, host.path());
    host.stop();
    return 0;
}
