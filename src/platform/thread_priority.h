// Thread priority for the reader: it should get the processor as soon as its
// 10 ms poll is over, so that bytes reach the main thread on time.
#pragma once

namespace tkw {

// Raises the calling thread to the platform's highest priority. Best effort:
// without the right to do so (a Linux user without CAP_SYS_NICE) the thread
// keeps its priority and false is returned; callers go on either way.
bool RaiseCurrentThreadToTimeCritical();

}  // namespace tkw
