// kv7ctl: the controller link from the command line.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/Codes.h"
#include "cli/CliOptions.h"
#include "cli/Ports.h"
#include "cli/Runner.h"
#include "platform/AtomicFile.h"
#include "platform/SettingsFile.h"

#ifdef _WIN32
#include <io.h>

#include "platform/win32/WindowsPortCatalog.h"
#include "sim/hosts/win32/PipeSimulator.h"
#else
#include <unistd.h>

#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"
#endif

namespace {

bool inputIsTerminal()
{
#ifdef _WIN32
    return ::_isatty(::_fileno(stdin)) != 0;
#else
    return ::isatty(STDIN_FILENO) != 0;
#endif
}

int askOnTerminal(std::int32_t kind)
{
    if (!inputIsTerminal())
        return -1;
    const bool withoutOffered = kv7::offersWithoutFlip(kind);
    std::cerr << kv7::cli::flipQuestion(kind) << "\n"
              << "  f  position with meridian flip\n"
              << (withoutOffered ? "  n  position without meridian flip\n" : "") << "  c  cancel positioning\n"
              << "Choice: " << std::flush;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "f")
            return kv7::FlipAnswer::WithFlip;
        if (line == "n" && withoutOffered)
            return kv7::FlipAnswer::WithoutFlip;
        if (line == "c")
            return kv7::FlipAnswer::Cancel;
        std::cerr << "Choice (f" << (withoutOffered ? ", n" : "") << " or c): " << std::flush;
    }
    return -1;
}

// Ctrl-C asks the running command to stop the mount and end; a second one
// ends the program at once.
volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onInterrupt(int)
{
    stopRequested = 1;
    std::signal(SIGINT, SIG_DFL);
}

int confirmOnTerminal(const std::string& question)
{
    if (!inputIsTerminal())
        return -1;
    std::cerr << question << std::flush;
    std::string line;
    if (!std::getline(std::cin, line))
        return 0;
    return line == "y" || line == "Y" || line == "yes" ? 1 : 0;
}

// Output that never reached its file (a full disk, a closed descriptor) is
// a failure a script must see; the stream only tells when asked.
int checkedOutput(int exitCode)
{
    errno = 0;
    std::cout.flush();
    const bool streamFailed = !std::cout;
    const bool flushFailed = std::fflush(stdout) != 0;
    const int error = errno;
    if (!streamFailed && !flushFailed && !std::ferror(stdout))
        return exitCode;
    std::cerr << "kv7ctl: cannot write the output" << (error ? std::string(": ") + std::strerror(error) : "")
              << "\n";
    return exitCode == 0 ? 1 : exitCode;
}

// The command with this platform's ports and built-in simulator (port 0).
int runOnThisPlatform(const kv7::cli::Options& options, kv7::cli::Environment& env)
{
#ifdef _WIN32
    kv7::sim::PipeHost::Options simOptions;
    simOptions.timeScale = options.simTimeScale;
    kv7::sim::PipeSimulator simulator(simOptions);
    kv7::WindowsPortCatalog catalog;
    catalog.setSimulator(&simulator);
    env.addDevice = [](const std::string& name) { return kv7::cli::comPortNumber(name); };
#else
    kv7::sim::PtyHost::Options simOptions;
    simOptions.timeScale = options.simTimeScale;
    kv7::sim::BuiltInSimulator simulator(simOptions);
    kv7::LinuxPortCatalog catalog;
    catalog.setSimulator(&simulator);
    env.addDevice = [&](const std::string& path) { return catalog.addDevice(path); };
#endif
    env.catalog = &catalog;
    return kv7::cli::runCommand(options, env);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const kv7::cli::ParseResult parsed = kv7::cli::parseCommandLine(args);
    if (!parsed.ok) {
        std::cerr << "kv7ctl: " << parsed.error << "\n";
        return 2;
    }
    kv7::cli::Environment env;
    env.out = &std::cout;
    env.err = &std::cerr;
    env.in = &std::cin;
    env.commandLine = args;
    env.askOperator = askOnTerminal;
    env.confirm = confirmOnTerminal;
    env.readFile = kv7::atomicfile::readNamed;
    env.writeFile = kv7::atomicfile::replace;
    std::signal(SIGINT, onInterrupt);
    env.interrupted = [] { return stopRequested != 0; };
    kv7::SettingsFile settings(kv7::defaultSettingsPath());
    if (!settings.path().empty()) {
        env.settings = &settings;
        env.settingsPath = settings.path();
    }
    return checkedOutput(runOnThisPlatform(parsed.options, env));
}
