#include "PipeServer.h"

#include <atomic>

namespace kv7::test {

namespace {
std::atomic<unsigned> serial{0};
}

PipeServer::PipeServer(DWORD bufferSize)
    : pipeName("\\\\.\\pipe\\kv7-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(serial.fetch_add(1)))
{
    pipe.reset(::CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                  1, bufferSize, bufferSize, 0, nullptr));
}

bool PipeServer::accept()
{
    return ::ConnectNamedPipe(pipe.get(), nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
}

bool PipeServer::send(const std::vector<std::uint8_t>& bytes)
{
    DWORD n = 0;
    return ::WriteFile(pipe.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) && n == bytes.size();
}

std::vector<std::uint8_t> PipeServer::drain()
{
    std::vector<std::uint8_t> all;
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr) || available == 0)
            return all;
        std::vector<std::uint8_t> chunk(available);
        DWORD n = 0;
        if (!::ReadFile(pipe.get(), chunk.data(), available, &n, nullptr))
            return all;
        all.insert(all.end(), chunk.begin(), chunk.begin() + n);
    }
}

}  // namespace kv7::test
