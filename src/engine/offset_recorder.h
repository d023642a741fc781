// How right the clock is, minute by minute: the receiver's offsets and steps
// go into the statistics (timecode/offset_stats.h), and each minute of the PC
// clock that ends gives one row, which the program writes to the daily file
// (logs/offsets_file.h) and shows where it shows its state. On the main
// thread, like the receiver and the tick that feed it.
#pragma once

#include <functional>
#include <optional>

#include "logs/offsets_file.h"
#include "timecode/offset_stats.h"
#include "timecode/receiver.h"

namespace tkw {

class OffsetRecorder final : public OffsetSink {
public:
    void Sample(double offsetMs, LocalMs frameMs, int64_t readUs) override;
    void Stepped(double stepMs, int64_t beforeUs) override;
    // Once a second (the tick): a minute that has ended gives its row, with
    // or without frames.
    void OnSecond(LocalMs now);
    // At the end of a run: the minute so far, when it has anything to say.
    void Flush();

    const OffsetStats& Stats() const { return stats_; }
    // The last row given; none before the first minute has ended.
    const std::optional<OffsetRow>& LastRow() const { return lastRow_; }

    // Each row, as a minute ends.
    std::function<void(const OffsetRow&)> OnRow;
    // A day of the PC clock has ended (the first minute of the next one was
    // reached): how many samples it had and their mean, unless it had none.
    struct Day {
        SystemTime date;
        int frames = 0;
        double meanMs = 0;
    };
    std::function<void(const Day&)> OnDay;
    // Each sample, as it comes (for a program that prints them).
    std::function<void(double offsetMs, LocalMs frameMs)> OnSample;

private:
    // The minute `now` is in becomes the current one; a later one ends the
    // current minute first. The clock set back never reopens a minute: its
    // samples go on into the current one.
    void Reach(LocalMs now);
    void EndMinute();

    static constexpr LocalMs kNoMinute = INT64_MIN;
    OffsetStats stats_;
    LocalMs minute_ = kNoMinute;  // the current minute's start
    bool anything_ = false;       // it has a sample or a step
    std::optional<OffsetRow> lastRow_;
    // The current day's samples (their sum in ms and their count).
    double daySum_ = 0;
    int dayFrames_ = 0;
};

}  // namespace tkw
