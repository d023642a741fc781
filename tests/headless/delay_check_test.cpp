// A run that leaves the clock to a time daemon finds a fine adjustment that
// does not match the receiver from a day's offsets: what it judges, and that
// it says so once while the status keeps it in view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "headless/delay_check.h"

namespace tkw::test {
namespace {

ClockVerdict Synced() { return ClockVerdict{true, "synchronised by chronyd, estimated error 0.05 ms", {}}; }
ClockVerdict Unsynced() { return ClockVerdict{false, "not synchronised: no time daemon runs here", {}}; }

TEST(DelayCheck, ADayAwayFromZeroIsAFineAdjustmentToCalibrate) {
    const struct Case {
        int frames;
        double meanMs;
        int fineMs;
        ClockVerdict clock;
        bool due;
        int calibratedMs;
    } cases[] = {
        {86'400, +7.6, 135, Synced(), true, 143},   // the receiver is later than the setting allows
        {86'400, -7.6, 135, Synced(), true, 127},   // ... or earlier
        {86'400, -4.9, 135, Synced(), false, 0},    // within 5 ms: jitter, or near enough
        {599, +50.0, 135, Synced(), false, 0},      // too few frames to judge a day by
        {86'400, +50.0, 135, Unsynced(), false, 0},  // a clock not known right measures nothing
        {86'400, -200.0, 135, Synced(), true, 0},   // never outside the setting's range
        {86'400, +900.0, 135, Synced(), true, 999},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames, mean " + std::to_string(c.meanMs));
        const DelayFinding f = JudgeDay({SystemTime{2026, 12, 2, 8}, c.frames, c.meanMs}, c.fineMs, c.clock, "tkw");
        EXPECT_EQ(f.due, c.due);
        if (!c.due) continue;
        EXPECT_EQ(f.calibratedMs, c.calibratedMs);
        EXPECT_NE(f.line.find("on 2026-12-08"), std::string::npos) << f.line;
        EXPECT_NE(f.line.find("tkw --calibrate --save would store " + std::to_string(c.calibratedMs)), std::string::npos)
            << f.line;
    }
}

struct Lines final : Console {
    void Out(const std::string& line) override { out.push_back(line); }
    void Err(const std::string& line) override { out.push_back(line); }
    std::vector<std::string> out;
};

struct Status final : RunObserver {
    void CalibrationDue(const std::string& text) override { seen.push_back(text); }
    std::vector<std::string> seen;
};

TEST(DelayCheck, ARunSaysItOnceAndItsStatusShowsItUntilADayAgrees) {
    OffsetRecorder recorder;
    Lines console;
    Status status;
    std::vector<RunObserver*> observers{&status};
    int fetched = 0;
    DelayWatch watch(recorder, console, "tkw: ", "tkw", observers, [] { return 135; },
                     [&fetched] { ++fetched; return Synced(); });
    const LocalMs midnight = ToLocalMs(SystemTime{2026, 12, 2, 8});
    constexpr LocalMs kDay = 86'400'000;
    // A day of frames (one every 100 s is enough) with the given mean offset.
    const auto day = [&](int n, double meanMs) {
        const LocalMs start = midnight + n * kDay;
        for (int i = 0; i < 700; ++i) {
            const LocalMs at = start + i * 100'000LL;
            recorder.Sample(meanMs, at - 143, (at + 5) * 1000);
        }
    };
    day(0, +8.0);
    day(1, +8.0);
    day(2, +0.5);
    recorder.OnSecond(midnight + 3 * kDay);

    ASSERT_EQ(console.out.size(), 1u);  // once, though two days were off
    EXPECT_NE(console.out[0].find("--calibrate --save would store 143"), std::string::npos) << console.out[0];
    ASSERT_EQ(status.seen.size(), 3u);
    EXPECT_NE(status.seen[0].find("calibration due"), std::string::npos);
    EXPECT_EQ(status.seen[2], "");  // the third day agrees: gone from the status
    EXPECT_EQ(fetched, 3);
}

}  // namespace
}  // namespace tkw::test
