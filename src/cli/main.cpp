// kv7ctl: the controller link from the command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/CliOptions.h"
#include "cli/Runner.h"
#include "platform/posix/LinuxPortCatalog.h"
#include "sim/BuiltInSimulator.h"

namespace {

int askOnTerminal(std::int32_t kind)
{
    if (!::isatty(STDIN_FILENO))
        return -1;
    const bool withoutOffered = kind == 2 || kind == 3;
    std::cerr << kv7::cli::flipQuestion(kind) << "\n"
              << "  f  position with meridian flip\n"
              << (withoutOffered ? "  n  position without meridian flip\n" : "") << "  c  cancel positioning\n"
              << "Choice: " << std::flush;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (line == "f")
            return 2;
        if (line == "n" && withoutOffered)
            return 1;
        if (line == "c")
            return 0;
        std::cerr << "Choice (f" << (withoutOffered ? ", n" : "") << " or c): " << std::flush;
    }
    return -1;
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

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    const kv7::cli::ParseResult parsed = kv7::cli::parseCommandLine(args);
    if (!parsed.ok) {
        std::cerr << "kv7ctl: " << parsed.error << "\n";
        return 2;
    }
    const kv7::cli::Options& options = parsed.options;

    kv7::sim::PtyHost::Options simOptions;
    simOptions.timeScale = options.simTimeScale;
    kv7::sim::BuiltInSimulator simulator(simOptions);
    kv7::LinuxPortCatalog catalog;
    catalog.setSimulator(&simulator);

    kv7::cli::Environment env;
    env.catalog = &catalog;
    env.addDevice = [&](const std::string& path) { return catalog.addDevice(path); };
    env.out = &std::cout;
    env.err = &std::cerr;
    env.askOperator = askOnTerminal;
    return checkedOutput(kv7::cli::runCommand(options, env));
}
