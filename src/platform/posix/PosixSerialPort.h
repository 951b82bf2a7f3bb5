// A serial port on a POSIX tty (real devices and pseudo-terminals alike),
// through termios: raw mode, 8 data bits, no parity, one stop bit.
#pragma once

#include <atomic>

#include "protocol/SerialPort.h"

namespace kv7 {

class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort();
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    bool open(const char* device, std::uint32_t baud) override;
    OpenError openError() const override { return lastOpenError; }
    void close() override;
    std::size_t discardedAtClose() const override { return discarded; }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override;
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override;
    void wakeReader() override;

    bool isOpen() const { return fd.load() >= 0; }

private:
    void drainWake();
    // Waits, bounded, until the driver's output queue is empty; returns what
    // is still queued when the wait ends.
    static std::size_t drainOutput(int handle);

    std::atomic<int> fd{-1};
    OpenError lastOpenError = OpenError::None;
    std::size_t discarded = 0;
    // A pipe that read() polls beside the device, so that wakeReader() can
    // end its wait; -1 when it could not be made (reads then run to their
    // time-out).
    int wakeRead = -1;
    int wakeWrite = -1;
};

}  // namespace kv7
