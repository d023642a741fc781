// The one-second tick: when it acts, the 12-byte frame it sends, the labels,
// and the indicator's colour from the signal age and a pending jump.
#include <gtest/gtest.h>

#include <climits>

#include "engine/tick.h"
#include "support/fakes.h"

namespace tkw::test {
namespace {

using Bytes = std::vector<uint8_t>;

struct TickRig {
    explicit TickRig(SystemTime start) : clock(start) {
        ApplyDefaults(settings);
        settings.PortNumber = 200;
    }
    bool Tick() { return tick.CheckSecond(clock, port, settings, state); }
    const Bytes& LastFrame() const { return port.writes.back().second; }

    FakeClock clock;
    RecordingPort port;
    Settings settings;
    RuntimeState state = RuntimeState::AtStartUp();
    SecondTick tick;
};

TEST(Tick, FirstTickSendsTheFrameAndShowsDateTimeAndNoSignal) {
    TickRig rig(At(2019, 7, 24, 13, 5, 9, 7));
    EXPECT_EQ(rig.tick.StatusText, kNoSignalText);  // a double-click before any tick
    ASSERT_TRUE(rig.Tick());
    ASSERT_EQ(rig.port.writes.size(), 1u);
    EXPECT_EQ(rig.port.writes[0].first, 200);
    EXPECT_EQ(rig.LastFrame(), (Bytes{0xAA, 0xAA, 0x00, 0x19, 0x07, 0x24, 0x13, 0x05, 0x09, 0x00, 0x07, 0xA3}));
    EXPECT_EQ(rig.tick.DateLabel, "2019-07-24 星期三 ");
    EXPECT_EQ(rig.tick.TimeLabel, "13:05:09");
    EXPECT_EQ(rig.tick.indicator, Indicator::Red);
    EXPECT_EQ(rig.tick.StatusText, kNoSignalText);
}

TEST(Tick, TimeLabelAndBcdBytesAcrossTheDay) {
    struct Case {
        SystemTime t;
        const char* label;
        Bytes bytes3to10;
    } cases[] = {
        {At(2019, 7, 24, 9, 5, 7, 250), "9:05:07", {0x19, 0x07, 0x24, 0x09, 0x05, 0x07, 0x02, 0x50}},
        {At(2000, 1, 1, 0, 0, 0, 0), "0:00:00", {0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {At(2105, 12, 31, 23, 59, 59, 999), "23:59:59", {0x05, 0x12, 0x31, 0x23, 0x59, 0x59, 0x09, 0x99}},
        {At(2026, 10, 19, 10, 40, 30, 100), "10:40:30", {0x26, 0x10, 0x19, 0x10, 0x40, 0x30, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        TickRig rig(c.t);
        ASSERT_TRUE(rig.Tick());
        EXPECT_EQ(rig.tick.TimeLabel, c.label);
        EXPECT_EQ(Bytes(rig.LastFrame().begin() + 3, rig.LastFrame().end() - 1), c.bytes3to10) << c.label;
    }
}

TEST(Tick, ActsOnlyWhenTheSecondChanges) {
    TickRig rig(At(2026, 3, 1, 10, 0, 0, 100));
    struct Step {
        int64_t advanceMs;
        bool acts;
    } steps[] = {
        {0, true},        // first call after start-up
        {2, false},       // 2 ms later, same second
        {897, false},     // 10:00:00.999
        {60'000, false},  // clock stepped by a whole minute: same second value
        {1, true},        // 10:01:01.000
        {-300, true},     // stepped back into 10:01:00: handled again
        {300, true},      // and 10:01:01 once more
    };
    int32_t age = rig.state.SignalAge;
    size_t writes = 0;
    for (const Step& s : steps) {
        rig.clock.Advance(s.advanceMs);
        EXPECT_EQ(rig.Tick(), s.acts) << WithMsText(FromLocalMs(rig.clock.Now()));
        if (s.acts) {
            ++age;
            ++writes;
        }
        EXPECT_EQ(rig.state.SignalAge, age);
        EXPECT_EQ(rig.port.writes.size(), writes);
    }
}

TEST(Tick, IndicatorFollowsSignalAgeAndPendingJump) {
    TickRig rig(At(2026, 3, 1, 10, 0, 0));
    const auto green = std::make_tuple(Indicator::Green, std::string("工作正常！"));
    const auto yellow = std::make_tuple(Indicator::Yellow, std::string("标准与本地时间跳跃，如校正请选择菜单立即校时！"));
    const auto red = std::make_tuple(Indicator::Red, std::string(kNoSignalText));

    for (bool jump : {false, true}) {
        rig.state.SignalAge = 0;  // a frame was just accepted
        rig.state.JumpPending = jump;
        for (int tick = 1; tick <= 7; ++tick) {
            rig.clock.Advance(1000);
            ASSERT_TRUE(rig.Tick());
            const auto want = tick >= 6 ? red : jump ? yellow : green;
            EXPECT_EQ(std::make_tuple(rig.tick.indicator, rig.tick.StatusText), want)
                << "jump " << jump << ", tick " << tick;
            EXPECT_EQ(rig.state.NoSignal, tick >= 6);
        }
    }
    // Unattended for years: the age stops at its top instead of wrapping to green.
    rig.state.SignalAge = INT32_MAX;
    rig.clock.Advance(1000);
    rig.Tick();
    EXPECT_EQ(rig.state.SignalAge, INT32_MAX);
    EXPECT_EQ(rig.tick.indicator, Indicator::Red);
}

TEST(Tick, DateLabelTurnsOverAtMidnightWithTheWeekday) {
    const char* const expected[] = {"2019-07-21 星期日 ", "2019-07-22 星期一 ", "2019-07-23 星期二 ",
                                    "2019-07-24 星期三 ", "2019-07-25 星期四 ", "2019-07-26 星期五 ",
                                    "2019-07-27 星期六 ", "2019-07-28 星期日 "};
    TickRig rig(At(2019, 7, 20, 23, 59, 59, 998));
    ASSERT_TRUE(rig.Tick());
    EXPECT_EQ(rig.tick.DateLabel, "2019-07-20 星期六 ");
    for (const char* label : expected) {
        rig.clock.Advance(5);  // 00:00:00.003 of the next day
        ASSERT_TRUE(rig.Tick());
        EXPECT_EQ(rig.tick.DateLabel, label);
        EXPECT_EQ(rig.tick.TimeLabel, "0:00:00");
        rig.clock.Advance(86'399'995);  // 23:59:59.998 of the same day
        ASSERT_TRUE(rig.Tick());
        EXPECT_EQ(rig.tick.DateLabel, label);
    }
    // Year end: the frame carries the new date at the first tick.
    TickRig eve(At(2019, 12, 31, 23, 59, 59, 990));
    eve.Tick();
    eve.clock.Advance(20);
    ASSERT_TRUE(eve.Tick());
    EXPECT_EQ(eve.tick.DateLabel, "2020-01-01 星期三 ");
    EXPECT_EQ(Bytes(eve.LastFrame().begin() + 3, eve.LastFrame().begin() + 6), (Bytes{0x20, 0x01, 0x01}));
}

}  // namespace
}  // namespace tkw::test
