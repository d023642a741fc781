// Whether --calibrate takes this PC's clock for right: every state the Linux
// kernel and the Windows Time service can report, and what is said of it.
#include <gtest/gtest.h>

#include <string>

#include "headless/clock_check.h"

namespace tkw {
namespace {

ClockSyncReading Linux(bool unsynchronised, int64_t esterrorUs, std::vector<std::string> daemons) {
    ClockSyncReading r;
    r.kernelRead = true;
    r.unsynchronised = unsynchronised;
    r.estimatedErrorUs = esterrorUs;
    r.daemons = std::move(daemons);
    return r;
}

ClockSyncReading Windows(bool installed, bool running, const char* type, bool adjustmentRead, bool disabled) {
    ClockSyncReading r;
    r.windows = true;
    r.w32time.installed = installed;
    r.w32time.running = running;
    r.w32time.typeRead = type != nullptr;
    r.w32time.type = type ? type : "";
    r.adjustmentRead = adjustmentRead;
    r.adjustmentDisabled = disabled;
    return r;
}

TEST(ClockCheck, TrustsOnlyAClockKeptToBetterThanAMillisecond) {
    ClockSyncReading unreadable;
    unreadable.kernelError = "Operation not permitted";
    const struct {
        const char* name;
        ClockSyncReading reading;
        bool trusted;
        const char* found;   // the whole of it
        const char* advice;  // part of the advice (untrusted only)
    } cases[] = {
        {"kernel not read", unreadable, false,
         "its synchronisation state cannot be read (Operation not permitted); no time daemon runs here (chronyd, "
         "systemd-timesyncd, ntpd)",
         "chronyc tracking"},
        {"unsynchronised, no daemon", Linux(true, 16000000, {}), false,
         "not synchronised: no time daemon runs here (chronyd, systemd-timesyncd, ntpd)", "systemctl stop tkw"},
        {"unsynchronised, chronyd not there yet", Linux(true, 16000000, {"chronyd"}), false,
         "not synchronised: chronyd runs, but the kernel marks the clock unsynchronised (not yet, or no server "
         "answers)",
         "timedatectl set-ntp true"},
        {"chronyd, small error", Linux(false, 50, {"chronyd"}), true,
         "synchronised by chronyd, estimated error 0.05 ms", nullptr},
        {"two daemons, just under 1 ms", Linux(false, 999, {"chronyd", "ntpd"}), true,
         "synchronised by chronyd and ntpd, estimated error 0.99 ms", nullptr},
        {"chronyd, 1 ms", Linux(false, 1000, {"chronyd"}), false,
         "synchronised by chronyd, estimated error 1.00 ms, not better than 1 ms", "chronyc tracking"},
        {"ntpd, large error", Linux(false, 25300, {"ntpd"}), false,
         "synchronised by ntpd, estimated error 25.30 ms, not better than 1 ms", "--trust-clock skips"},
        {"the host's daemon, around a container", Linux(false, 200, {}), true,
         "synchronised by a time daemon not seen here (the host's?), estimated error 0.20 ms", nullptr},
        {"systemd-timesyncd gives no estimate", Linux(false, 0, {"systemd-timesyncd"}), true,
         "synchronised by systemd-timesyncd, estimated error not given (timedatectl timesync-status or chronyc "
         "tracking tells more)",
         nullptr},
        {"W32Time adjusting", Windows(true, true, "NTP", true, false), true,
         "adjusted by the Windows Time service (Type NTP); w32tm /query /status shows when it last synchronised "
         "and with whom",
         nullptr},
        {"another service adjusting", Windows(false, false, nullptr, true, false), true,
         "adjusted by a time service (the Windows Time service is not running)", nullptr},
        {"W32Time running, not adjusting", Windows(true, true, "NT5DS", true, true), false,
         "not synchronised: the Windows Time service runs (Type NT5DS) but does not adjust the clock (not yet, or "
         "it has no time source)",
         "w32tm /resync"},
        {"W32Time running with NoSync", Windows(true, true, "NoSync", true, true), false,
         "not synchronised: the Windows Time service runs (Type NoSync) but does not adjust the clock (not yet, or "
         "it has no time source)",
         "sc stop TKW"},
        {"W32Time stopped", Windows(true, false, "NTP", true, true), false,
         "not synchronised: the Windows Time service is stopped, and nothing adjusts the clock", "net start w32time"},
        {"no W32Time, nothing adjusting", Windows(false, false, nullptr, true, true), false,
         "not synchronised: no Windows Time service, and nothing adjusts the clock", "w32tm /query /status"},
        {"adjustment not read", Windows(true, true, "NTP", false, false), false,
         "not synchronised: the Windows Time service runs (Type NTP) but does not adjust the clock (not yet, or it "
         "has no time source)",
         "--trust-clock skips"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ClockVerdict v = JudgeClock(c.reading);
        EXPECT_EQ(v.trusted, c.trusted);
        EXPECT_EQ(v.found, c.found);
        std::string advice;
        for (const std::string& line : v.advice) advice += line + "\n";
        EXPECT_EQ(advice.empty(), c.trusted) << advice;
        if (c.advice) {
            EXPECT_NE(advice.find(c.advice), std::string::npos) << advice;
        }
    }
}

}  // namespace
}  // namespace tkw
