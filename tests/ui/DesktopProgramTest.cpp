// kv7-encoder-setup started as a process where it cannot open its window:
// what a user who starts it from the wrong terminal sees.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    bool exited = false;
    int exitCode = -1;
    std::string err;
};

std::string slurp(const std::string& path)
{
    std::string s;
    if (FILE* f = std::fopen(path.c_str(), "r")) {
        char b[4096];
        std::size_t n;
        while ((n = std::fread(b, 1, sizeof b, f)) > 0)
            s.append(b, n);
        std::fclose(f);
    }
    return s;
}

// Runs the program under `env ENVIRONMENT`, with nothing on stdin.
Result runProgram(const std::string& environment)
{
    char dir[] = "/tmp/kv7-desktop-testXXXXXX";
    Result r;
    if (!::mkdtemp(dir))
        return r;
    const std::string err = std::string(dir) + "/err";
    const std::string cmd = "env " + environment + " " + KV7_DESKTOP_PATH + " </dev/null >/dev/null 2>" + err;
    const int status = std::system(cmd.c_str());
    r.exited = WIFEXITED(status);
    r.exitCode = r.exited ? WEXITSTATUS(status) : -1;
    r.err = slurp(err);
    std::remove(err.c_str());
    ::rmdir(dir);
    return r;
}

TEST(DesktopProgram, WithoutAReachableDisplayItSaysSoAndLeavesAsWithNoDisplayAtAll)
{
    struct Case {
        const char* environment;
        const char* why;
    };
    const Case cases[] = {
        {"-u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u DISPLAY", "neither DISPLAY nor WAYLAND_DISPLAY is set"},
        {"-u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY=:99999",
         "the display DISPLAY names, :99999, cannot be reached"},
        {"-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=no-such-platform",
         "Qt cannot start its platform \"no-such-platform\""},
    };
    const Result none = runProgram(cases[0].environment);
    for (const Case& c : cases) {
        const Result r = runProgram(c.environment);
        EXPECT_TRUE(r.exited) << c.environment << ": ended by a signal";
        EXPECT_EQ(r.exitCode, none.exitCode) << c.environment;
        EXPECT_EQ(r.err.rfind("kv7-encoder-setup: no display to open the window on (" + std::string(c.why) + ").\n", 0),
                  0u)
            << c.environment << ":\n"
            << r.err;
        EXPECT_NE(r.err.find("QT_QPA_PLATFORM=offscreen"), std::string::npos) << r.err;
    }
    EXPECT_EQ(none.exitCode, 0);
}

}  // namespace
