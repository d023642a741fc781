// The port contract over the Win32 communications API.
//
// COMn is the device \\.\COMn (that form reaches COM10 and above as well);
// ports 1..255 can be addressed.
//
// Results: 0 or a count on success, one of sio.h's kSio* codes on failure.
//
// Time-outs: reads are set to "return at once with what the driver holds,
// or, when it holds nothing, as soon as the first byte arrives" (both
// ReadIntervalTimeout and ReadTotalTimeoutMultiplier MAXDWORD, a constant of
// some 49 days). sio_wait is such a read, into a look-ahead buffer of the
// port's that sio_read hands out first; sio_read itself takes what a read
// brings at once and cancels one that would wait. A write waits at most the
// port's write time-out; the communications API reads a total of 0 as "never
// time out", so 0 (the value until sio_SetWriteTimeouts says otherwise) is
// given to the driver as 1 ms, the shortest wait it knows.
//
// Threads: the main thread opens, configures, writes and closes; the reader
// thread waits for input and reads. The handle is opened for overlapped I/O:
// Windows runs the requests of a synchronous handle one after another, so a
// reader waiting for input there would hold up every write of the main thread
// (the time frame each second, the answer after a correction). Overlapped,
// the reader's waiting read and an event that sio_wake sets are waited on
// together, writes wait for their own completion, and nothing waits for
// anything else. (WaitCommEvent would be the other way to wait; Wine ends
// it at once on a COM port mapped to a pseudo-terminal, where the tests run.)
// Close wakes a wait under way and waits for the calls in flight
// (port_table.h).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/win32_text.h"
#include "serial/com_map.h"
#include "serial/port_table.h"
#include "serial/read_failure.h"
#include "serial/sio.h"

namespace tkw {
namespace {

struct Win32Extra {
    std::atomic<DWORD> lastError{0};  // of the last failed call, for sio_error_text
    // While the port is open: one completion event for each kind of request
    // (reads and waits come from the reader only, writes from the main
    // thread), and the event sio_wake sets to end a wait.
    std::atomic<HANDLE> readDone{nullptr}, writeDone{nullptr}, wake{nullptr};
    // What a wait brought, not yet read, and the reads aborted since the last
    // byte came (the reader's alone).
    uint8_t ahead[256] = {};
    DWORD aheadCount = 0;
    int abortsInARow = 0;
};
using Port = PortSlot<HANDLE, nullptr, Win32Extra>;
using HandleUse = PortUse<Port>;

PortTable<Port> g_ports;

int32_t FromLastError(DWORD err) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NOT_READY:
            return kSioNoDevice;
        case ERROR_ACCESS_DENIED:  // what a serial port opened elsewhere answers
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return kSioBusy;
        default:
            return kSioSystem;
    }
}

DWORD BitsPerSecondOfCode(int32_t code) {
    switch (code) {
        case kBaud4800: return 4800;
        case kBaud9600: return 9600;
        default: return 0;
    }
}

// Wine reads the read time-outs differently from Windows (SetTimeouts).
bool UnderWine() {
    static const bool wine = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// What the driver gets for a write time-out in ms (see the head of the file).
DWORD DriverWriteTimeout(int32_t totalMs) { return totalMs > 0 ? static_cast<DWORD>(totalMs) : 1; }

bool SetTimeouts(HANDLE h, int32_t writeTotalMs) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    // The documented "wait for the first byte, then return at once" is the
    // interval and multiplier at MAXDWORD with a constant below it. Wine
    // waits for a full buffer there, and instead gives the very same
    // behaviour to what Windows documents as "return at once".
    t.ReadTotalTimeoutMultiplier = UnderWine() ? 0 : MAXDWORD;
    t.ReadTotalTimeoutConstant = UnderWine() ? 0 : MAXDWORD - 1;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = DriverWriteTimeout(writeTotalMs);
    return SetCommTimeouts(h, &t) != 0;
}

// The line settings this file changes, compared after a change: a driver may
// take a state and keep parts of its own.
bool SameLine(const DCB& a, const DCB& b) {
    return a.BaudRate == b.BaudRate && a.ByteSize == b.ByteSize && a.Parity == b.Parity &&
           a.StopBits == b.StopBits && a.fOutxCtsFlow == b.fOutxCtsFlow && a.fRtsControl == b.fRtsControl &&
           a.fOutX == b.fOutX && a.fInX == b.fInX;
}

