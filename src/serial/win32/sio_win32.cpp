// The port contract over the Win32 communications API.
//
// COMn is the device \\.\COMn (that form reaches COM10 and above as well);
// ports 1..255 can be addressed.
//
// Results: 0 or a count on success, and on failure the same negative codes as
// the POSIX backend:
//   -1  the port number is outside 1..255
//   -2  the port is not open
//   -3  an argument the line cannot take (baud code, line mode, flow mode,
//       DTR/RTS mode, flush function, length)
//   -4  the device does not exist (or is no serial port)
//   -5  the port is in use: already open here, or opened by another program
//   -6  the system refused the operation
//
// Opening a port that is already open here fails with -5: the caller closes
// before it reopens.
//
// Time-outs: a read returns at once with what the driver holds
// (ReadIntervalTimeout = MAXDWORD and both read totals 0). A write waits at
// most the port's write time-out; the communications API reads a total of 0
// as "never time out", so 0 (the value until sio_SetWriteTimeouts says
// otherwise) is given to the driver as 1 ms, the shortest wait it knows.
//
// Threads: the main thread opens, configures, writes and closes; the reader
// thread only reads. The handle is opened for synchronous I/O, and Windows
// runs the synchronous requests on one handle one after another, DeviceIoControl
// included. A read never waits for data, so it holds the handle for the time
// of a copy only and a write beside it starts at once; a read behind a write
// waits at most the write time-out (10 ms in the program), which the reader's
// 10 ms poll absorbs. Overlapped I/O would buy nothing here and would cost an
// event and a completion wait in every call.
//
// Every operation takes the port's handle through a use count, and close first
// withdraws the handle, then waits for the uses in flight to end before it
// closes it, so that a read racing a close never passes a handle value the
// system may already have given to something else.
#include <windows.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "platform/win32_text.h"
#include "serial/com_map.h"
#include "serial/sio.h"

namespace tkw {
namespace {

constexpr int32_t kBadPort = -1;
constexpr int32_t kNotOpen = -2;
constexpr int32_t kBadArg = -3;
constexpr int32_t kNoDevice = -4;
constexpr int32_t kBusy = -5;
constexpr int32_t kSystem = -6;

constexpr int32_t kMaxPort = kMaxComPort;

struct Port {
    std::mutex openClose;  // open and close of one port never overlap
    std::atomic<HANDLE> handle{nullptr};
    std::atomic<int> uses{0};
};

std::array<Port, kMaxPort + 1> g_ports;  // index = COM number; 0 unused

bool ValidPort(int32_t port) { return port >= 1 && port <= kMaxPort; }

// Holds the port's handle for the length of one operation; handle() is null
// when the port is not open (or the number is out of range).
class HandleUse {
public:
    explicit HandleUse(int32_t port) {
        if (!ValidPort(port)) return;
        port_ = &g_ports[static_cast<size_t>(port)];
        port_->uses.fetch_add(1);
        handle_ = port_->handle.load();
    }
    ~HandleUse() {
        if (port_ != nullptr) port_->uses.fetch_sub(1);
    }
    HandleUse(const HandleUse&) = delete;
    HandleUse& operator=(const HandleUse&) = delete;

    HANDLE handle() const { return handle_; }
    // The code to return when handle() is null.
    int32_t Missing() const { return port_ == nullptr ? kBadPort : kNotOpen; }

private:
    Port* port_ = nullptr;
    HANDLE handle_ = nullptr;
};

int32_t FromLastError(DWORD err) {
    switch (err) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NOT_READY:
            return kNoDevice;
        case ERROR_ACCESS_DENIED:  // what a serial port opened elsewhere answers
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return kBusy;
        default:
            return kSystem;
    }
}

DWORD BitsPerSecondOfCode(int32_t code) {
    switch (code) {
        case kBaud4800: return 4800;
        case kBaud9600: return 9600;
        default: return 0;
    }
}

// What the driver gets for a write time-out in ms (see the head of the file).
DWORD DriverWriteTimeout(int32_t totalMs) { return totalMs > 0 ? static_cast<DWORD>(totalMs) : 1; }

bool SetTimeouts(HANDLE h, int32_t writeTotalMs) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
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
    HandleUse use(port);
    if (use.handle() == nullptr) return use.Missing();
    DCB before{};
    before.DCBlength = sizeof(before);
    if (!GetCommState(use.handle(), &before)) return kSystem;
    DCB d = before;
    change(d);
    if (!SetCommState(use.handle(), &d)) return kSystem;
    DCB back{};
    back.DCBlength = sizeof(back);
    if (!GetCommState(use.handle(), &back)) return kSystem;
    if (!SameLine(back, d)) {
        SetCommState(use.handle(), &before);
        return kSystem;
    }
    return 0;
}

