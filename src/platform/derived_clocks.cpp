#include "platform/derived_clocks.h"

#include <algorithm>

namespace tkw {

SystemTime OffsetClock::GetLocalTime() {
    {
        std::lock_guard lk(m_);
        if (offsetUs_ == 0) return base_.GetLocalTime();
    }
    const int64_t us = GetLocalMicros();
    return us == 0 ? SystemTime{} : FromLocalMs(us >= 0 ? us / 1000 : -((999 - us) / 1000));
}

int64_t OffsetClock::GetLocalMicros() {
    const int64_t base = base_.GetLocalMicros();
    std::lock_guard lk(m_);
    if (offsetUs_ == 0 || base == 0) return base;
    return std::clamp(base + offsetUs_, kMinLocalMs * 1000, kMaxLocalMs * 1000 + 999);
}

bool OffsetClock::SetLocalTime(const SystemTime& t) {
    if (!IsValid(t)) return false;
    if (onStep_ && !onStep_(t)) return false;
    // In microseconds, as a real clock set to `t` reads `t` and nothing more.
    const int64_t base = base_.GetLocalMicros();
    if (base == 0) return false;
    std::lock_guard lk(m_);
    offsetUs_ = ToLocalMs(t) * 1000 - base;
    return true;
}

SystemTime ManualClock::GetLocalTime() {
    return FromLocalMs(std::clamp(start_ + (elapsedUs_ >= 0 ? elapsedUs_ / 1000 : -((999 - elapsedUs_) / 1000)), kMinLocalMs, kMaxLocalMs));
}

int64_t ManualClock::GetLocalMicros() {
    return std::clamp(start_ * 1000 + elapsedUs_, kMinLocalMs * 1000, kMaxLocalMs * 1000 + 999);
}

}  // namespace tkw
