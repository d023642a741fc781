#include <windows.h>

#include "platform/thread_priority.h"

namespace tkw {

bool RaiseCurrentThreadToTimeCritical() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

}  // namespace tkw
