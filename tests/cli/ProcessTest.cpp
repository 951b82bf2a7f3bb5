// kv7ctl as a process, against kv7sim on a pseudo-terminal: the exit codes
// and streams a script sees.
#include <gtest/gtest.h>

#ifdef KV7_HAVE_SIM
#include <array>
#include <chrono>
#include <thread>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
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

// A temporary folder under /tmp named after prefix, removed with everything
// in it.
struct TempDir {
    explicit TempDir(const std::string& prefix)
    {
        std::string dir = "/tmp/" + prefix + "XXXXXX";
        path = ::mkdtemp(dir.data()) ? dir : "/nonexistent/" + prefix;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path;
};

// The settings folder of every kv7ctl these tests start: a directory of
// their own, never the user's.
const std::string& settingsHome()
{
    static const TempDir home("kv7ctl-config");
    return home.path;
}

// Runs kv7ctl with stdout sent where `toStdout` says (a shell redirection);
// by default into a file the result holds. Standard input is empty unless
// `input` is given.
Result runKv7ctl(const std::string& args, const std::string& toStdout = {}, const std::string& input = {})
{
    char dir[] = "/tmp/kv7ctl-testXXXXXX";
    Result r;
    if (!::mkdtemp(dir))
        return r;
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
    const std::string in = std::string(dir) + "/in";
    if (FILE* f = std::fopen(in.c_str(), "w")) {
        std::fputs(input.c_str(), f);
        std::fclose(f);
    }
    const std::string cmd = "XDG_CONFIG_HOME=" + settingsHome() + " " + std::string(KV7CTL_PATH) + " " + args + " " +
                            (toStdout.empty() ? ">" + out : toStdout) + " 2>" + err + " <" + in;
    const int status = std::system(cmd.c_str());
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    std::remove(in.c_str());
    ::rmdir(dir);
    return r;
}

// A kv7sim process; its first line of output is the device path.
class Kv7sim {
public:
    explicit Kv7sim(const std::string& args)
    {
        const std::string cmd = std::string("exec ") + KV7SIM_PATH + " " + args;
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::close(fds[0]);
            ::close(fds[1]);
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        char c;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            path += c;
        ::close(fds[0]);
    }
    ~Kv7sim() { stop(); }
    // Asks it to stop and returns its exit status (-1 when killed by a signal).
    int stop()
    {
        if (pid > 0)
            ::kill(pid, SIGTERM);
        return exitStatus(std::chrono::seconds(5));
    }
    // Its exit status once it has ended by itself; -1 when it has not within limit.
    int exitStatus(std::chrono::milliseconds limit)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (pid > 0 && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));   // polling a child: no event to wait on
        }
        return pid > 0 ? -1 : code;
    }
    std::string path;

private:
    pid_t pid = -1;
    int code = -1;
};

TEST(Kv7ctlProcess, HelpAndUsageErrors)
{
    Result r = runKv7ctl("--help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Usage: kv7ctl"), std::string::npos);
    r = runKv7ctl("goto --help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--no-flip"), std::string::npos);
    r = runKv7ctl("--port sim goto 12:00:00 95:00:00");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("out of range"), std::string::npos) << r.err;
    r = runKv7ctl("--bogus info");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("unknown option --bogus"), std::string::npos) << r.err;
}

// --version: the program's name and the project's version, whatever else
// is on the line, and nothing is started.
TEST(Kv7ctlProcess, VersionNamesTheProgramAndTheProjectVersion)
{
    const std::string expected = std::string("kv7ctl ") + KV7_PROJECT_VERSION;
    for (const char* args : {"--version", "--port sim --version info", "info --version"}) {
        const Result r = runKv7ctl(args);
        EXPECT_EQ(r.exitCode, 0) << args;
        EXPECT_TRUE(r.out.starts_with(expected + "\n") || r.out.starts_with(expected + " (")) << args << ": " << r.out;
        EXPECT_EQ(r.out.find("Controller"), std::string::npos) << args;
    }
    std::FILE* sim = ::popen((std::string(KV7SIM_PATH) + " --version").c_str(), "r");
    ASSERT_NE(sim, nullptr);
    char line[256] = {};
    const bool read = std::fgets(line, sizeof line, sim) != nullptr;
    EXPECT_EQ(::pclose(sim), 0);
    ASSERT_TRUE(read);
    EXPECT_TRUE(std::string(line).starts_with(std::string("kv7sim ") + KV7_PROJECT_VERSION)) << line;
}