// Reads the line's state, lets `change` edit it and writes it back; when the
// driver kept something else than asked, the line gets back what it had, as
// half a change is worse than none.
template <typename Change>
int32_t ChangeLine(int32_t port, Change change) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    DCB before{};
    before.DCBlength = sizeof(before);
    if (!GetCommState(use.Handle(), &before)) return kSioSystem;
    DCB d = before;
    change(d);
    if (!SetCommState(use.Handle(), &d)) return kSioSystem;
    DCB back{};
    back.DCBlength = sizeof(back);
    if (!GetCommState(use.Handle(), &back)) return kSioSystem;
    if (!SameLine(back, d)) {
        SetCommState(use.Handle(), &before);
        return kSioSystem;
    }
    return 0;
}

int32_t ModemLine(int32_t port, int32_t mode, DWORD raise, DWORD drop) {
    if (!ValidModemLineMode(mode)) return ValidComPort(port) ? kSioBadArg : kSioBadPort;
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (EscapeCommFunction(use.Handle(), mode == 1 ? raise : drop)) return 0;
    // A port without modem lines (Wine's COMn on a pseudo-terminal, some
    // virtual ports) answers "not supported": there is no DTR or RTS to set,
    // and that is no fault of the setup, as on POSIX pseudo-terminals. A real
    // refusal (such as DTR under DTR handshake) is another code.
    return GetLastError() == ERROR_NOT_SUPPORTED ? 0 : kSioSystem;
}

// The numbers read_failure.h classifies are the system's own.
static_assert(win32_error::kInvalidFunction == ERROR_INVALID_FUNCTION && win32_error::kAccessDenied == ERROR_ACCESS_DENIED &&
              win32_error::kInvalidHandle == ERROR_INVALID_HANDLE && win32_error::kNotReady == ERROR_NOT_READY &&
              win32_error::kBadCommand == ERROR_BAD_COMMAND && win32_error::kGenFailure == ERROR_GEN_FAILURE &&
              win32_error::kDevNotExist == ERROR_DEV_NOT_EXIST && win32_error::kBrokenPipe == ERROR_BROKEN_PIPE &&
              win32_error::kOperationAborted == ERROR_OPERATION_ABORTED &&
              win32_error::kDeviceNotConnected == ERROR_DEVICE_NOT_CONNECTED &&
              win32_error::kDeviceRemoved == ERROR_DEVICE_REMOVED);

// After a failed write: a line error that stopped the port after all (a
// driver that ignores fAbortOnError) is cleared so that the next call works
// again.
void ClearAbort(HANDLE h) {
    if (GetLastError() != ERROR_OPERATION_ABORTED) return;
    DWORD errors = 0;
    ClearCommError(h, &errors, nullptr);
}

// After a failed read or wait, with GetLastError() telling why: a line error
// is cleared and reads as nothing; a device gone from under the handle is
// kSioGone, anything else kSioSystem (see read_failure.h). ClearCommError
// both clears the line error and asks whether the port still answers.
int32_t ReadFailed(Port& p, HANDLE h) {
    const DWORD err = GetLastError();
    DWORD errors = 0;
    const bool answers = ClearCommError(h, &errors, nullptr) != FALSE;
    switch (ClassifyReadFailure(err, answers, p.abortsInARow)) {
        case ReadFailure::LineError:
            ++p.abortsInARow;
            return 0;
        case ReadFailure::Gone:
            p.lastError.store(err);
            return kSioGone;
        case ReadFailure::Other:
            break;
    }
    p.lastError.store(err);
    return kSioSystem;
}

}  // namespace

