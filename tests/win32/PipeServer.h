// The server end of a local named pipe, driven by hand: a stand-in for the
// far end of a serial line in tests of the Win32 port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32/WinHandle.h"

namespace kv7::test {

class PipeServer {
public:
    // bufferSize: the pipe's buffer each way; small ones fill quickly.
    explicit PipeServer(DWORD bufferSize = 4096);

    const std::string& name() const { return pipeName; }
    bool valid() const { return pipe.valid(); }

    // Once the client has opened the pipe.
    bool accept();
    bool send(const std::vector<std::uint8_t>& bytes);
    // Everything the client has written so far, without waiting.
    std::vector<std::uint8_t> drain();
    // Closes the server end: the client's reads and writes fail from now on.
    void hangUp() { pipe.reset(); }

private:
    std::string pipeName;
    WinHandle pipe;
};

}  // namespace kv7::test
