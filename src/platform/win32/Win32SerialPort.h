// A serial port on Windows through overlapped I/O: "\\.\COMn" devices, and
// anything else CreateFile opens the same way (the built-in simulator's
// named pipe, where the serial configuration calls fail and do no harm).
//
// A read that is still pending when read() times out stays pending inside
// the object, with its buffer, and the next read() waits on it again, so no
// byte is lost between calls and the kernel never writes into a stack frame
// that has gone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/SerialPort.h"
#include "platform/win32/WinHandle.h"

namespace kv7 {

class Win32SerialPort final : public SerialPort {
public:
    static constexpr std::size_t readChunk = 128;    // bytes per overlapped read
    static constexpr std::size_t maxFrame = 512;     // longest frame write() takes
    static constexpr DWORD queueSize = 8192;         // driver queues, both ways

    Win32SerialPort();
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool open(const char* device, std::uint32_t baud) override;
    OpenError openError() const override { return lastOpenError; }
    void close() override;
    std::size_t discardedAtClose() const override { return discarded; }
    bool write(const std::uint8_t* data, std::size_t length, int timeoutMs) override;
    int read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs) override;
    void wakeReader() override;

    bool isOpen() const { return port.valid(); }
    // For tests that check the line settings a real port was given.
    HANDLE nativeHandle() const { return port.get(); }

private:
    int startRead();
    std::size_t takeReady(std::uint8_t* buffer, std::size_t capacity);
    // Waits up to waitMs for a started operation to finish; true once it has.
    bool settle(OVERLAPPED& overlapped, HANDLE event, bool& pending, DWORD waitMs, DWORD* transferred = nullptr);
    // Waits, bounded, for the driver's output queue to empty; returns what
    // is still queued when the wait ends.
    std::size_t drainOutput();

    WinHandle port;
    OpenError lastOpenError = OpenError::None;
    std::size_t discarded = 0;

    // Reader side, used only by the serial reader thread while the port is open.
    WinHandle readEvent;
    WinHandle wakeEvent;   // auto reset: wakeReader() ends one wait
    OVERLAPPED readOverlapped{};
    bool readPending = false;
    std::uint8_t readBuffer[readChunk] = {};
    std::size_t readyBegin = 0;
    std::size_t readyEnd = 0;

    // Writer side, used only by the link worker. The frame is copied here, so
    // a write abandoned at its time-out never reads from the caller's memory.
    WinHandle writeEvent;
    OVERLAPPED writeOverlapped{};
    bool writePending = false;
    std::uint8_t writeBuffer[maxFrame] = {};
};

}  // namespace kv7
