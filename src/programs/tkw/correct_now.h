// tkw --correct-now: asks the running tkw, the service or one in a terminal,
// to correct the clock at its next accepted frame, as the desktop program's
// menu item does. It sends SIGUSR1 to the process that holds the
// single-instance lock (see SignalHolder): the running copy says so on its
// output, and this one says whether it was reached.
#pragma once

#include "headless/console.h"
#include "headless/program.h"

namespace tkw {

// The exit status: 0 when the running copy was reached, 1 when none runs or
// it cannot be reached (the reason said).
int AskRunningCopyToCorrect(const HeadlessProgram& program, Console& console);

}  // namespace tkw
