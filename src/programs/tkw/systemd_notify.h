// Tells systemd how a run of tkw is doing when it runs as a Type=notify
// service: READY=1 once the port is in use (or its recovery has begun), a
// STATUS= line that `systemctl status tkw` shows (the indicator, the port, the
// last correction, the last minute's offset and the drift, a calibration
// due), WATCHDOG=1 from the main loop at half the interval systemd asks for,
// and STOPPING=1 when the loop ends. Outside systemd ($NOTIFY_SOCKET
// unset) it is not made at all, and nothing changes.
//
// The protocol is one datagram of NAME=VALUE lines to the AF_UNIX socket that
// $NOTIFY_SOCKET names ('@' first: Linux's abstract namespace). systemd keeps
// it stable as an interface of its own, so these few lines stand in for
// libsystemd's sd_notify(): no library to link and nothing in it to trust.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "headless/observer.h"

namespace tkw {

class SystemdNotifier final : public RunObserver {
public:
    // Null when $NOTIFY_SOCKET is unset or empty (not run by systemd), or
    // names no socket this program can send to. What cannot be used there
    // or in $WATCHDOG_USEC and $WATCHDOG_PID is said once through `say`.
    static std::unique_ptr<SystemdNotifier> FromEnvironment(const std::function<void(const std::string&)>& say);
    ~SystemdNotifier() override;

    void Port(const std::string& name) override;
    void Ready() override;
    void IndicatorChanged(Indicator state, const std::string& text) override;
    void ClockSet(const SystemTime& to, int64_t movedMs) override;
    void OffsetMinute(const OffsetRow& row) override;
    void CalibrationDue(const std::string& text) override;
    void PortDown(bool down) override;
    std::chrono::milliseconds Turn() override;
    void Stopping() override;

    // The STATUS= text as it stands.
    std::string StatusText() const;

private:
    using Steady = std::chrono::steady_clock;
    SystemdNotifier(int fd, const std::string& socket, Steady::duration watchdogPing);
    // One datagram; a full or missing socket drops it (the next one follows).
    void Send(const std::string& message);

    int fd_;
    std::string address_;  // the sockaddr_un's bytes, as long as the name needs
    Steady::duration ping_;  // zero: no watchdog
    Steady::time_point nextPing_{};
    bool ready_ = false;

    std::string indicator_ = "red";
    std::string indicatorText_;
    std::string port_;
    bool portDown_ = false;
    std::string lastCorrection_;
    std::string offsets_;  // the last minute's figures; empty before the first
    std::string calibration_;  // a fine adjustment found off; empty while none is
};

}  // namespace tkw
