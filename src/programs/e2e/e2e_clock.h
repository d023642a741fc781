// For the end-to-end test builds (tkw-e2e.exe, tkw-service-e2e.exe), whose
// clock never steps the machine's: each step is written to clock.log in the
// current directory, with the host instant it was asked for, and the program
// goes on reading the system clock shifted by it. Windows builds only.
#pragma once

#include "platform/systime.h"

namespace tkw {

// The host's real time in ns since 1970 (Wine passes the host's clock
// through), for comparing with what tkw-sim stamps.
long long HostNs();
// "SET <time> <host ns>", or "REFUSED ..." when `refuse`; returns !refuse.
bool LogClockStep(const SystemTime& t, bool refuse);

}  // namespace tkw
