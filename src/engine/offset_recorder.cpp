#include "engine/offset_recorder.h"

namespace tkw {
namespace {

constexpr LocalMs kMinute = 60'000;
constexpr LocalMs kDay = 86'400'000;

LocalMs MinuteOf(LocalMs t) {
    return (t >= 0 ? t : t - (kMinute - 1)) / kMinute * kMinute;
}

LocalMs MsOf(int64_t us) {
    return us >= 0 ? us / 1000 : -((999 - us) / 1000);
}

}  // namespace

void OffsetRecorder::Sample(double offsetMs, LocalMs frameMs, int64_t readUs) {
    Reach(MsOf(readUs));
    // The drift's time axis is the frames' own: it does not drift with the PC.
    stats_.Add(offsetMs, static_cast<double>(frameMs) / 1000.0);
    daySum_ += offsetMs;
    ++dayFrames_;
    anything_ = true;
    if (OnSample) OnSample(offsetMs, frameMs);
}

void OffsetRecorder::Stepped(double stepMs, int64_t beforeUs) {
    Reach(MsOf(beforeUs));
    stats_.Step(stepMs);
    anything_ = true;
}

void OffsetRecorder::OnSecond(LocalMs now) { Reach(now); }

void OffsetRecorder::Flush() {
    if (minute_ != kNoMinute && anything_) EndMinute();
}

void OffsetRecorder::Reach(LocalMs now) {
    const LocalMs minute = MinuteOf(now);
    if (minute_ != kNoMinute && minute <= minute_) return;
    if (minute_ != kNoMinute) {
        EndMinute();
        // Days are local days: the minute's day number since the epoch.
        const LocalMs day = (minute_ >= 0 ? minute_ : minute_ - (kDay - 1)) / kDay;
        if ((minute >= 0 ? minute : minute - (kDay - 1)) / kDay != day) {
            if (OnDay && dayFrames_ > 0) OnDay(Day{FromLocalMs(day * kDay), dayFrames_, daySum_ / dayFrames_});
            daySum_ = 0;
            dayFrames_ = 0;
        }
    }
    minute_ = minute;
}

void OffsetRecorder::EndMinute() {
    const OffsetStats::Minute m = stats_.TakeMinute();
    OffsetRow row;
    row.minute = FromLocalMs(minute_);
    row.frames = m.count;
    row.meanMs = m.meanMs, row.minMs = m.minMs, row.maxMs = m.maxMs, row.sdMs = m.sdMs;
    row.stepMs = m.stepMs;
    row.driftPpm = m.driftPpm;
    anything_ = false;
    lastRow_ = row;
    if (OnRow) OnRow(row);
}

}  // namespace tkw
