// Keeps a program without a menu on its port: when the port cannot be opened
// at start-up, or a read finds the device gone (a USB adapter pulled, the
// other end of a pseudo-terminal closed), it says so once, naming the device
// and the system's reason, holds the reader off the port, closes it and tries
// to open it again every two seconds with the same line settings, and says
// once when it is back. A service then lives through a replugged adapter or a
// device that shows up after it started, where it would otherwise read a dead
// descriptor for ever.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "serial/reader_control.h"
#include "serial/serial_api.h"

namespace tkw {

class PortRecovery {
public:
    // What recovery does to the port; the program binds it.
    struct Port {
        virtual ~Port() = default;
        // Opens and sets up the port with the line settings in force, quietly;
        // true when it is in use.
        virtual bool Reopen() = 0;
        virtual void Close() = 0;
        // "COM1 (/dev/ttyUSB0)", and the system's words for the last failure.
        virtual std::string Name() = 0;
        virtual std::string Reason() = 0;
    };
    using Ms = std::chrono::milliseconds;

    PortRecovery(Port& port, ReaderControl& reader, std::function<void(const std::string&)> say,
                 Ms retry = std::chrono::seconds(2))
        : port_(port), reader_(reader), say_(std::move(say)), retry_(retry) {}

    // After the start-up open (`now`: a steady clock's reading).
    void Started(bool open, Ms now);
    // A read found the device gone; from any thread (the reader's). The next
    // Service on the main thread acts on it.
    void DeviceGone() { gone_.store(true); }
    // On the main thread, at every wake-up: acts on what has happened and
    // tries again when due. Returns how long until the next try is due, or
    // a negative value when none is.
    Ms Service(Ms now);
    bool Down() const { return down_; }

private:
    void GoDown(const std::string& what, Ms now);

    Port& port_;
    ReaderControl& reader_;
    std::function<void(const std::string&)> say_;
    Ms retry_;
    std::atomic<bool> gone_{false};
    bool down_ = false;
    Ms nextTry_{0};
};

// The port as the reader sees it, telling recovery when a read finds the
// device gone; everything else passes through.
class GoneWatch final : public SerialApi {
public:
    GoneWatch(SerialApi& inner, std::function<void()> onGone) : inner_(inner), onGone_(std::move(onGone)) {}
    int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) override {
        const int32_t n = inner_.sio_read(port, buf, len);
        if (n > 0) LastRead = std::chrono::system_clock::now();
        if (n == kSioGone && onGone_) onGone_();
        return n;
    }

    // When the last read that brought bytes returned, on the real clock:
    // written by the reader before it hands the chunk over, read by the
    // chunk's handler while the reader waits for it.
    std::chrono::system_clock::time_point LastRead;
    int32_t sio_open(int32_t port) override { return inner_.sio_open(port); }
    int32_t sio_close(int32_t port) override { return inner_.sio_close(port); }
    int32_t sio_flush(int32_t port, int32_t func) override { return inner_.sio_flush(port, func); }
    int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode) override { return inner_.sio_ioctl(port, baud, mode); }
    int32_t sio_flowctrl(int32_t port, int32_t mode) override { return inner_.sio_flowctrl(port, mode); }
    int32_t sio_DTR(int32_t port, int32_t mode) override { return inner_.sio_DTR(port, mode); }
    int32_t sio_RTS(int32_t port, int32_t mode) override { return inner_.sio_RTS(port, mode); }
    int32_t sio_getbaud(int32_t port) override { return inner_.sio_getbaud(port); }
    int32_t sio_SetWriteTimeouts(int32_t port, int32_t ms) override { return inner_.sio_SetWriteTimeouts(port, ms); }
    int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) override {
        return inner_.sio_write(port, buf, len);
    }
    int32_t sio_wait(int32_t port, int32_t timeoutMs) override {
        const int32_t r = inner_.sio_wait(port, timeoutMs);
        if (r == kSioGone && onGone_) onGone_();
        return r;
    }
    int32_t sio_wake(int32_t port) override { return inner_.sio_wake(port); }

private:
    SerialApi& inner_;
    std::function<void()> onGone_;
};

}  // namespace tkw
