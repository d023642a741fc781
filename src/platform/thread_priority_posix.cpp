#include <pthread.h>
#include <sched.h>

#include "platform/thread_priority.h"

namespace tkw {

bool RaiseCurrentThreadToTimeCritical() {
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (param.sched_priority < 0) return false;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace tkw
