#include "platform/derived_clocks.h"

#include <algorithm>

namespace tkw {

SystemTime OffsetClock::GetLocalTime() {
    const SystemTime base = base_.GetLocalTime();
    std::lock_guard lk(m_);
    if (offset_ == 0 || !IsValid(base)) return base;
    return FromLocalMs(std::clamp(ToLocalMs(base) + offset_, kMinLocalMs, kMaxLocalMs));
}

bool OffsetClock::SetLocalTime(const SystemTime& t) {
    if (!IsValid(t)) return false;
    if (onStep_ && !onStep_(t)) return false;
    const SystemTime base = base_.GetLocalTime();
    if (!IsValid(base)) return false;
    std::lock_guard lk(m_);
    offset_ = ToLocalMs(t) - ToLocalMs(base);
    return true;
}

SystemTime ManualClock::GetLocalTime() {
    return FromLocalMs(std::clamp(start_ + elapsed_, kMinLocalMs, kMaxLocalMs));
}

}  // namespace tkw
