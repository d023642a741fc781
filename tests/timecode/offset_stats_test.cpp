// The offset statistics: a minute's and the since-step figures of known
// sample sets, the drift of a clock running 25 ppm fast, and a step keeping
// the samples before it out of everything after it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "timecode/offset_stats.h"

namespace tkw {
namespace {

TEST(OffsetStats, MinuteAndSinceStepFiguresOfKnownSets) {
    std::vector<double> ramp300;
    for (int i = 0; i < 300; ++i) ramp300.push_back(i);
    const struct Case {
        const char* name;
        std::vector<double> samples;
        double mean, median, sd, min, max;
    } cases[] = {
        {"one sample", {5.25}, 5.25, 5.25, 0.0, 5.25, 5.25},
        {"even count", {4, 1, 3, 2}, 2.5, 2.5, 1.118033989, 1, 4},
        {"odd count, negatives", {2.0, -1.5, 0.5}, 1.0 / 3, 0.5, 1.433720878, -1.5, 2.0},
        // Far from zero: a sum of squares would lose the spread entirely.
        {"offset by 1e9", {1e9 + 1, 1e9 + 3, 1e9 + 2}, 1e9 + 2, 1e9 + 2, 0.816496581, 1e9 + 1, 1e9 + 3},
        // Beyond the storage: the median is the first 256 samples' (0..255),
        // everything else all 300's.
        {"300 samples", ramp300, 149.5, 127.5, 86.60205925, 0, 299},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OffsetStats stats;
        for (size_t i = 0; i < c.samples.size(); ++i) stats.Add(c.samples[i], static_cast<double>(i));
        const OffsetStats::Summary since = stats.SinceStep();
        const OffsetStats::Minute m = stats.TakeMinute();
        for (const OffsetStats::Summary& s : {static_cast<const OffsetStats::Summary&>(m), since}) {
            EXPECT_EQ(s.count, static_cast<int>(c.samples.size()));
            EXPECT_NEAR(s.meanMs, c.mean, 1e-6);
            EXPECT_NEAR(s.sdMs, c.sd, 1e-6);
            EXPECT_EQ(s.minMs, c.min);
            EXPECT_EQ(s.maxMs, c.max);
        }
        EXPECT_NEAR(m.medianMs, c.median, 1e-6);
        EXPECT_FALSE(m.stepMs);
        EXPECT_EQ(stats.TakeMinute().count, 0);  // a new minute began
        EXPECT_EQ(stats.SinceStep().count, static_cast<int>(c.samples.size()));
    }
}

// A clock 25 ppm fast gains 0.025 ms a second. The frames' times lie far out
// on their axis, as seconds since an epoch do.
TEST(OffsetStats, DriftOfA25PpmRampIsRecovered) {
    for (const double noiseMs : {0.0, 1.0}) {
        SCOPED_TRACE(noiseMs);
        OffsetStats stats;
        uint32_t seed = 7;
        const double t0 = 1.7e9;
        for (int i = 0; i < 1000; ++i) {
            if (i == OffsetStats::kDriftMinSamples - 1) {
                EXPECT_FALSE(stats.DriftPpm());
            }
            seed = seed * 1103515245u + 12345u;
            const double noise = noiseMs * ((seed >> 8) / double(1u << 24) * 2 - 1);  // uniform ±noiseMs
            stats.Add(3.0 + 0.025 * i + noise, t0 + i);
        }
        ASSERT_TRUE(stats.DriftPpm());
        EXPECT_NEAR(*stats.DriftPpm(), 25.0, noiseMs == 0 ? 1e-6 : 0.5);

        // After a step, too few samples for a slope of their own: the drift
        // is the earlier interval's, in the minute's row too.
        const double before = *stats.DriftPpm();
        stats.Step(-28.0);
        for (int i = 0; i < 10; ++i) stats.Add(-0.5 * i, t0 + 2000 + i);  // a steep slope, too short to count
        EXPECT_EQ(stats.DriftPpm(), before);
        EXPECT_EQ(stats.TakeMinute().driftPpm, before);
    }
}

TEST(OffsetStats, AStepKeepsTheSamplesBeforeItOutOfEverything) {
    OffsetStats stats;
    for (int i = 0; i < 40; ++i) stats.Add(100.0 + i, i);  // enough for a drift of their own
    stats.Step(-139.0);
    stats.Add(0.5, 41);
    stats.Add(1.5, 42);
    stats.Step(-1.0);  // a second step in the same minute: the row names their sum
    stats.Add(0.25, 43);
    stats.Add(0.75, 44);

    const OffsetStats::Summary since = stats.SinceStep();
    EXPECT_EQ(since.count, 2);
    EXPECT_DOUBLE_EQ(since.meanMs, 0.5);
    const OffsetStats::Minute m = stats.TakeMinute();
    EXPECT_EQ(m.count, 2);
    EXPECT_DOUBLE_EQ(m.meanMs, 0.5);
    EXPECT_DOUBLE_EQ(m.medianMs, 0.5);
    EXPECT_DOUBLE_EQ(m.minMs, 0.25);
    EXPECT_DOUBLE_EQ(m.maxMs, 0.75);
    EXPECT_DOUBLE_EQ(m.sdMs, 0.25);
    EXPECT_EQ(m.stepMs, -140.0);
    ASSERT_TRUE(m.driftPpm);  // the 40 samples' slope, 1 ms/s
    EXPECT_NEAR(*m.driftPpm, 1000.0, 1e-6);

    const OffsetStats::Minute next = stats.TakeMinute();
    EXPECT_EQ(next.count, 0);
    EXPECT_FALSE(next.stepMs);
}

}  // namespace
}  // namespace tkw
