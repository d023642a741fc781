// The PC clock seam. The real clock reads and steps the operating system's
// local time; tests and tkw-replay plug in clocks of their own, so nothing but
// the real program ever steps a machine's clock.
#pragma once

#include "platform/systime.h"

namespace tkw {

class Clock {
public:
    virtual ~Clock() = default;
    virtual SystemTime GetLocalTime() = 0;
    // The same reading in microseconds since 1899-12-30 00:00 local time
    // (LocalMs * 1000 and the rest), for measuring where a millisecond is too
    // coarse; 0 when the time cannot be told. Clocks that know no finer time
    // give their milliseconds.
    virtual int64_t GetLocalMicros() {
        const SystemTime t = GetLocalTime();
        return IsValid(t) ? ToLocalMs(t) * 1000 : 0;
    }
    // Returns false when the system refused the new time (no right to set it,
    // or a time it cannot hold).
    virtual bool SetLocalTime(const SystemTime& t) = 0;
};

}  // namespace tkw
