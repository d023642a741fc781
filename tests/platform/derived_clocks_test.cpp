// The clocks that stand in for the real one (dry runs, the Windows test
// build, replays) and the one-time notice of a refused step.
#include <gtest/gtest.h>

#include "platform/derived_clocks.h"
#include "support/fakes.h"

namespace tkw::test {
namespace {

TEST(OffsetClock, ReadsTheBaseShiftedByEveryStepAndSkipsRefusedOnes) {
    FakeClock base(At(2026, 3, 1, 12, 0, 0));
    std::vector<SystemTime> heard;
    bool refuse = false;
    OffsetClock clock(base, [&](const SystemTime& t) {
        heard.push_back(t);
        return !refuse;
    });
    EXPECT_EQ(clock.GetLocalTime(), At(2026, 3, 1, 12, 0, 0));

    EXPECT_TRUE(clock.SetLocalTime(At(2026, 3, 1, 12, 0, 30, 135)));
    base.Advance(1000);  // time goes on under the step
    EXPECT_EQ(clock.GetLocalTime(), At(2026, 3, 1, 12, 0, 31, 135));
    EXPECT_TRUE(base.sets.empty()) << "the base clock is never stepped";

    refuse = true;
    EXPECT_FALSE(clock.SetLocalTime(At(2030, 1, 1)));
    EXPECT_EQ(clock.GetLocalTime(), At(2026, 3, 1, 12, 0, 31, 135));
    SystemTime bad = At(2026, 2, 28);
    bad.wDay = 30;  // 30 February: refused before anyone hears of it
    EXPECT_FALSE(clock.SetLocalTime(bad));
    EXPECT_EQ(heard.size(), 2u);

    // A step to the last instant a SystemTime holds, then time goes on:
    // readings stay there instead of running past the year 9999.
    refuse = false;
    ASSERT_TRUE(clock.SetLocalTime(FromLocalMs(kMaxLocalMs)));
    base.Advance(5000);
    EXPECT_EQ(clock.GetLocalTime(), FromLocalMs(kMaxLocalMs));
}

TEST(WarnOnceClock, TellsOfTheFirstRefusalOnly) {
    struct Refusing final : Clock {
        SystemTime GetLocalTime() override { return At(2026, 1, 1); }
        bool SetLocalTime(const SystemTime&) override { return ok; }
        bool ok = true;
    } inner;
    int told = 0;
    WarnOnceClock clock(inner, [&] { ++told; });
    EXPECT_TRUE(clock.SetLocalTime(At(2026, 1, 1, 1)));
    inner.ok = false;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(clock.SetLocalTime(At(2026, 1, 1, 2)));
    inner.ok = true;
    EXPECT_TRUE(clock.SetLocalTime(At(2026, 1, 1, 3)));
    inner.ok = false;
    EXPECT_FALSE(clock.SetLocalTime(At(2026, 1, 1, 4)));
    EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace tkw::test
