// The operating system's local clock, read and set as local time (time zone
// and daylight saving from the system).
#pragma once

#include <string>

#include "platform/clock.h"

namespace tkw {

class SystemClock final : public Clock {
public:
    SystemTime GetLocalTime() override;
    int64_t GetLocalMicros() override;
    // False when the system refused (no right to set the clock, or a time it
    // cannot represent); LastError() then holds the system's reason.
    bool SetLocalTime(const SystemTime& t) override;
    const std::string& LastError() const { return lastError_; }

private:
    std::string lastError_;
};

}  // namespace tkw
