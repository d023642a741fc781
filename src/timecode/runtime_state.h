// The flags and counters that the time-code handling, the one-second tick and
// the menu share. All of them live on the main thread.
#pragma once

#include <cstdint>

namespace tkw {

struct RuntimeState {
    int32_t SignalAge = 0;     // seconds since the last accepted frame
    bool NoSignal = false;     // recomputed by the tick from SignalAge
    bool JumpPending = false;  // the last checked frame differed from the PC clock
    bool CorrectNow = false;   // correct at the next accepted frame, whatever the schedule
    bool MonitorOn = false;    // the monitor window is watching
    bool JumpLogOn = false;    // "跳动记录"
    bool CommLogOn = false;    // "通讯记录"

    // The values every start of the program begins with.
    static RuntimeState AtStartUp() {
        RuntimeState s;
        s.SignalAge = 50;
        s.JumpLogOn = true;
        s.CorrectNow = true;
        return s;
    }
};

}  // namespace tkw
