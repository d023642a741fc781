#include <windows.h>

#include "platform/clock_sync.h"

namespace tkw {

// Whether the Windows Time service last synchronised, and with whom, is not
// told by any documented interface: `w32tm /query /status` shows it (its
// "Last Successful Sync Time" and "Source"), and the user is pointed there.
ClockSyncReading ReadClockSync() {
    ClockSyncReading r;
    r.windows = true;
    r.w32time = ReadWindowsTimeService();
    DWORD adjustment = 0, increment = 0;
    BOOL disabled = TRUE;
    if (GetSystemTimeAdjustment(&adjustment, &increment, &disabled)) {
        r.adjustmentRead = true;
        r.adjustmentDisabled = disabled != FALSE;
    }
    return r;
}

}  // namespace tkw
