#include "platform/win32/Win32SerialPort.h"

#include <algorithm>
#include <cstring>

namespace kv7 {

namespace {

// How long close() and a cancelled write wait for the kernel to let go of
// an operation. Serial drivers complete cancelled I/O at once; the buffers
// are members, so even a driver that takes longer never sees freed memory.
constexpr DWORD cancelWaitMs = 1000;

// How long a close waits for queued output to leave. A device that holds
// flow control against us must not hang the close.
constexpr DWORD drainLimitMs = 2000;
constexpr DWORD drainStepMs = 2;

}  // namespace

Win32SerialPort::Win32SerialPort() : readEvent(makeEvent()), wakeEvent(makeEvent(false)), writeEvent(makeEvent()) {}

Win32SerialPort::~Win32SerialPort() { close(); }

bool Win32SerialPort::open(const char* device, std::uint32_t baud)
{
    close();
    lastOpenError = OpenError::CannotOpen;
    if (!device || !*device || !readEvent.valid() || !wakeEvent.valid() || !writeEvent.valid())
        return false;
    // A wake-up meant for the previous connection's reader.
    ::ResetEvent(wakeEvent.get());
    WinHandle handle(::CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
        // COM ports are opened without sharing: another program holding one
        // makes CreateFile fail with access denied.
        const DWORD error = ::GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_PIPE_BUSY)
            lastOpenError = OpenError::InUse;
        return false;
    }

    // Only framing and speed are ours to set; flow control and the rest stay
    // as the driver (and the operator's Device Manager settings) have them.
    // On the simulator's pipe every one of these calls fails harmlessly.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ::GetCommState(handle.get(), &dcb);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fParity = FALSE;
    dcb.BaudRate = baud;
    ::SetCommState(handle.get(), &dcb);

    // A read completes once bytes have come and the line has been quiet for
    // 1 ms, or its buffer is full; with nothing arriving it stays pending.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 1;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 0;
    ::SetCommTimeouts(handle.get(), &timeouts);
    ::SetupComm(handle.get(), queueSize, queueSize);

    port = std::move(handle);
    readPending = false;
    writePending = false;
    readyBegin = readyEnd = 0;
    lastOpenError = OpenError::None;
    discarded = 0;
    return true;
}

void Win32SerialPort::close()
{
    if (!port.valid())
        return;
    HANDLE h = port.get();
    discarded = drainOutput();
    // PurgeComm aborts a COM port's pending reads and writes; a pipe ignores
    // it, so both are cancelled explicitly as well. Either way the kernel
    // must be done with the buffers before the handle goes.
    if (readPending || writePending)
        ::CancelIoEx(h, nullptr);
    ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    settle(readOverlapped, readEvent.get(), readPending, cancelWaitMs);
    settle(writeOverlapped, writeEvent.get(), writePending, cancelWaitMs);
    port.reset();
    readyBegin = readyEnd = 0;
}

std::size_t Win32SerialPort::drainOutput()
{
    // A write abandoned at its time-out is still the driver's; its bytes
    // count as queued until it completes.
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        DWORD errors = 0;
        COMSTAT stat{};
        // A pipe (the simulator) has no output queue: the call fails.
        if (!::ClearCommError(port.get(), &errors, &stat))
            return writePending ? 1 : 0;
        if (stat.cbOutQue == 0 && !writePending)
            return 0;
        if (::GetTickCount64() - start >= drainLimitMs)
            return stat.cbOutQue > 0 ? stat.cbOutQue : 1;
        ::Sleep(drainStepMs);
        if (writePending)
            settle(writeOverlapped, writeEvent.get(), writePending, 0);
    }
}

bool Win32SerialPort::settle(OVERLAPPED& overlapped, HANDLE event, bool& pending, DWORD waitMs, DWORD* transferred)
{
    if (!pending)
        return true;
    if (::WaitForSingleObject(event, waitMs) != WAIT_OBJECT_0)
        return false;
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(port.get(), &overlapped, &n, FALSE);
    if (!ok && ::GetLastError() == ERROR_IO_INCOMPLETE)
        return false;
    pending = false;
    if (transferred)
        *transferred = ok ? n : 0;
    return true;
}

