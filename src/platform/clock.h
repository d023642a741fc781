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
    // Returns false when the system refused the new time (no right to set it,
    // or a time it cannot hold).
    virtual bool SetLocalTime(const SystemTime& t) = 0;
};

}  // namespace tkw
