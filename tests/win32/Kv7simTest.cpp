// kv7sim.exe as a user starts it: a process of its own that prints the name
// of its named pipe, which the Win32 serial port opens like a COM port.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "WinePath.h"
#include "platform/win32/Win32SerialPort.h"
#include "platform/win32/WinHandle.h"
#include "protocol/DeviceProtocol.h"

namespace kv7::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// kv7sim.exe with its stdout on a pipe read by a thread of the test, so a
// simulator that prints nothing fails the test instead of hanging it.
class Kv7sim {
public:
    explicit Kv7sim(const std::wstring& arguments)
    {
        SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
        HANDLE readEnd = nullptr;
        HANDLE writeEnd = nullptr;
        if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0))
            return;
        output.reset(readEnd);
        const WinHandle childOutput(writeEnd);   // ours closes below: the pipe ends with kv7sim
        ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = writeEnd;
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        const std::string program = KV7SIM_PATH;
        std::wstring commandLine = L"\"" + windowsPath(std::wstring(program.begin(), program.end())) + L"\" " + arguments;
        PROCESS_INFORMATION started{};
        if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                              &started))
            return;
        process.reset(started.hProcess);
        ::CloseHandle(started.hThread);
        firstLine = std::async(std::launch::async, [pipe = output.get()] {
            std::string line;
            char c = 0;
            DWORD n = 0;
            while (::ReadFile(pipe, &c, 1, &n, nullptr) && n == 1 && c != '\n')
                line += c;
            return line;
        });
    }

    ~Kv7sim()
    {
        if (process.valid() && ::WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 1);
            ::WaitForSingleObject(process.get(), INFINITE);
        }
    }

    Kv7sim(const Kv7sim&) = delete;
    Kv7sim& operator=(const Kv7sim&) = delete;

    bool started() const { return process.valid(); }

    // The first line it printed, without the line end; empty if none came.
    std::string printed(std::chrono::milliseconds limit)
    {
        if (!firstLine.valid() || firstLine.wait_for(limit) != std::future_status::ready)
            return {};
        std::string line = firstLine.get();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }

    // Its exit status; -1 while it still runs after limit.
    long exitStatus(std::chrono::milliseconds limit)
    {
        DWORD status = 0;
        if (::WaitForSingleObject(process.get(), static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(process.get(), &status))
            return -1;
        return static_cast<long>(status);
    }

private:
    WinHandle output;
    WinHandle process;
    std::future<std::string> firstLine;   // last: its thread is joined while the pipe still exists
};

// Asks the controller at the far end of port who it is; the reply's bytes.
Bytes identify(Win32SerialPort& port)
{
    const std::uint8_t frame[] = {commandStartByte, 1, static_cast<std::uint8_t>(DeviceCommand::Identify)};
    if (!port.write(frame, sizeof frame, 1000))
        return {};
    // 55, payload length 5, the answered code, the device id 0x00070203.
    const std::size_t replyLength = 7;
    Bytes got;
    std::uint8_t buffer[64];
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (got.size() < replyLength && std::chrono::steady_clock::now() < deadline) {
        const int n = port.read(buffer, sizeof buffer, 100);
        if (n < 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

const Bytes identifyReply{replyStartByte, 5, static_cast<std::uint8_t>(DeviceCommand::Identify), 0x03, 0x02, 0x07, 0x00};

TEST(Kv7simExe, PrintsItsPipeWhichAnswersIdentifyThroughTheSerialPort)
{
    Kv7sim sim(L"");
    ASSERT_TRUE(sim.started());
    const std::string pipe = sim.printed(10s);
    ASSERT_EQ(pipe.rfind("\\\\.\\pipe\\kv7sim-", 0), 0u) << pipe;

    Win32SerialPort port;
    ASSERT_TRUE(port.open(pipe.c_str(), 9600));
    EXPECT_EQ(identify(port), identifyReply);
    port.close();
}

TEST(Kv7simExe, EndsWithStatusZeroWhenItsDeviceVanishes)
{
    Kv7sim sim(L"--fault vanish=1");
    ASSERT_TRUE(sim.started());
    const std::string pipe = sim.printed(10s);
    Win32SerialPort port;
    ASSERT_TRUE(port.open(pipe.c_str(), 9600)) << pipe;
    ASSERT_EQ(identify(port), identifyReply);
    EXPECT_EQ(sim.exitStatus(10s), 0);
    port.close();
}

TEST(Kv7simExe, RefusesLinkBecauseAPipeHasOnlyItsOwnName)
{
    Kv7sim sim(L"--link COM9");
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.exitStatus(10s), 1);
    EXPECT_EQ(sim.printed(10s), "");
}

}  // namespace
}  // namespace kv7::test
