// Keeps a program on its port: when the port cannot be opened at start-up,
// or a read finds the device gone (a USB adapter pulled, a receiver switched
// off with its adapter, the other end of a pseudo-terminal closed), it says
// so once, naming the device and the system's reason, holds the reader off
// the port, closes it and tries to open it again every two seconds with the
// same line settings, and says once when it is back. Only the main thread
// acts, each time it looks (Service), so nothing spins while the port is
// away. The system waking from sleep, or a port arriving, is a reason to try
// at once; a port or baud change from the menu owns the port while it runs,
// and recovery then follows whatever port is in force. The Linux program and
// the desktop program share this one decision (wired in SerialLink).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/port_switching.h"
#include "config/settings.h"
#include "platform/message_box.h"
#include "serial/line_settings.h"
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

    // After the start-up open (`now`: a steady clock's reading). Nothing
    // happens before it: no port is in force yet.
    void Started(bool open, Ms now);
    // A read found the device gone; from any thread (the reader's). The next
    // Service on the main thread acts on it.
    void DeviceGone() { gone_.store(true); }
    // On the main thread, at every wake-up: acts on what has happened and
    // tries again when due. Returns how long until the next try is due, or
    // a negative value when none is.
    Ms Service(Ms now);
    // Tries at once instead of at the next turn: a port has arrived
    // (`forceReopen` false: only a port that is down is tried), or the system
    // has woken from sleep (true: the port is closed and opened again even
    // when it looks open, since many drivers do not keep a handle alive
    // across a sleep; said only when it then does not open). Returns as
    // Service does.
    Ms TryNow(bool forceReopen, Ms now);
    // A port or baud change owns the port from ChangeBegins to ChangeEnded;
    // recovery meanwhile does nothing (a box of the change lets the timer
    // run). `inUse`: a port ended up open and set up, which ends a recovery
    // and its hold; otherwise the port then in force is tried every two
    // seconds from now on.
    void ChangeBegins() { changing_ = true; }
    void ChangeEnded(bool inUse, Ms now);
    bool Down() const { return down_; }

private:
    void Say(const std::string& what);
    void GoDown(const std::string& what, Ms now);

    Port& port_;
    ReaderControl& reader_;
    std::function<void(const std::string&)> say_;
    Ms retry_;
    std::atomic<bool> gone_{false};
    bool started_ = false;
    bool changing_ = false;
    bool down_ = false;  // holding the reader (one pause) and retrying
    Ms nextTry_{0};
};

// The port the settings name, as recovery reopens it: opened, and the line
// settings in force applied again, without the boxes of the start-up (the
// recovery says what happens, once).
class ConfiguredPort final : public PortRecovery::Port {
public:
    ConfiguredPort(SerialApi& serial, Settings& settings, LineSettings& line)
        : serial_(serial), settings_(settings), setup_(serial, settings, line, quiet_, nullptr, nullptr, {}) {}
    bool Reopen() override;
    void Close() override { serial_.sio_close(settings_.PortNumber); }
    // "COM1 (/dev/ttyUSB0)"; on Windows "COM1".
    std::string Name() override;
    std::string Reason() override { return sio_error_text(settings_.PortNumber); }

private:
    struct NoBoxes final : MessageBoxes {
        void Show(BoxKind, const std::string&, const std::string&) override {}
    } quiet_;
    SerialApi& serial_;
    const Settings& settings_;
    PortSwitcher setup_;
};

// The port as the reader sees it, telling recovery when a read finds the
// device gone; everything else passes through. A port on which every wait,
// or every read, has failed a hundred times in a row (a second or so of the
// reader's tries) is of no use as it is, whatever the failure said: that is
// told as gone too, so that a failure the backend cannot place still ends in
// a reopen rather than in a reader failing for ever.
class GoneWatch final : public ForwardingSerialApi {
public:
    static constexpr int kFailuresMeaningGone = 100;

    GoneWatch(SerialApi& inner, std::function<void()> onGone)
        : ForwardingSerialApi(inner), onGone_(std::move(onGone)) {}
    int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) override {
        return Seen(inner_.sio_read(port, buf, len), readFailures_);
    }
    int32_t sio_wait(int32_t port, int32_t timeoutMs) override {
        return Seen(inner_.sio_wait(port, timeoutMs), waitFailures_);
    }

private:
    // On the reader's thread alone.
    int32_t Seen(int32_t result, int& failuresInARow) {
        failuresInARow = result < 0 ? failuresInARow + 1 : 0;
        if (result == kSioGone || failuresInARow >= kFailuresMeaningGone) {
            failuresInARow = 0;
            if (onGone_) onGone_();
        }
        return result;
    }

    std::function<void()> onGone_;
    int readFailures_ = 0, waitFailures_ = 0;
};

}  // namespace tkw