int32_t sio_open(int32_t port) {
    if (!ValidComPort(port)) return kSioBadPort;
    Port& p = g_ports[static_cast<size_t>(port)];
    std::lock_guard<std::mutex> lock(p.openClose);
    if (p.handle.load() != nullptr) return kSioBusy;

    // No sharing: a second open of the port, by this program or another,
    // fails with ERROR_ACCESS_DENIED while this handle lives.
    const std::wstring path = WideFromUtf8(ComPortPath(port));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        p.lastError.store(GetLastError());
        return FromLastError(p.lastError.load());
    }
    const auto fail = [h](int32_t code) {
        CloseHandle(h);
        return code;
    };

    // A raw line: bytes pass unchanged (binary, no parity check, no error or
    // NUL substitution), a line error never stops reads and writes, no
    // software flow control; the bit rate and the hardware handshake stay
    // until sio_ioctl and sio_flowctrl say otherwise.
    DCB d{};
    d.DCBlength = sizeof(d);
    if (!GetCommState(h, &d)) return fail(kSioNoDevice);  // a device, but no serial port
    d.fBinary = TRUE;
    d.fParity = FALSE;
    d.Parity = NOPARITY;
    d.ByteSize = 8;
    d.StopBits = ONESTOPBIT;
    d.fOutxDsrFlow = FALSE;
    d.fDsrSensitivity = FALSE;
    d.fTXContinueOnXoff = TRUE;
    d.fOutX = FALSE;
    d.fInX = FALSE;
    d.fErrorChar = FALSE;
    d.fNull = FALSE;
    d.fAbortOnError = FALSE;
    if (!SetCommState(h, &d)) return fail(kSioSystem);
    if (!SetTimeouts(h, 0)) return fail(kSioSystem);
    HANDLE events[3] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, TRUE, FALSE, nullptr),
                        CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    if (!events[0] || !events[1] || !events[2]) {
        for (HANDLE e : events)
            if (e) CloseHandle(e);
        return fail(kSioSystem);
    }
    p.readDone.store(events[0]);
    p.writeDone.store(events[1]);
    p.wake.store(events[2]);
    p.aheadCount = 0;
    p.abortsInARow = 0;
    p.lastError.store(0);
    p.handle.store(h);
    return 0;
}

int32_t sio_close(int32_t port) {
    return ClosePort(
        g_ports, port,
        [](Port& p) {
            if (HANDLE wake = p.wake.load()) SetEvent(wake);
        },
        [](Port& slot, HANDLE h) {
            const bool closed = CloseHandle(h) != FALSE;
            for (std::atomic<HANDLE>* e : {&slot.readDone, &slot.writeDone, &slot.wake})
                if (HANDLE event = e->exchange(nullptr)) CloseHandle(event);
            return closed;
        });
}

int32_t sio_flush(int32_t port, int32_t func) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    static constexpr DWORD kQueues[] = {PURGE_RXCLEAR, PURGE_TXCLEAR, PURGE_RXCLEAR | PURGE_TXCLEAR};
    if (!ValidFlushFunc(func)) return kSioBadArg;
    return PurgeComm(use.Handle(), kQueues[func]) ? 0 : kSioSystem;
}

int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode) {
    if (!ValidComPort(port)) return kSioBadPort;
    const DWORD bps = BitsPerSecondOfCode(baud);
    if (bps == 0 || !ValidLineMode(mode)) return kSioBadArg;
    const BYTE dataBits = static_cast<BYTE>(5 + (mode & 0x03));
    // The second stop bit of a 5-bit character is one and a half bits long on
    // the line (a UART's rule, which the driver insists on).
    const BYTE stopBits = (mode & 0x04) == 0 ? ONESTOPBIT : dataBits == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    return ChangeLine(port, [&](DCB& d) {
        d.BaudRate = bps;
        d.ByteSize = dataBits;
        d.Parity = NOPARITY;
        d.StopBits = stopBits;
        d.fBinary = TRUE;
        d.fParity = FALSE;
    });
}

int32_t sio_flowctrl(int32_t port, int32_t mode) {
    if (!ValidComPort(port)) return kSioBadPort;
    if (!ValidFlowMode(mode)) return kSioBadArg;
    return ChangeLine(port, [&](DCB& d) {
        const bool hardware = (mode & kFlowHardware) == kFlowHardware;
        d.fOutxCtsFlow = hardware ? TRUE : FALSE;
        if (hardware)
            d.fRtsControl = RTS_CONTROL_HANDSHAKE;
        else if (d.fRtsControl == RTS_CONTROL_HANDSHAKE)
            d.fRtsControl = RTS_CONTROL_ENABLE;  // RTS stays raised, as sio_RTS leaves it under handshake
        const bool software = (mode & kFlowSoftware) == kFlowSoftware;
        d.fOutX = software ? TRUE : FALSE;
        d.fInX = software ? TRUE : FALSE;
        if (software) {
            d.XonChar = 0x11;
            d.XoffChar = 0x13;
        }
    });
}

int32_t sio_DTR(int32_t port, int32_t mode) { return ModemLine(port, mode, SETDTR, CLRDTR); }

int32_t sio_RTS(int32_t port, int32_t mode) { return ModemLine(port, mode, SETRTS, CLRRTS); }

