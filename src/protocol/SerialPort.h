// The one seam between the link and a serial device. Implementations live
// under platform/ (a real port), sim/ (the virtual controller) and tests/.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv7 {

// Why the last open() failed.
enum class OpenError { None, CannotOpen, InUse };

class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device at 8 data bits, no parity, one stop bit and the given
    // baud rate, for this process alone. False when it cannot be opened;
    // openError() then says why.
    virtual bool open(const char* device, std::uint32_t baud) = 0;
    virtual OpenError openError() const { return OpenError::CannotOpen; }

    // Lets what is queued for the device leave, for a bounded time, then
    // discards what is left both ways and closes. Harmless when closed.
    // Only called once no read() is in progress.
    virtual void close() = 0;

    // Bytes of output the last close() had to discard because the device
    // would not take them in time; 0 when everything left.
    virtual std::size_t discardedAtClose() const { return 0; }

    // Writes a whole frame, waiting at most timeoutMs for it to leave. The
    // frame need not outlive the call. False on error or time-out.
    virtual bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) = 0;

    // Waits at most timeoutMs for bytes and returns how many were placed in
    // buffer (0 when none came), or -1 when the port failed: the device has
    // gone (end of file, hang-up, an I/O error). Called from the
    // serial reader thread while write() may run on the worker thread.
    virtual int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) = 0;

    // Ends a read() that is waiting, or the next one, at once with 0, so
    // that the serial reader sees a stop without waiting out its time-out.
    // Called by the thread that closes the port, while read() may be
    // running. Without it the read ends at its time-out.
    virtual void wakeReader() {}
};

}  // namespace kv7