TEST(Kv7ctlProcess, TheSiteIsKeptInTheSettingsFolderAcrossRuns)
{
    Result r = runKv7ctl("site set -33:51:24 151.2153");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string file = settingsHome() + "/kv7/settings.ini";
    EXPECT_EQ(r.out, "Site saved: latitude -33.85666666666667, longitude 151.2153 (" + file + ")\n");
    r = runKv7ctl("site");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Site: latitude -33.85666666666667, longitude 151.2153 (" + file + ")\n");
}

TEST(Kv7ctlProcess, ABatchFromStandardInput)
{
    const Result r = runKv7ctl("--port sim --sim-time-scale 40 --json batch -", {}, "stop\n# the axes\nstate\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"command\":\"stop\",\"ok\":true", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\n{\"raAxisPosition\":"), std::string::npos) << r.out;
}

TEST(Kv7ctlProcess, OutputThatCannotBeWrittenFailsTheRun)
{
    struct Case {
        const char* args;
        const char* toStdout;
    };
    const Case cases[] = {
        {"--help", ">/dev/full"},
        {"--utc 2000-01-01T12:00:00 --json lst", ">/dev/full"},
        {"--port sim --sim-time-scale 40 read-encoders", ">/dev/full"},
        {"--help", ">&-"},
    };
    for (const Case& c : cases) {
        const Result r = runKv7ctl(c.args, c.toStdout);
        EXPECT_EQ(r.exitCode, 1) << c.args << " " << c.toStdout;
        EXPECT_EQ(r.err.rfind("kv7ctl: cannot write the output", 0), 0u)
            << c.args << " " << c.toStdout << ": " << r.err;
    }
    // Usage errors keep their own status.
    const Result usage = runKv7ctl("--bogus info", ">/dev/full");
    EXPECT_EQ(usage.exitCode, 2);
}

TEST(Kv7ctlProcess, AgainstKv7simOverAPseudoTerminal)
{
    Kv7sim sim("--time-scale 40");
    ASSERT_FALSE(sim.path.empty());
    Result r = runKv7ctl("--port " + sim.path + " --json info");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"raMicrosteps\""), std::string::npos) << r.out;
    r = runKv7ctl("--port " + sim.path + " --baud 115200 read-encoders");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Dec encoder:"), std::string::npos) << r.out;
    r = runKv7ctl("--port " + sim.path + " pier flip-west");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Ready"), std::string::npos) << r.out;
}

TEST(Kv7ctlProcess, DeviceFaultsExitOneWithTheStatusText)
{
    Kv7sim wrong("--fault wrong-identify");
    ASSERT_FALSE(wrong.path.empty());
    Result r = runKv7ctl("--port " + wrong.path + " info");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: Not supported device\n");

    Kv7sim silent("--fault silent");
    ASSERT_FALSE(silent.path.empty());
    r = runKv7ctl("--port " + silent.path + " read-encoders");   // ten seconds of heartbeats
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Error: Cannot connect to device.\n");
}

// The request lines (">") of a transcript, without their times.
std::string requests(const std::string& transcript)
{
    std::string out;
    std::size_t at = 0;
    while (at < transcript.size()) {
        const std::size_t end = transcript.find('\n', at);
        const std::string line = transcript.substr(at, end - at);
        if (const std::size_t arrow = line.find(" > "); arrow != std::string::npos && line[0] != '#')
            out += line.substr(arrow) + "\n";
        at = end == std::string::npos ? transcript.size() : end + 1;
    }
    return out;
}

