// The open ports of a serial backend, by COM number, the guard that keeps a
// port's handle valid for one call, and the argument checks both backends
// share, so that they refuse the same values with the same codes.
//
// Threads: the main thread opens, configures, writes and closes; the reader
// thread only reads. Every operation takes the port's handle through a use
// count, and close first withdraws the handle, then waits for the uses in
// flight to end before it closes it, so that a read racing a close never
// passes a handle the system may already have given to something else.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>

#include "serial/com_map.h"
#include "serial/sio.h"

namespace tkw {

inline bool ValidComPort(int32_t port) { return port >= 1 && port <= kMaxComPort; }

// sio_DTR, sio_RTS: 1 raises the line, 0 drops it.
inline bool ValidModemLineMode(int32_t mode) { return mode == 0 || mode == 1; }
// sio_ioctl: data bits (0..3 for 5..8) and the stop-bit flag (0x04); parity
// other than none and any bit above the stop-bit flag are refused.
inline bool ValidLineMode(int32_t mode) { return (mode & ~0x07) == 0; }
// sio_flowctrl: termios switches hardware handshake for both lines at once
// and XON/XOFF per direction, so only the pairs the program can ask for are
// taken, on both backends alike.
inline bool ValidFlowMode(int32_t mode) {
    return mode == 0 || mode == kFlowHardware || mode == kFlowSoftware || mode == (kFlowHardware | kFlowSoftware);
}
// sio_flush: 0 the input buffer, 1 the output buffer, 2 both.
inline bool ValidFlushFunc(int32_t func) { return func >= 0 && func <= 2; }
inline bool ValidWriteTimeout(int32_t totalMs) { return totalMs >= 0; }
// sio_read, sio_write: no buffer is needed for nothing.
inline bool ValidBuffer(const void* buf, int32_t len) { return len >= 0 && (buf != nullptr || len == 0); }

// One port: `Handle` is the system's (a descriptor, a HANDLE), `kClosed` its
// value while the port is not open; `Extra` holds what a backend keeps beside it.
template <typename Handle, Handle kClosed, typename Extra>
struct PortSlot : Extra {
    using HandleType = Handle;
    static constexpr Handle kNone = kClosed;

    std::mutex openClose;  // open and close of one port never overlap
    std::atomic<Handle> handle{kClosed};
    std::atomic<int> uses{0};

    // Takes the handle away from new calls and waits until the calls that
    // hold it have ended (a read ends at once, a write within its time-out, a
    // wait for input when `nudge` has woken it). Returns kClosed when the port
    // was not open.
    template <typename Nudge>
    Handle Withdraw(Nudge nudge) {
        const Handle h = handle.exchange(kClosed);
        if (h == kClosed) return h;
        nudge();
        while (uses.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
        return h;
    }
};

// Index = COM number; 0 unused.
template <typename Slot>
using PortTable = std::array<Slot, kMaxComPort + 1>;

// Holds a port's handle for the length of one operation; Handle() is the
// closed value when the port is not open (or the number is out of range).
template <typename Slot>
class PortUse {
public:
    PortUse(PortTable<Slot>& table, int32_t port) {
        if (!ValidComPort(port)) return;
        slot_ = &table[static_cast<size_t>(port)];
        slot_->uses.fetch_add(1);
        handle_ = slot_->handle.load();
    }
    ~PortUse() {
        if (slot_ != nullptr) slot_->uses.fetch_sub(1);
    }
    PortUse(const PortUse&) = delete;
    PortUse& operator=(const PortUse&) = delete;

    bool Open() const { return handle_ != Slot::kNone; }
    typename Slot::HandleType Handle() const { return handle_; }
    Slot& Port() const { return *slot_; }
    // The code to return when the port is not open.
    int32_t Missing() const { return slot_ == nullptr ? kSioBadPort : kSioNotOpen; }

private:
    Slot* slot_ = nullptr;
    typename Slot::HandleType handle_ = Slot::kNone;
};

// sio_close over a table: withdraws the port's handle, wakes a wait for input
// on it (`nudge`), waits for the calls that hold it, and gives the slot and
// the handle to `close` (true on success).
template <typename Slot, typename NudgeFn, typename CloseFn>
int32_t ClosePort(PortTable<Slot>& table, int32_t port, NudgeFn nudge, CloseFn close) {
    if (!ValidComPort(port)) return kSioBadPort;
    Slot& p = table[static_cast<size_t>(port)];
    std::lock_guard<std::mutex> lock(p.openClose);
    const typename Slot::HandleType h = p.Withdraw([&] { nudge(p); });
    if (h == Slot::kNone) return kSioNotOpen;
    return close(p, h) ? 0 : kSioSystem;
}

}  // namespace tkw
