// A fine adjustment that does not match the receiver's delay, found while
// running. Only a run that leaves the clock to something else (--no-step,
// with chronyd, systemd-timesyncd or the Windows Time service keeping it
// from network servers) can see it: there each frame's offset is the
// receiver's true delay minus the fine adjustment, and a day's mean away
// from zero is a constant error, not jitter. A run that sets the clock
// itself sets it from the same fine adjustment, so its offsets stay near
// zero whatever the receiver's delay is, and tell nothing about it.
//
// The setting is never changed here: the run says what --calibrate --save
// would store, and the user decides.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/offset_recorder.h"
#include "headless/clock_check.h"
#include "headless/console.h"
#include "headless/observer.h"

namespace tkw {

// A day needs this many samples (ten minutes of frames) to be judged, and a
// mean further from zero than this to be called an error.
inline constexpr int kDelayCheckMinFrames = 600;
inline constexpr double kDelayCheckMs = 5.0;

struct DelayFinding {
    bool due = false;       // the fine adjustment is off by more than kDelayCheckMs
    int calibratedMs = 0;   // what --calibrate --save would store
    std::string line;       // the log's line, when due
    std::string status;     // a short form for a status line, when due
};

// Judges one ended day's offsets against the fine adjustment in force. Not
// due when the day had too few frames, its mean is within kDelayCheckMs, or
// the clock was not known to be right (`clock` not trusted).
DelayFinding JudgeDay(const OffsetRecorder::Day& day, int fineMs, const ClockVerdict& clock,
                      const std::string& program);

// Watches a run's days: binds `recorder`'s day ends, judges each with the
// fine adjustment and the clock as they are then, says a due finding once a
// run on the console and gives the observers its status (empty again when a
// later day agrees).
class DelayWatch {
public:
    DelayWatch(OffsetRecorder& recorder, Console& console, std::string me, std::string program,
               const std::vector<RunObserver*>& observers, std::function<int()> fineMs,
               std::function<ClockVerdict()> clock);

private:
    void Day(const OffsetRecorder::Day& day);

    Console& console_;
    std::string me_;
    std::string program_;
    const std::vector<RunObserver*>& observers_;
    std::function<int()> fineMs_;
    std::function<ClockVerdict()> clock_;
    bool said_ = false;
    bool shown_ = false;
};

}  // namespace tkw
