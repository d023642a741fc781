// How right the PC clock is, from the frames: every accepted frame gives one
// offset sample (the PC clock when the frame was read minus the frame's time
// plus the fine adjustment, in ms; positive: the PC is ahead). The engine
// feeds them in here on the main thread for every frame, so nothing here
// touches the heap: a minute's samples are kept in fixed storage.
//
// Spreads are population standard deviations (divided by the count, not by
// count - 1) throughout: a minute's samples are all there is of that minute,
// and one sample has a spread of 0 rather than none.
#pragma once

#include <array>
#include <optional>

namespace tkw {

// Count, mean, spread and extremes of a series, by Welford's update: the
// spread is summed from each value's distance to the running mean, so that
// offsets far from zero do not lose it to cancellation as a sum of squares
// would.
struct RunningStats {
    int count = 0;
    double mean = 0;
    double m2 = 0;  // sum of squared distances to the mean
    double min = 0;
    double max = 0;

    void Add(double x);
    double Sd() const;  // population; 0 for no sample
};

class OffsetStats {
public:
    // A minute holds about 60 samples. Its median is taken from the first
    // this many; count, mean, extremes and spread take every sample whatever
    // their number.
    static constexpr int kMinuteCapacity = 256;
    // Samples since the last step before their slope is taken for the drift.
    static constexpr int kDriftMinSamples = 30;

    // Samples summed up; the values mean nothing while count is 0.
    struct Summary {
        int count = 0;
        double meanMs = 0;
        double minMs = 0;
        double maxMs = 0;
        double sdMs = 0;
    };

    // One minute's row.
    struct Minute : Summary {
        double medianMs = 0;
        // The steps made in the minute, added up (new clock minus old, in
        // ms: negative when the clock was set back); none when none was made.
        std::optional<double> stepMs;
        // DriftPpm() at the minute's end.
        std::optional<double> driftPpm;
    };

    // A frame's offset; `atSeconds` is the frame's own time on any axis
    // that does not jump (only differences are used).
    void Add(double offsetMs, double atSeconds);

    // A correction moved the clock by `stepMs` (new minus old). The samples
    // before it say nothing of the clock after it: they leave both the
    // since-step figures and the current minute, whose row still names the
    // step.
    void Step(double stepMs);

    // The current minute's row; a new minute begins.
    Minute TakeMinute();

    // The samples since the last step (or since the start).
    Summary SinceStep() const;

    // How fast the PC clock runs, in parts per million (positive: it gains):
    // the least-squares slope of the offset against the frames' time, over
    // the samples since the last step once there are kDriftMinSamples of
    // them; before that, the last such slope of an earlier interval between
    // steps; none when there was none yet.
    std::optional<double> DriftPpm() const;

private:
    static Summary Summed(const RunningStats& s);

    RunningStats minute_;
    std::array<double, kMinuteCapacity> minuteSamples_{};
    std::optional<double> minuteStep_;

    // Since the last step: the offsets, and for their slope the times'
    // mean, their squared distances to it and the co-moment with the
    // offsets, all taken from the first sample's time so that a large axis
    // keeps its precision.
    RunningStats since_;
    double t0_ = 0;
    double meanT_ = 0;
    double m2T_ = 0;
    double cTY_ = 0;
    std::optional<double> earlierDrift_;
};

}  // namespace tkw
