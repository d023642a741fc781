// The serial port contract: eleven functions addressing a port by its COM
// number, each returning a 32-bit result, 0 for success unless said otherwise.
// One header, two backends: serial/posix (termios) and serial/win32 (the Win32
// communications API). Both address ports 1..kMaxComPort (com_map.h); the
// program's own editors stay within 1..128.
//
// A read never blocks and may run on one thread while another thread writes
// to the same open port.
//
// Opening a port that is already open here fails with kSioBusy, as a second
// open of the same port by another program does: the caller closes before it
// reopens.
#pragma once

#include <cstdint>
#include <string>

namespace tkw {

// Baud codes.
inline constexpr int32_t kBaud4800 = 10;
inline constexpr int32_t kBaud9600 = 12;
// Line mode = parity | data bits | stop bits.
inline constexpr int32_t kParityNone = 0x00;
inline constexpr int32_t kData8 = 0x03;
inline constexpr int32_t kStop1 = 0x00;
// Flow modes, OR-ed.
inline constexpr int32_t kFlowHardware = 3;   // CTS and RTS
inline constexpr int32_t kFlowSoftware = 12;  // XON/XOFF both ways

// Failures, the same on every backend.
inline constexpr int32_t kSioBadPort = -1;   // the port number is outside 1..kMaxComPort
inline constexpr int32_t kSioNotOpen = -2;   // the port is not open
inline constexpr int32_t kSioBadArg = -3;    // an argument the line cannot take (baud code, line mode, flow
                                             // mode, DTR/RTS mode, flush function, length)
inline constexpr int32_t kSioNoDevice = -4;  // the device does not exist (or is no serial port)
inline constexpr int32_t kSioBusy = -5;      // in use: already open here, or held by another program
inline constexpr int32_t kSioSystem = -6;    // the system refused the operation
inline constexpr int32_t kSioGone = -7;      // a read found the device gone (unplugged, hung up): the port
                                             // stays useless until it is closed and opened again

int32_t sio_open(int32_t port);
int32_t sio_close(int32_t port);
int32_t sio_flush(int32_t port, int32_t func);          // func 0: the input buffer
int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode);
int32_t sio_flowctrl(int32_t port, int32_t mode);
int32_t sio_DTR(int32_t port, int32_t mode);            // 1 raise, 0 drop
int32_t sio_RTS(int32_t port, int32_t mode);
int32_t sio_getbaud(int32_t port);                      // the bit rate in force (4800, 9600), <= 0 on failure
int32_t sio_SetWriteTimeouts(int32_t port, int32_t totalMs);
int32_t sio_read(int32_t port, uint8_t* buf, int32_t len);         // bytes read, at once; <= 0: nothing
int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len);  // bytes written, < 0 on failure

// Beyond the eleven:
//
// Waits until the open port has input to read, for at most `timeoutMs`
// milliseconds (-1: as long as it takes), or until sio_wake(port) is called
// from another thread. Returns > 0 when input waits (read it with sio_read),
// 0 when the time passed or the wait was woken, and one of the codes above
// (kSioNotOpen, kSioGone, ...) when there is nothing to wait on; it never
// consumes input. A wake that comes while no wait is under way ends the next
// one at once, so a wake cannot fall between a decision to wait and the wait.
// The reader waits here instead of polling: a frame's last byte is handled
// as soon as it arrives, and an idle program sleeps.
int32_t sio_wait(int32_t port, int32_t timeoutMs);
int32_t sio_wake(int32_t port);

// The system's own words for the last failure of a call on this port ("No
// such file or directory"), empty when there was none. For messages that must
// say why, such as a service's log.
std::string sio_error_text(int32_t port);

}  // namespace tkw