int32_t ModemLine(int32_t port, int32_t mode, DWORD raise, DWORD drop) {
    if (mode != 0 && mode != 1) return ValidPort(port) ? kBadArg : kBadPort;
    HandleUse use(port);
    if (use.handle() == nullptr) return use.Missing();
    if (EscapeCommFunction(use.handle(), mode == 1 ? raise : drop)) return 0;
    // A port without modem lines (Wine's COMn on a pseudo-terminal, some
    // virtual ports) answers "not supported": there is no DTR or RTS to set,
    // and that is no fault of the setup, as on POSIX pseudo-terminals. A real
    // refusal (such as DTR under DTR handshake) is another code.
    return GetLastError() == ERROR_NOT_SUPPORTED ? 0 : kSystem;
}

}  // namespace

int32_t sio_open(int32_t port) {
    if (!ValidPort(port)) return kBadPort;
    Port& p = g_ports[static_cast<size_t>(port)];
    std::lock_guard<std::mutex> lock(p.openClose);
    if (p.handle.load() != nullptr) return kBusy;

    // No sharing: a second open of the port, by this program or another,
    // fails with ERROR_ACCESS_DENIED while this handle lives.
    const std::wstring path = WideFromUtf8(ComPortPath(port));
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return FromLastError(GetLastError());
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
    if (!GetCommState(h, &d)) return fail(kNoDevice);  // a device, but no serial port
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
    if (!SetCommState(h, &d)) return fail(kSystem);
    if (!SetTimeouts(h, 0)) return fail(kSystem);

    p.handle.store(h);
    return 0;
}

int32_t sio_close(int32_t port) {
    if (!ValidPort(port)) return kBadPort;
    Port& p = g_ports[static_cast<size_t>(port)];
    std::lock_guard<std::mutex> lock(p.openClose);
    HANDLE h = p.handle.exchange(nullptr);
    if (h == nullptr) return kNotOpen;
    // A read ends at once and a write within its time-out; only when no call
    // holds the handle any more may it be closed.
    while (p.uses.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    return CloseHandle(h) ? 0 : kSystem;
}

int32_t sio_flush(int32_t port, int32_t func) {
    HandleUse use(port);
    if (use.handle() == nullptr) return use.Missing();
    static constexpr DWORD kQueues[] = {PURGE_RXCLEAR, PURGE_TXCLEAR, PURGE_RXCLEAR | PURGE_TXCLEAR};
    if (func < 0 || func > 2) return kBadArg;
    return PurgeComm(use.handle(), kQueues[func]) ? 0 : kSystem;
}

int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode) {
    if (!ValidPort(port)) return kBadPort;
    const DWORD bps = BitsPerSecondOfCode(baud);
    // Parity other than none and any bit above the stop-bit flag are refused.
    if (bps == 0 || (mode & ~0x07) != 0) return kBadArg;
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
    if (!ValidPort(port)) return kBadPort;
    // The same pairs as on POSIX, where hardware handshake goes for both lines
    // at once and XON/XOFF for both directions.
    if (mode != 0 && mode != kFlowHardware && mode != kFlowSoftware && mode != (kFlowHardware | kFlowSoftware))
        return kBadArg;
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
    HandleUse use(port);
    if (use.handle() == nullptr) return use.Missing();
    DCB d{};
    d.DCBlength = sizeof(d);
    if (!GetCommState(use.handle(), &d)) return kSystem;
    return d.BaudRate > 0 && d.BaudRate <= 0x7fffffff ? static_cast<int32_t>(d.BaudRate) : kSystem;
}

int32_t sio_SetWriteTimeouts(int32_t port, int32_t totalMs) {
    HandleUse use(port);
    if (use.handle() == nullptr) return use.Missing();
    if (totalMs < 0) return kBadArg;
    return SetTimeouts(use.handle(), totalMs) ? 0 : kSystem;
}

int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) {
    HandleUse use(port);
    if (use.handle() == nullptr) return use.Missing();
    if (len < 0 || (buf == nullptr && len > 0)) return kBadArg;
    if (len == 0) return 0;
    DWORD n = 0;
    if (ReadFile(use.handle(), buf, static_cast<DWORD>(len), &n, nullptr)) return static_cast<int32_t>(n);
    if (GetLastError() == ERROR_OPERATION_ABORTED) {
        // A line error stopped the port after all (a driver that ignores
        // fAbortOnError): clear it so the next poll reads again.
        DWORD errors = 0;
        ClearCommError(use.handle(), &errors, nullptr);
        return 0;
    }
    return kSystem;
}

// Returns the bytes written, which may be fewer than asked when the write
// time-out passed first.
int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) {
    HandleUse use(port);
    if (use.handle() == nullptr) return use.Missing();
    if (len < 0 || (buf == nullptr && len > 0)) return kBadArg;
    if (len == 0) return 0;
    DWORD n = 0;
    if (WriteFile(use.handle(), buf, static_cast<DWORD>(len), &n, nullptr)) return static_cast<int32_t>(n);
    if (GetLastError() == ERROR_OPERATION_ABORTED) {
        DWORD errors = 0;
        ClearCommError(use.handle(), &errors, nullptr);
    }
    return n > 0 ? static_cast<int32_t>(n) : kSystem;
}

}  // namespace tkw
