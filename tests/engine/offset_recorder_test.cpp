// Every accepted frame's offset from the PC clock, as the receiver measures it
// and the recorder turns it into a row a minute: the value and its sign, which
// frames give none, and a step keeping the minute's samples before it out.
#include <gtest/gtest.h>

#include <vector>

#include "engine/offset_recorder.h"
#include "support/frames.h"

namespace tkw::test {
namespace {

struct OffsetRig : Rig {
    OffsetRig() {
        rx.Offsets = &recorder;
        recorder.OnSample = [this](double ms, LocalMs) { samples.push_back(ms); };
        recorder.OnRow = [this](const OffsetRow& row) { rows.push_back(row); };
    }
    // The frame for hh:mm:ss read `lateMs` after its second, by the PC
    // clock, a second after the previous one.
    void Frame(int h, int m, int s, int lateMs) {
        clock.Set(At(2026, 3, 14, h, m, s, lateMs));
        Feed(Krw(h, m, s));
        clock.Advance(1000);  // the monotonic clock moves on
    }
    OffsetRecorder recorder;
    std::vector<double> samples;
    std::vector<OffsetRow> rows;
};

TEST(Offsets, EachFrameReadAfterItsSecondMeasuresThePcAgainstIt) {
    const struct Case {
        uint16_t fineMs;
        int lateMs;
        double offsetMs;
    } cases[] = {
        {0, 250, 250.0},   // the PC reads the frame 250 ms into its second: 250 ms ahead
        {250, 250, 0.0},   // ... which is just the receiver's delay
        {135, 100, -35.0},  // a fine adjustment larger than the delay: the PC is behind
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fineMs);
        OffsetRig rig;
        rig.settings.CorrectionMode = 0;  // never corrects: the offsets alone
        rig.settings.FineAdjustMs = c.fineMs;
        rig.Frame(8, 5, 30, c.lateMs);  // the first frame has none to agree with
        rig.Frame(8, 5, 31, c.lateMs);
        rig.Frame(8, 5, 32, c.lateMs);
        EXPECT_EQ(rig.samples, (std::vector<double>{c.offsetMs, c.offsetMs}));
    }
}

TEST(Offsets, AFrameThatDoesNotFollowItsPredecessorGivesNone) {
    OffsetRig rig;
    rig.settings.CorrectionMode = 0;
    rig.Frame(8, 5, 30, 200);
    rig.Frame(8, 5, 31, 200);                        // a sample
    rig.clock.Set(At(2026, 3, 14, 8, 5, 32, 200));
    rig.Feed(Krw(3, 12, 7, 31, 7, 9));               // a misread: none
    rig.clock.Advance(1000);
    rig.Frame(8, 5, 33, 200);                        // after a misread: none
    rig.Frame(8, 5, 34, 200);                        // a sample
    rig.Frame(8, 5, 34, 200);                        // the same time again: none
    rig.clock.Set(At(2026, 3, 14, 8, 5, 36, 200));
    rig.Feed(Krw(8, 5, 36, 26, 13, 14));             // a month that cannot be: none
    EXPECT_EQ(rig.samples.size(), 2u);
}

// The default schedule corrects at second 31: the minute's row holds the
// samples after the step alone, and names the step.
TEST(Offsets, AStepLeavesTheSamplesBeforeItOutOfItsMinute) {
    OffsetRig rig;
    for (int s = 28; s <= 34; ++s) rig.Frame(8, 5, s, 500);  // 365 ms ahead until :31 sets it
    rig.recorder.OnSecond(ToLocalMs(At(2026, 3, 14, 8, 6, 0)));
    ASSERT_EQ(rig.rows.size(), 1u);
    const OffsetRow& row = rig.rows[0];
    EXPECT_EQ(row.minute, At(2026, 3, 14, 8, 5));
    EXPECT_EQ(row.frames, 3);                 // :32 to :34
    EXPECT_DOUBLE_EQ(row.meanMs, 365.0);      // the test's clock goes back to 500 ms late each frame
    ASSERT_TRUE(row.stepMs.has_value());
    EXPECT_DOUBLE_EQ(*row.stepMs, -365.0);    // new minus old: the PC set back
}

// The day's mean, for telling when the fine adjustment no longer matches the
// receiver: said once the day has ended, of that day's samples alone.
TEST(Offsets, ADayEndsWithTheMeanOfItsSamples) {
    OffsetRecorder recorder;
    std::vector<OffsetRecorder::Day> days;
    recorder.OnDay = [&](const OffsetRecorder::Day& d) { days.push_back(d); };
    const LocalMs evening = ToLocalMs(At(2026, 3, 14, 23, 59, 57));
    for (int i = 0; i < 3; ++i) recorder.Sample(2.0 + i, evening + 1000 * i, (evening + 1000 * i) * 1000);
    EXPECT_TRUE(days.empty());
    recorder.Sample(9.0, evening + 3000, (evening + 3000) * 1000);  // 00:00:00 of the next day
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].date, At(2026, 3, 14));
    EXPECT_EQ(days[0].frames, 3);
    EXPECT_DOUBLE_EQ(days[0].meanMs, 3.0);
}

}  // namespace
}  // namespace tkw::test
