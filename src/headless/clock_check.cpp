#include "headless/clock_check.h"

#include <cstdio>

namespace tkw {

namespace {

// To the hundredth below: 999 us is no "1.00 ms", which would read as too much.
std::string Ms(int64_t us) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%02lld ms", static_cast<long long>(us / 1000),
                  static_cast<long long>(us % 1000 / 10));
    return text;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    return out;
}

// The TKW service sets the clock from the receiver itself: measuring the
// receiver against a clock it keeps would find the fine adjustment already
// in force, whatever the receiver's delay is. It also holds the port.
std::vector<std::string> LinuxAdvice() {
    return {"make it so first: stop the tkw service (systemctl stop tkw), which sets the clock from the receiver "
            "and holds its port;",
            "enable chrony (systemctl enable --now chrony) or systemd-timesyncd (timedatectl set-ntp true) with "
            "network (NTP) servers, not with TKW's own reference clock;",
            "wait until chronyc tracking (or timedatectl) says the clock is synchronised, then calibrate again;",
            "--trust-clock skips this check, for a clock you know to be right"};
}

std::vector<std::string> WindowsAdvice() {
    return {"make it so first: stop the TKW service (sc stop TKW), which sets the clock from the receiver and "
            "holds its port;",
            "start the Windows Time service with network (NTP) servers (sc config w32time start= auto, net start "
            "w32time, w32tm /resync) from an administrator's console;",
            "w32tm /query /status shows when it last synchronised and with whom; then calibrate again;",
            "--trust-clock skips this check, for a clock you know to be right"};
}

ClockVerdict JudgeLinux(const ClockSyncReading& r) {
    ClockVerdict v;
    const std::string by = r.daemons.empty() ? "no time daemon runs here (chronyd, systemd-timesyncd, ntpd)"
                                             : Joined(r.daemons) + (r.daemons.size() == 1 ? " runs" : " run");
    if (!r.kernelRead) {
        v.found = "its synchronisation state cannot be read (" + r.kernelError + "); " + by;
        v.advice = LinuxAdvice();
        return v;
    }
    if (r.unsynchronised) {
        v.found = "not synchronised: " + by +
                  (r.daemons.empty() ? "" : ", but the kernel marks the clock unsynchronised (not yet, or no server "
                                            "answers)");
        v.advice = LinuxAdvice();
        return v;
    }
    // A daemon this program cannot see (the host's, around a container)
    // keeps the kernel's state as well as one it can.
    v.found = "synchronised by " +
              (r.daemons.empty() ? std::string("a time daemon not seen here (the host's?)") : Joined(r.daemons)) +
              ", ";
    if (r.estimatedErrorUs == 0) {
        // systemd-timesyncd tells the kernel no estimate at all.
        v.found += "estimated error not given (timedatectl timesync-status or chronyc tracking tells more)";
        v.trusted = true;
        return v;
    }
    v.found += "estimated error " + Ms(r.estimatedErrorUs);
    if (r.estimatedErrorUs >= kMaxClockErrorUs) {
        v.found += ", not better than 1 ms";
        v.advice = {"wait for the daemon to settle (chronyc tracking shows how far it is), or give it closer NTP "
                    "servers; then calibrate again;",
                    "--trust-clock skips this check, for a clock you know to be right"};
        return v;
    }
    v.trusted = true;
    return v;
}

ClockVerdict JudgeWindows(const ClockSyncReading& r) {
    ClockVerdict v;
    const WindowsTimeService& w = r.w32time;
    const bool adjusting = r.adjustmentRead && !r.adjustmentDisabled;
    if (adjusting) {
        v.trusted = true;
        v.found = w.running ? "adjusted by the Windows Time service (Type " + (w.typeRead ? w.type : "not set") +
                                  "); w32tm /query /status shows when it last synchronised and with whom"
                            : "adjusted by a time service (the Windows Time service is not running)";
        return v;
    }
    if (!w.installed)
        v.found = "not synchronised: no Windows Time service, and nothing adjusts the clock";
    else if (!w.running)
        v.found = "not synchronised: the Windows Time service is stopped, and nothing adjusts the clock";
    else
        v.found = "not synchronised: the Windows Time service runs (Type " + (w.typeRead ? w.type : "not set") +
                  ") but does not adjust the clock (not yet, or it has no time source)";
    v.advice = WindowsAdvice();
    return v;
}

}  // namespace

ClockVerdict JudgeClock(const ClockSyncReading& r) {
    return r.windows ? JudgeWindows(r) : JudgeLinux(r);
}

}  // namespace tkw
