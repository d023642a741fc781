// tkw --stats [--day YYMMDD]: how right the clock was on a day, summed up
// from that day's offsets file in the working directory.
#pragma once

#include "headless/console.h"
#include "headless/options.h"
#include "headless/program.h"
#include "platform/clock.h"

namespace tkw {

// 0 after the summary; 1 when the day has no file (or it cannot be read).
int PrintStats(const HeadlessOptions& options, const HeadlessProgram& program, Clock& clock, Console& console);

}  // namespace tkw
