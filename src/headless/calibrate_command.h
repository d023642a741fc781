// --calibrate [COMn] [--seconds N] [--save] [--trust-clock]: the receiver's
// delay measured instead of guessed. A receiver sends the frame naming a
// second some time after that second began (its own processing and the
// frame's time on the line); the fine adjustment is meant to cancel that.
// Here the port is listened to for N seconds (600 by default) and every
// frame's arrival, when the read that completed it returned, is measured by
// this PC's clock against the second the frame names: the engine as a run
// builds it, with the fine adjustment 0, no correction due, a clock that
// refuses every step and a port that takes no byte, so that each offset the
// receiver measures is the delay itself. The PC's clock is the reference and
// must be right to better than a millisecond meanwhile: its synchronisation
// is checked first (headless/clock_check.h) unless --trust-clock says not to.
//
// Standard output gets three lines, stable for scripts:
//   COM1 (/dev/ttyUSB0) KRW_CODE at 4800 bit/s: 598 frames in 600 s
//   receiver delay: median 127.4 ms, mean 127.6, sd 0.8, 95 % of frames within 125.9..129.3
//   fine adjustment now 135 ms: the clock is set 7.6 ms late; calibrated value: 127
// (the last two only when a frame was measured), and standard error the
// clock's state, the progress every 10 s and what went wrong. --save stores
// the calibrated value through --set's path, and what it was measured for in
// horalsys.cal (config/calibration_file.h), when at least 60 frames were
// measured and 95 % of them lie within 10 ms.
#pragma once

#include "headless/run.h"

namespace tkw {

// Exit status: 0 when the whole time was listened to and frames were
// measured (and, with --save, stored); 1 otherwise.
int CalibrateReceiver(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams);

}  // namespace tkw