bool Win32SerialPort::write(const std::uint8_t* data, std::size_t length, int timeoutMs)
{
    if (!port.valid() || length > sizeof writeBuffer)
        return false;
    if (length == 0)
        return true;
    // An earlier write abandoned at its time-out may still hold the buffer.
    if (writePending) {
        ::CancelIoEx(port.get(), &writeOverlapped);
        if (!settle(writeOverlapped, writeEvent.get(), writePending, cancelWaitMs))
            return false;
    }

    std::memcpy(writeBuffer, data, length);
    ::ResetEvent(writeEvent.get());
    writeOverlapped = OVERLAPPED{};
    writeOverlapped.hEvent = writeEvent.get();
    const DWORD want = static_cast<DWORD>(length);
    if (::WriteFile(port.get(), writeBuffer, want, nullptr, &writeOverlapped)) {
        DWORD n = 0;
        return ::GetOverlappedResult(port.get(), &writeOverlapped, &n, FALSE) && n == want;
    }
    if (::GetLastError() != ERROR_IO_PENDING)
        return false;
    writePending = true;

    DWORD n = 0;
    const DWORD wait = timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs);
    if (settle(writeOverlapped, writeEvent.get(), writePending, wait, &n))
        return n == want;
    // Abandoned: cancel it rather than let the frame leave at some later,
    // unrelated moment in the middle of another exchange.
    ::CancelIoEx(port.get(), &writeOverlapped);
    settle(writeOverlapped, writeEvent.get(), writePending, cancelWaitMs);
    return false;
}

int Win32SerialPort::startRead()
{
    ::ResetEvent(readEvent.get());
    readOverlapped = OVERLAPPED{};
    readOverlapped.hEvent = readEvent.get();
    if (::ReadFile(port.get(), readBuffer, static_cast<DWORD>(sizeof readBuffer), nullptr, &readOverlapped)) {
        DWORD n = 0;
        if (!::GetOverlappedResult(port.get(), &readOverlapped, &n, FALSE))
            return -1;
        readyBegin = 0;
        readyEnd = n;
        return static_cast<int>(n);
    }
    if (::GetLastError() != ERROR_IO_PENDING)
        return -1;
    readPending = true;
    return 0;
}

std::size_t Win32SerialPort::takeReady(std::uint8_t* buffer, std::size_t capacity)
{
    const std::size_t n = std::min(capacity, readyEnd - readyBegin);
    std::memcpy(buffer, readBuffer + readyBegin, n);
    readyBegin += n;
    if (readyBegin == readyEnd)
        readyBegin = readyEnd = 0;
    return n;
}

void Win32SerialPort::wakeReader()
{
    if (wakeEvent.valid())
        ::SetEvent(wakeEvent.get());
}

int Win32SerialPort::read(std::uint8_t* buffer, std::size_t capacity, int timeoutMs)
{
    if (!port.valid())
        return -1;
    if (capacity == 0)
        return 0;
    // What an earlier read brought in beyond the caller's capacity goes first.
    if (readyBegin < readyEnd)
        return static_cast<int>(takeReady(buffer, capacity));

    if (!readPending) {
        const int started = startRead();
        if (started < 0)
            return -1;
        if (!readPending)   // completed at once, possibly with nothing
            return static_cast<int>(takeReady(buffer, capacity));
    }

    // The read stays pending when the wait ends without it; the next call
    // waits on it again.
    const DWORD wait = timeoutMs < 0 ? 0 : static_cast<DWORD>(timeoutMs);
    const HANDLE events[] = {readEvent.get(), wakeEvent.get()};
    const DWORD result = ::WaitForMultipleObjects(2, events, FALSE, wait);
    if (result == WAIT_TIMEOUT || result == WAIT_OBJECT_0 + 1)
        return 0;
    if (result != WAIT_OBJECT_0)
        return -1;
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(port.get(), &readOverlapped, &n, FALSE);
    if (!ok && ::GetLastError() == ERROR_IO_INCOMPLETE)
        return 0;
    readPending = false;
    // A failed read (the adapter pulled, the pipe's server gone) leaves the
    // event signalled: waiting on it again would spin. Report the port as
    // failed; the link closes it.
    if (!ok)
        return -1;
    readyBegin = 0;
    readyEnd = n;
    return static_cast<int>(takeReady(buffer, capacity));
}

}  // namespace kv7
