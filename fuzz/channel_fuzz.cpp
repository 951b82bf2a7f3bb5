// The internal channel's assembler and dispatcher under arbitrary bytes.
//
// Input: byte 0 sets the size of the pieces the rest is written in (1..64
// bytes per writeChannel call); the rest is channel traffic. A healthy
// controller sits behind port 1, so well-formed messages drive the whole
// link: connect, ticks, every user command, disconnect, serial data.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/LinkDriver.h"

using namespace kv7;
using namespace kv7::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t piece = (data[0] & 0x3F) + 1;
    ++data;
    --size;

    LinkDriver d;
    while (size > 0) {
        const std::size_t n = size < piece ? size : piece;
        d.link.writeChannel(data, n);
        d.settle();
        data += n;
        size -= n;
    }
    // Complete a message the input left open; zeros outside a message are
    // dropped by the assembler.
    const std::uint8_t filler[32] = {};
    d.link.writeChannel(filler, sizeof filler);
    d.settle();

    d.probeReading([&](const std::uint8_t* bytes, std::size_t count) {
        std::uint8_t msg[32];
        while (count > 0) {
            const std::size_t n = count < 31 ? count : 31;
            msg[0] = static_cast<std::uint8_t>(0xE0 | n);
            std::memcpy(msg + 1, bytes, n);
            d.link.writeChannel(msg, n + 1);
            d.link.pump();
            bytes += n;
            count -= n;
        }
    });

    // Shutdown closes the port without a status.
    d.link.stopThreads();
    check(!d.port.isOpen() && !d.link.isPortOpen() && !d.link.isLinkReady(), "port left open after shutdown");
    return 0;
}
