// kv7sim on Windows: a named pipe, stopped from the console. There is no
// --link: a pipe has only the one name, which kv7sim prints.
#include "sim/kv7sim/System.h"

#include "platform/win32/WinHandle.h"
#include "sim/hosts/win32/PipeHost.h"

namespace kv7::sim::tool {

const DeviceWords deviceWords{
    "Runs a virtual KV7 mount controller on a named pipe and prints the pipe's\n"
    "name on one line; open it as a serial port. Stop it with Ctrl-C or Ctrl-Break.\n",
    "cannot create a named pipe",
    false,
};

std::unique_ptr<HostedController> makeHost(const HostOptions& options) { return std::make_unique<PipeHost>(options); }

namespace {

// The console calls its handler on a thread of its own; the handler only
// signals, and wait() sees it.
WinHandle stopEvent;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        ::SetEvent(stopEvent.get());
        return TRUE;
    default: return FALSE;
    }
}

}  // namespace

StopRequests::StopRequests()
{
    stopEvent = makeEvent(true);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopRequests::~StopRequests()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    stopEvent.reset();
}

bool StopRequests::wait(std::chrono::milliseconds limit)
{
    return ::WaitForSingleObject(stopEvent.get(), static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

struct DeviceLink::State {};

DeviceLink::DeviceLink() = default;

DeviceLink::~DeviceLink() = default;

bool DeviceLink::claim(const std::string&, std::string& error)
{
    error = "--link is not available on Windows; open the pipe name kv7sim prints";
    return false;
}

bool DeviceLink::make(const std::string&, std::string& error)
{
    error = "--link is not available on Windows";
    return false;
}

void DeviceLink::remove() {}

}  // namespace kv7::sim::tool
