#include "timecode/offset_stats.h"

#include <algorithm>
#include <cmath>

namespace tkw {

void RunningStats::Add(double x) {
    ++count;
    const double d = x - mean;
    mean += d / count;
    m2 += d * (x - mean);
    if (count == 1 || x < min) min = x;
    if (count == 1 || x > max) max = x;
}

double RunningStats::Sd() const {
    return count > 0 ? std::sqrt(m2 / count) : 0.0;
}

void OffsetStats::Add(double offsetMs, double atSeconds) {
    if (minute_.count < kMinuteCapacity) minuteSamples_[static_cast<size_t>(minute_.count)] = offsetMs;
    minute_.Add(offsetMs);

    if (since_.count == 0) t0_ = atSeconds;
    since_.Add(offsetMs);
    const double t = atSeconds - t0_;
    const double dt = t - meanT_;
    meanT_ += dt / since_.count;
    m2T_ += dt * (t - meanT_);
    cTY_ += dt * (offsetMs - since_.mean);
}

void OffsetStats::Step(double stepMs) {
    if (since_.count >= kDriftMinSamples) earlierDrift_ = DriftPpm();
    since_ = {};
    meanT_ = m2T_ = cTY_ = 0;
    minute_ = {};
    minuteStep_ = minuteStep_.value_or(0.0) + stepMs;
}

OffsetStats::Minute OffsetStats::TakeMinute() {
    Minute m;
    static_cast<Summary&>(m) = Summed(minute_);
    const int kept = std::min(minute_.count, kMinuteCapacity);
    if (kept > 0) {
        // The samples go with the minute: sorting them in place costs no copy.
        double* first = minuteSamples_.data();
        std::sort(first, first + kept);
        m.medianMs = kept % 2 != 0 ? first[kept / 2] : (first[kept / 2 - 1] + first[kept / 2]) / 2;
    }
    m.stepMs = minuteStep_;
    m.driftPpm = DriftPpm();
    minute_ = {};
    minuteStep_.reset();
    return m;
}

OffsetStats::Summary OffsetStats::SinceStep() const {
    return Summed(since_);
}

std::optional<double> OffsetStats::DriftPpm() const {
    // ms of offset per s of time is a thousandth: ×1000 gives millionths.
    if (since_.count >= kDriftMinSamples && m2T_ > 0) return cTY_ / m2T_ * 1000.0;
    return earlierDrift_;
}

OffsetStats::Summary OffsetStats::Summed(const RunningStats& s) {
    return {s.count, s.mean, s.min, s.max, s.Sd()};
}

}  // namespace tkw