TEST(Kv7simTranscript, BothEndsOfTheLineRecordTheSameRequests)
{
    TempDir dir("kv7-transcript");
    Kv7sim sim("--time-scale 40 --transcript " + dir.path + "/sim.kv7t");
    ASSERT_FALSE(sim.path.empty());
    const Result r = runKv7ctl("--port " + sim.path + " --transcript " + dir.path + "/ctl.kv7t info");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sim.stop(), 0);
    const std::string simSide = slurp(dir.path + "/sim.kv7t");
    const std::string ctlSide = slurp(dir.path + "/ctl.kv7t");
    EXPECT_EQ(simSide.rfind("# kv7 transcript 1 started ", 0), 0u) << simSide;
    EXPECT_NE(simSide.find(" port " + sim.path + "\n"), std::string::npos) << simSide;
    EXPECT_NE(ctlSide.find("# kv7ctl --port " + sim.path + " info\n"), std::string::npos) << ctlSide;
    EXPECT_NE(requests(ctlSide).find(" > AA 01 01\n"), std::string::npos) << ctlSide;
    EXPECT_EQ(requests(simSide), requests(ctlSide));
}

TEST(Kv7ctlTranscript, ABatchFileIsKeptAsInputNotesAndReadsAsStandardInput)
{
    TempDir dir("kv7-transcript");
    if (FILE* f = std::fopen((dir.path + "/lines").c_str(), "w")) {
        std::fputs("stop\nstate\n", f);
        std::fclose(f);
    }
    const Result r = runKv7ctl("--port sim --sim-time-scale 40 --transcript " + dir.path + "/t.kv7t batch " +
                               dir.path + "/lines");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string t = slurp(dir.path + "/t.kv7t");
    EXPECT_NE(t.find("\n# kv7ctl --port sim --sim-time-scale 40 batch -\n# input stop\n# input state\n"),
              std::string::npos)
        << t;
    EXPECT_NE(t.find(" > AA 01 01\n"), std::string::npos) << t;
}

TEST(Kv7simReplay, ARecordingPlaysBackToTheSameCommand)
{
    TempDir dir("kv7-transcript");
    Kv7sim sim("--replay " KV7_EXCHANGES_DIR "/info.kv7t 2>" + dir.path + "/err");
    ASSERT_FALSE(sim.path.empty());
    const Result r = runKv7ctl("--port " + sim.path + " --utc 2026-12-07T23:00:00 --longitude 19.5 --json info");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"raMicrosteps\":1843200"), std::string::npos) << r.out;
    EXPECT_EQ(sim.stop(), 0);
    EXPECT_NE(slurp(dir.path + "/err").find("all 7 recorded requests answered"), std::string::npos)
        << slurp(dir.path + "/err");
}

TEST(Kv7simReplay, TheFirstDifferentRequestIsReportedAndEndsTheReplay)
{
    // Recorded: pier set-west. Asked now: pier set-east, whose axis
    // positions differ from the recording's (frame 15).
    TempDir dir("kv7-transcript");
    Kv7sim sim("--replay " KV7_EXCHANGES_DIR "/pier-set-west.kv7t 2>" + dir.path + "/err");
    ASSERT_FALSE(sim.path.empty());
    runKv7ctl("--port " + sim.path + " --timeout 1 pier set-east");
    EXPECT_EQ(sim.exitStatus(std::chrono::seconds(5)), 1);
    const std::string err = slurp(dir.path + "/err");
    EXPECT_NE(err.find("kv7sim: replay: the request differs from the recording at frame 15: expected AA 0B 20 "),
              std::string::npos)
        << err;
    EXPECT_NE(err.find(", received AA 0B 20 "), std::string::npos) << err;
}

}  // namespace
#endif
