#include "headless/delay_check.h"

#include <cmath>

#include "config/calibration_file.h"
#include "logs/offsets_file.h"

namespace tkw {

namespace {

std::string Signed(double ms) {
    std::string text(ms < 0 ? "" : "+");
    return text += FormatFixed(ms, 1);
}

}  // namespace

DelayFinding JudgeDay(const OffsetRecorder::Day& day, int fineMs, const ClockVerdict& clock,
                      const std::string& program) {
    DelayFinding f;
    if (!clock.trusted || day.frames < kDelayCheckMinFrames || !(std::fabs(day.meanMs) > kDelayCheckMs)) return f;
    // offset = true time at the read - (frame + fine) = delay - fine.
    const double delayMs = fineMs + day.meanMs;
    f.due = true;
    f.calibratedMs = FineAdjustForDelay(delayMs);
    const std::string date = DateTimeText(day.date).substr(0, 10);
    f.line = "the fine adjustment (" + std::to_string(fineMs) + " ms) does not match the receiver: on " + date +
             " its frames arrived " + Signed(day.meanMs) + " ms from it on average (" + std::to_string(day.frames) +
             " frames, by this PC's clock: " + clock.found + "), a receiver's delay of about " +
             FormatFixed(delayMs, 1) + " ms; " + program + " --calibrate --save would store " +
             std::to_string(f.calibratedMs) + " (the setting is left as it is)";
    f.status = "calibration due: fine adjustment " + std::to_string(fineMs) + " ms, receiver's delay " +
               FormatFixed(delayMs, 1) + " ms (" + program + " --calibrate --save)";
    return f;
}

DelayWatch::DelayWatch(OffsetRecorder& recorder, Console& console, std::string me, std::string program,
                       const std::vector<RunObserver*>& observers, std::function<int()> fineMs,
                       std::function<ClockVerdict()> clock)
    : console_(console),
      me_(std::move(me)),
      program_(std::move(program)),
      observers_(observers),
      fineMs_(std::move(fineMs)),
      clock_(std::move(clock)) {
    recorder.OnDay = [this](const OffsetRecorder::Day& day) { Day(day); };
}

void DelayWatch::Day(const OffsetRecorder::Day& day) {
    // The clock is judged only for a day worth judging: reading its state
    // looks at the system's processes.
    if (day.frames < kDelayCheckMinFrames) return;
    const DelayFinding f = JudgeDay(day, fineMs_(), clock_(), program_);
    if (f.due && !said_) {
        // Once a run: the status keeps showing it, the log need not repeat it daily.
        console_.Err(me_ + f.line);
        said_ = true;
    }
    if (f.due || shown_) {
        for (RunObserver* o : observers_) o->CalibrationDue(f.status);
        shown_ = f.due;
    }
}

}  // namespace tkw
