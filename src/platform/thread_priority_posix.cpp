#include <pthread.h>
#include <sched.h>

#include "platform/thread_priority.h"

namespace tkw {

// Real-time, but below the kernel's own interrupt and watchdog threads (50
// and up): the reader only needs to get ahead of ordinary processes, and a
// thread at the very top could starve the system if it ever spun.
constexpr int kReaderPriority = 20;

bool RaiseCurrentThreadToTimeCritical() {
    sched_param param{};
    const int lo = sched_get_priority_min(SCHED_FIFO);
    const int hi = sched_get_priority_max(SCHED_FIFO);
    if (lo < 0 || hi < 0) return false;
    param.sched_priority = kReaderPriority < lo ? lo : (kReaderPriority > hi ? hi : kReaderPriority);
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace tkw
