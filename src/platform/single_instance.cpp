#include "platform/single_instance.h"

namespace tkw {

LockVerdict DecideLock(LockHolder holder, bool maySetClock) {
    switch (holder) {
        case LockHolder::Nobody: return LockVerdict::Acquire;
        case LockHolder::ClockSetter: return LockVerdict::Refuse;
        case LockHolder::Other: return maySetClock ? LockVerdict::RunWeak : LockVerdict::Refuse;
        case LockHolder::Unknown: break;
    }
    return LockVerdict::RunWeak;
}

}  // namespace tkw
