// Whether this PC's clock is right enough to calibrate a receiver against:
// --calibrate measures when each frame arrives by this clock, so the clock
// has to be kept to better than a millisecond by something else than the
// receiver (a time daemon or the Windows Time service, with network
// servers). Judged from what the system reports (platform/clock_sync.h),
// without a system here, so that every state it can report is tested.
#pragma once

#include <string>
#include <vector>

#include "platform/clock_sync.h"

namespace tkw {

struct ClockVerdict {
    bool trusted = false;
    // What was found, for "the clock: <found>": "synchronised by chronyd,
    // estimated error 0.05 ms", "not synchronised: no time daemon runs".
    std::string found;
    // When not trusted: what to do about it, one line each.
    std::vector<std::string> advice;
};

// The estimated error a synchronised clock may have at most.
inline constexpr int64_t kMaxClockErrorUs = 1000;

ClockVerdict JudgeClock(const ClockSyncReading& r);

}  // namespace tkw
