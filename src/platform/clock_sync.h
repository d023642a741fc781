// What the system says of how well its clock is kept in step with true time:
// the kernel's synchronisation state and the time daemons running (Linux),
// the Windows Time service and the clock's periodic adjustment (Windows).
// Only read here, never judged: calibrating a receiver measures it against
// this clock, and headless/clock_check.h decides whether the clock is good
// enough for that.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows_time_service.h"

namespace tkw {

struct ClockSyncReading {
    bool windows = false;  // which half below was read

    // Linux: adjtimex() (ntp_adjtime), which reads the kernel's state and changes nothing.
    bool kernelRead = false;
    std::string kernelError;      // the system's reason when it could not be read
    bool unsynchronised = true;   // STA_UNSYNC: no daemon keeps the clock in step (or not yet)
    int64_t estimatedErrorUs = 0;  // esterror, as the daemon last told the kernel
    int64_t maximumErrorUs = 0;    // maxerror
    // The time daemons among the processes this program can see, each named
    // once: "chronyd", "systemd-timesyncd", "ntpd".
    std::vector<std::string> daemons;

    // Windows.
    WindowsTimeService w32time;
    bool adjustmentRead = false;
    // GetSystemTimeAdjustment's lpTimeAdjustmentDisabled: FALSE while a time
    // service slews the clock (the Windows Time service when it keeps the
    // clock in step, or another one); TRUE when the clock runs free.
    bool adjustmentDisabled = true;
};

// This machine's, now.
ClockSyncReading ReadClockSync();

}  // namespace tkw