int32_t sio_getbaud(int32_t port) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    DCB d{};
    d.DCBlength = sizeof(d);
    if (!GetCommState(use.Handle(), &d)) return kSioSystem;
    return d.BaudRate > 0 && d.BaudRate <= 0x7fffffff ? static_cast<int32_t>(d.BaudRate) : kSioSystem;
}

int32_t sio_SetWriteTimeouts(int32_t port, int32_t totalMs) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (!ValidWriteTimeout(totalMs)) return kSioBadArg;
    return SetTimeouts(use.Handle(), totalMs) ? 0 : kSioSystem;
}

// One overlapped read of up to `len` bytes into `buf`: what the driver holds
// comes at once; with nothing there it waits for the first byte until `stop`
// is set or `timeoutMs` passes (0: no wait at all), and is then cancelled.
// Returns the bytes read, or -1 with GetLastError() set (a read the driver
// aborted by itself included: only our own cancel is no failure).
long ReadSome(HANDLE h, HANDLE done, HANDLE stop, uint8_t* buf, DWORD len, DWORD timeoutMs) {
    OVERLAPPED ov{};
    ov.hEvent = done;
    DWORD n = 0;
    if (ReadFile(h, buf, len, &n, &ov)) return static_cast<long>(n);
    if (GetLastError() != ERROR_IO_PENDING) return -1;
    HANDLE both[2] = {done, stop};
    const DWORD r = WaitForMultipleObjects(stop ? 2 : 1, both, FALSE, timeoutMs);
    // Not finished: cancelled, and waited for, since it writes into `ov` and
    // `buf` (a byte may still have come: it is kept).
    const bool cancelled = r != WAIT_OBJECT_0;
    if (cancelled) CancelIoEx(h, &ov);
    if (GetOverlappedResult(h, &ov, &n, TRUE) || (cancelled && GetLastError() == ERROR_OPERATION_ABORTED))
        return static_cast<long>(n);
    return -1;
}

int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (!ValidBuffer(buf, len)) return kSioBadArg;
    if (len == 0) return 0;
    Port& p = use.Port();
    // What a wait brought comes first.
    if (p.aheadCount > 0) {
        const DWORD n = std::min<DWORD>(p.aheadCount, static_cast<DWORD>(len));
        memcpy(buf, p.ahead, n);
        memmove(p.ahead, p.ahead + n, p.aheadCount - n);
        p.aheadCount -= n;
        return static_cast<int32_t>(n);
    }
    const long n = ReadSome(use.Handle(), p.readDone.load(), nullptr, buf, static_cast<DWORD>(len), 0);
    if (n > 0) p.abortsInARow = 0;
    return n >= 0 ? static_cast<int32_t>(n) : ReadFailed(p, use.Handle());
}

int32_t sio_wait(int32_t port, int32_t timeoutMs) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    Port& p = use.Port();
    if (p.aheadCount > 0) return 1;
    const long n = ReadSome(use.Handle(), p.readDone.load(), p.wake.load(), p.ahead, sizeof p.ahead,
                            timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    if (n > 0) {
        p.aheadCount = static_cast<DWORD>(n);
        p.abortsInARow = 0;
        return 1;
    }
    return n == 0 ? 0 : ReadFailed(p, use.Handle());
}

int32_t sio_wake(int32_t port) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    return SetEvent(use.Port().wake.load()) ? 0 : kSioSystem;
}

std::string sio_error_text(int32_t port) {
    if (!ValidComPort(port)) return SystemErrorText(ERROR_INVALID_PARAMETER);
    const DWORD err = g_ports[static_cast<size_t>(port)].lastError.load();
    return err ? SystemErrorText(err) : std::string();
}

// Returns the bytes written, which may be fewer than asked when the write
// time-out passed first.
int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) {
    HandleUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (!ValidBuffer(buf, len)) return kSioBadArg;
    if (len == 0) return 0;
    OVERLAPPED ov{};
    ov.hEvent = use.Port().writeDone.load();
    DWORD n = 0;
    if (WriteFile(use.Handle(), buf, static_cast<DWORD>(len), &n, &ov) ||
        (GetLastError() == ERROR_IO_PENDING && GetOverlappedResult(use.Handle(), &ov, &n, TRUE)))
        return static_cast<int32_t>(n);
    const DWORD err = GetLastError();
    ClearAbort(use.Handle());
    use.Port().lastError.store(err);
    return n > 0 ? static_cast<int32_t>(n) : kSioSystem;
}

}  // namespace tkw
