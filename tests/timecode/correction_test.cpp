// What an accepted frame does to the PC clock: the schedule, the jump and date
// tests with their log lines and flags, frames that must never set the clock,
// the fine adjustment and the time spent in the call, and the feedback.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/frames.h"

namespace tkw::test {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

double Tod(int h, int m, int s, int ms = 0) {
    return ((h * 60 + m) * 60 + s + ms / 1000.0) / 86400.0;
}

TEST(Schedule, DecidesWhichFramesCorrect) {
    struct Case {
        const char* name;
        uint8_t mode, second, minute, count;
        std::vector<std::pair<int, double>> points;  // slot, value
        int h, m, s;
        bool due;
    } cases[] = {
        {"every minute: at the second", 1, 31, 0, 0, {}, 8, 5, 31, true},
        {"every minute: other second", 1, 31, 0, 0, {}, 8, 5, 32, false},
        {"every hour: minute and second", 2, 31, 0, 0, {}, 9, 0, 31, true},
        {"every hour: second alone", 2, 31, 0, 0, {}, 9, 5, 31, false},
        {"every hour: minute alone", 2, 31, 0, 0, {}, 9, 0, 32, false},
        {"daily point matches", 3, 0, 0, 1, {{0, Tod(12, 0, 0)}}, 12, 0, 0, true},
        {"daily point one second off", 3, 0, 0, 1, {{0, Tod(12, 0, 0)}}, 12, 0, 1, false},
        {"daily point with a date and milliseconds", 3, 0, 0, 2, {{1, 46000 + Tod(12, 0, 0, 600)}}, 12, 0, 0, true},
        {"no daily points in use", 3, 0, 0, 0, {{0, Tod(12, 0, 0)}}, 12, 0, 0, false},
        {"point beyond the count", 3, 0, 0, 1, {{0, Tod(6, 0, 0)}, {1, Tod(12, 0, 0)}}, 12, 0, 0, false},
        {"damaged count reaches the last slot only", 3, 0, 0, 255, {{24, Tod(12, 0, 0)}}, 12, 0, 0, true},
        {"unusable points skipped", 3, 0, 0, 5,
         {{0, kNaN}, {1, kInf}, {2, -kInf}, {3, 1e300}, {4, Tod(12, 0, 0)}}, 12, 0, 0, true},
        {"unusable points never match", 3, 0, 0, 4, {{0, kNaN}, {1, kInf}, {2, 1e300}, {3, -1e300}}, 0, 0, 0,
         false},
        {"no schedule", 0, 31, 0, 0, {}, 8, 5, 31, false},
        {"unknown mode", 4, 31, 0, 0, {}, 8, 5, 31, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.settings.CorrectionMode = c.mode;
        rig.settings.CorrectionSecond = c.second;
        rig.settings.CorrectionMinute = c.minute;
        rig.settings.DailyPointCount = c.count;
        for (auto [slot, value] : c.points) rig.settings.DailyPoints[static_cast<size_t>(slot)] = value;
        rig.settings.NoCorrectOnJump = false;
        rig.state.SignalAge = 50;
        rig.state.JumpPending = true;
        rig.clock.Set(At(2026, 3, 14, c.h, c.m, c.s));  // in step: only the schedule decides
        rig.Feed(Krw(c.h, c.m, c.s));
        EXPECT_EQ(rig.Only("SET").size(), c.due ? 1u : 0u);
        EXPECT_EQ(rig.state.SignalAge, 0);            // every accepted frame
        EXPECT_EQ(rig.state.JumpPending, !c.due);     // untouched unless the gate is passed
    }
}

const std::string kSet = "SET 2026-03-14 08:05:31.135";
const std::string kTx = "TX 1 55 AA";

std::string TimeJump(const char* frame, const char* pc) {
    return std::string("LOG1 跳动发生！接收时间信息是：") + frame + "  当前机器时间是：" + pc + "  跳动设置是：3秒";
}
std::string DateJump(const char* frame, const char* pc) {
    return std::string("LOG1 跳动发生！接收日期信息是：") + frame + "  当前机器日期是：" + pc + "  跳动设置是：3秒";
}

TEST(JumpHandling, LinesFlagsAndWhetherTheClockIsSet) {
    struct Case {
        const char* name;
        SystemTime pc;
        Bytes frame;
        bool noCorrectOnJump, correctNow, jumpLog;
        Events expected;
        bool jumpPending;
    } cases[] = {
        {"exactly the threshold is no jump", At(2026, 3, 14, 8, 5, 28), Krw(8, 5, 31), true, false, true,
         {kSet, kTx}, false},
        {"one second more is", At(2026, 3, 14, 8, 5, 27), Krw(8, 5, 31), true, false, true,
         {TimeJump("8:5:31", "8:5:27")}, true},
        {"PC ahead counts the same", At(2026, 3, 14, 8, 5, 35), Krw(8, 5, 31), true, false, true,
         {TimeJump("8:5:31", "8:5:35")}, true},
        {"no line without the jump log", At(2026, 3, 14, 8, 5, 27), Krw(8, 5, 31), true, false, false, {}, true},
        // A jump, corrected or not, waits for a second frame to agree.
        {"jump allowed: waits", At(2026, 3, 14, 8, 5, 27), Krw(8, 5, 31), false, false, true,
         {TimeJump("8:5:31", "8:5:27")}, true},
        {"correct-now overrides, and waits", At(2026, 3, 14, 8, 5, 27), Krw(8, 5, 31), true, true, true,
         {TimeJump("8:5:31", "8:5:27")}, true},
        {"no wrap at midnight", At(2026, 3, 14, 23, 59, 59), Krw(0, 0, 31, 26, 3, 15), true, false, true,
         {TimeJump("0:0:31", "23:59:59"), DateJump("2026-3-15", "2026-3-14")}, true},
        {"date alone differs", At(2026, 3, 14, 8, 5, 30), Krw(8, 5, 31, 26, 3, 15), true, false, true,
         {DateJump("2026-3-15", "2026-3-14")}, true},
        // Another date is a jump too: the step waits for the next frame.
        {"a day's step is held", At(2026, 3, 14, 8, 5, 30), Krw(8, 5, 31, 26, 3, 15), false, false, true,
         {DateJump("2026-3-15", "2026-3-14")}, true},
        {"zero date bytes take the PC's date", At(2026, 3, 14, 8, 5, 30), Krw(8, 5, 31, 0, 0, 0), true, false,
         true, {kSet, kTx}, false},
        // 8:60:31 is 9:00:31 in seconds of the day: within the threshold, so
        // the pending jump is cleared although the clock is not set.
        {"minute 60 within the threshold", At(2026, 3, 14, 9, 0, 30), Krw(8, 60, 31), true, true, true, {},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.clock.Set(c.pc);
        rig.settings.NoCorrectOnJump = c.noCorrectOnJump;
        rig.state.CorrectNow = c.correctNow;
        rig.state.JumpLogOn = c.jumpLog;
        rig.state.JumpPending = true;  // an earlier verdict, re-evaluated here
        rig.Feed(c.frame);
        EXPECT_EQ(rig.events, c.expected);
        EXPECT_EQ(rig.state.JumpPending, c.jumpPending);
        EXPECT_EQ(rig.state.CorrectNow, c.correctNow && rig.Only("SET").empty());
    }
}

std::string Dropped(const char* held, const char* next) {
    return std::string("LOG1 跳动未获下一帧确认，不校时！接收时间信息是：") + held + "  下一帧时间信息是：" + next;
}

// A jump (beyond the threshold, or another date) is made only when a later
// frame agrees with one that asked for it: the time it names plus the whole
// seconds read between the two by the monotonic clock; and from that frame.
// A frame that does not agree is kept in turn, for a few seconds. Chunks come
// a second apart (an empty one is a second without a frame); the jump log is on.
TEST(LargeStep, WaitsForASecondFrameToAgree) {
    const SystemTime deadBattery = At(2001, 1, 1, 0, 0, 5);
    const std::string tj = TimeJump("8:5:31", "0:0:5"), dj = DateJump("2026-3-14", "2001-1-1");
    const Bytes misread = Krw(3, 12, 7, 31, 7, 9), none;
    const std::string misreadJumps[2] = {TimeJump("3:12:7", "8:5:30"), DateJump("2031-7-9", "2026-3-14")};
    struct Case {
        const char* name;
        SystemTime pc;
        bool correctNow, noCorrectOnJump;
        std::vector<Bytes> chunks;
        Events expected;
        bool jumpPending;
    } cases[] = {
        {"dead clock battery: set a second later", deadBattery, true, true, {Krw(8, 5, 31), Krw(8, 5, 32)},
         {tj, dj, "SET 2026-03-14 08:05:32.135", kTx}, false},
        {"a missing frame between is fine", deadBattery, true, true, {Krw(8, 5, 31), none, Krw(8, 5, 33)},
         {tj, dj, "SET 2026-03-14 08:05:33.135", kTx}, false},
        {"frames of one read never agree: the next read's does", deadBattery, true, true,
         {Cat({Krw(8, 5, 31), Krw(8, 5, 32)}), Krw(8, 5, 33)},
         {tj, dj, Dropped("2026-3-14 8:5:31", "2026-3-14 8:5:32"), TimeJump("8:5:32", "0:0:5"), dj,
          "SET 2026-03-14 08:05:33.135", kTx},
         false},
        {"a second later but 4 s on: held in turn", deadBattery, true, true, {Krw(8, 5, 31), Krw(8, 5, 35)},
         {tj, dj, Dropped("2026-3-14 8:5:31", "2026-3-14 8:5:35"), TimeJump("8:5:35", "0:0:6"), dj}, true},
        {"good and bad frames alternating", deadBattery, true, true, {Krw(8, 5, 31), misread, Krw(8, 5, 33)},
         {tj, dj, Dropped("2026-3-14 8:5:31", "2031-7-9 3:12:7"), TimeJump("3:12:7", "0:0:6"),
          DateJump("2031-7-9", "2001-1-1"), "SET 2026-03-14 08:05:33.135", kTx},
         false},
        {"a PC 10 s behind is set at the second frame", At(2026, 3, 14, 8, 5, 21), true, true,
         {Krw(8, 5, 31), Krw(8, 5, 32)}, {TimeJump("8:5:31", "8:5:21"), "SET 2026-03-14 08:05:32.135", kTx}, false},
        {"the same misread twice never agrees", At(2026, 3, 14, 8, 5, 30), true, true, {misread, misread},
         {misreadJumps[0], misreadJumps[1], Dropped("2031-7-9 3:12:7", "2031-7-9 3:12:7"),
          TimeJump("3:12:7", "8:5:31"), misreadJumps[1], "LOG1 接收时间未走动，不校时！接收时间信息是：2031-7-9 3:12:7"},
         true},
        {"misread at start-up: dropped, the next frame corrects", At(2026, 3, 14, 8, 5, 30), true, true,
         {misread, Krw(8, 5, 31)},
         {misreadJumps[0], misreadJumps[1], Dropped("2031-7-9 3:12:7", "2026-3-14 8:5:31"), kSet, kTx}, false},
        {"59 minutes off at start-up: waits, and the next frame corrects", At(2026, 3, 14, 8, 5, 30), true, true,
         {Krw(9, 4, 31), Krw(8, 5, 31)},
         {TimeJump("9:4:31", "8:5:30"), Dropped("2026-3-14 9:4:31", "2026-3-14 8:5:31"), kSet, kTx}, false},
        {"misread and a good frame in one chunk: weighed against the PC", At(2026, 3, 14, 8, 5, 30), true, true,
         {Cat({misread, Krw(8, 5, 30)})},
         {misreadJumps[0], misreadJumps[1], Dropped("2031-7-9 3:12:7", "2026-3-14 8:5:30"),
          "SET 2026-03-14 08:05:30.135", kTx},
         false},
        {"scheduled, jumps corrected: 5 h behind", At(2026, 3, 14, 3, 5, 30), false, false,
         {Krw(8, 5, 31), Krw(8, 5, 32)}, {TimeJump("8:5:31", "3:5:30"), "SET 2026-03-14 08:05:32.135", kTx}, false},
        {"scheduled misread: the next frame makes the correction owed", At(2026, 3, 14, 8, 5, 30), false, false,
         {Krw(3, 12, 31, 31, 7, 9), Krw(8, 5, 32)},
         {TimeJump("3:12:31", "8:5:30"), DateJump("2031-7-9", "2026-3-14"),
          Dropped("2031-7-9 3:12:31", "2026-3-14 8:5:32"), "SET 2026-03-14 08:05:32.135", kTx},
         false},
        {"a candidate is forgotten after a few seconds", deadBattery, true, true,
         {Krw(8, 5, 31), none, none, none, none, none, Krw(8, 5, 37)},
         {tj, dj, TimeJump("8:5:37", "0:0:11"), dj}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.clock.Set(c.pc);
        rig.settings.NoCorrectOnJump = c.noCorrectOnJump;
        rig.state.CorrectNow = c.correctNow;
        rig.state.JumpLogOn = true;
        for (const Bytes& chunk : c.chunks) {
            rig.Feed(chunk);
            rig.clock.Advance(1000);
        }
        EXPECT_EQ(rig.events, c.expected);
        EXPECT_EQ(rig.state.JumpPending, c.jumpPending);
        EXPECT_EQ(rig.state.CorrectNow, c.correctNow && rig.Only("SET").empty());
    }
}

// A receiver stuck on one time, here the scheduled second: its first frame is
// a frame like any other, but the same time again never sets the clock (which
// would pull it back a second each time), however long it goes on. Said once;
// the indicator turns yellow once the PC has moved past the threshold.
TEST(LargeStep, AStuckReceiverNeverSetsTheClockAgain) {
    Rig rig;
    rig.state.JumpLogOn = true;
    for (int i = 0; i < 120; ++i) {
        rig.Feed(Krw(8, 5, 31));
        rig.clock.Advance(1000);
    }
    EXPECT_EQ(rig.Only("SET"), Events{kSet});
    EXPECT_EQ(rig.Only("LOG1 接收时间未走动").size(), 1u);
    EXPECT_TRUE(rig.state.JumpPending);
}

// Frames that must never set the clock, each followed by a good frame with
// zero date bytes: in the same chunk where the walk keeps back-to-back frames
// (KRW_CODE), in the next one otherwise. The good frame must be corrected
// without a jump line of its own: the refused one may not leave its date or
// time in the call's working record, nor cancel the correction owed (line
// noise at start-up must not leave the clock wrong).
TEST(RefusedFrames, NeverSetTheClockNorDisturbTheNextFrame) {
    const Bytes mnYear10000 = With(Mn(8, 5, 31), {{3, 0xA0}, {4, 0x00}});
    const Bytes mnYear16665 = With(Mn(8, 5, 31), {{3, 0xFF}, {4, 0xFF}});
    struct Case {
        const char* name;
        uint8_t code;
        Bytes bad;
    } cases[] = {
        {"month 13", 1, Krw(8, 5, 31, 26, 13, 14)},
        {"day 32", 1, Krw(8, 5, 31, 26, 3, 32)},
        {"noise: month 3E, day D3", 1, {0xAA, 0x00, 0x28, 0x3E, 0xD3, 0x6A, 0x25, 0x2B, 0xBF}},
        {"30 February", 1, Krw(8, 5, 31, 26, 2, 30)},
        {"31 April", 1, Krw(8, 5, 31, 26, 4, 31)},
        {"29 February of a common year", 1, Krw(8, 5, 31, 27, 2, 29)},
        {"PL 31 June", 2, Pl(8, 5, 31, 26, 6, 31)},
        {"MN year 10000", 3, mnYear10000},
        {"MN year 16665", 3, mnYear16665},
        {"hour 24", 1, Krw(24, 5, 31)},
        {"minute 60", 1, Krw(8, 60, 31)},
        {"second 60", 1, Krw(8, 5, 60)},
        {"BCD nibbles: hour 25", 1, With(Krw(8, 5, 31), {{6, 0x1F}})},
        {"PL hour 255", 2, Pl(255, 5, 31)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes good = Frame(c.code, 8, 5, 31, 0, 0, 0);
        {
            Rig rig;
            rig.settings.CodeFormat = c.code;
            rig.state.CorrectNow = true;
            rig.state.JumpLogOn = true;
            rig.Feed(c.bad);
            EXPECT_TRUE(rig.Only("SET").empty());
            EXPECT_TRUE(rig.Only("TX").empty());
            EXPECT_GE(rig.Only("LOG1").size(), 1u);  // its own date or time jump
            EXPECT_TRUE(rig.state.CorrectNow);
            rig.clock.Advance(1000);
            rig.Feed(good);
            EXPECT_EQ(rig.Only("SET"), Events{"SET 2026-03-14 08:05:31.135"});
        }
        if (c.code == 1) {
            Rig rig;
            rig.state.CorrectNow = true;
            rig.state.JumpLogOn = true;
            rig.Feed(Cat({c.bad, good}));
            EXPECT_EQ(rig.Only("SET"), Events{kSet});
            EXPECT_FALSE(rig.state.JumpPending);
        }
    }
}

// The second frame of a chunk is compared with what the first one left: here
// the first one's correction, not the PC time at the start of the call (which
// would make the second a jump and, with no correction on a jump, refuse it).
TEST(Correction, SecondFrameOfAChunkSeesTheFirstOnesCorrection) {
    Rig rig;
    rig.clock.Set(At(2026, 3, 14, 8, 5, 29));
    rig.settings.CorrectionSecond = 33;
    rig.state.CorrectNow = true;
    rig.Feed(Cat({Krw(8, 5, 31), Krw(8, 5, 33)}));
    EXPECT_EQ(rig.Only("SET"), (Events{kSet, "SET 2026-03-14 08:05:33.135"}));
    EXPECT_FALSE(rig.state.JumpPending);
}

TEST(Correction, FrameDateLeftByAnUncorrectedFrameIsSeenByTheNext) {
    Rig rig;
    rig.state.JumpLogOn = true;
    rig.Feed(Cat({Krw(8, 5, 31, 26, 3, 15), Krw(8, 5, 31, 0, 0, 0)}));
    EXPECT_EQ(rig.events, (Events{DateJump("2026-3-15", "2026-3-14"), DateJump("2026-3-15", "2026-3-14")}));
}

TEST(Correction, FineAdjustPlusTimeSpentThenFeedback) {
    struct Case {
        const char* name;
        SystemTime pc;
        Bytes frame;
        uint16_t fineMs;
        const char* set;
        int weekday;
        const char* feedback;
    } cases[] = {
        {"fine adjustment and a slow monitor", At(2026, 3, 14, 8, 5, 30), Krw(8, 5, 31), 135,
         "SET 2026-03-14 08:05:31.385", 6, "MON 08:05:31[SENDING:] 55 AA "},
        {"into the next day", At(2026, 3, 14, 23, 59, 59), Krw(23, 59, 59, 0, 0, 0), 999,
         "SET 2026-03-15 00:00:00.249", 0, "MON 00:00:00[SENDING:] 55 AA "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.clock.Set(c.pc);
        rig.settings.CorrectionSecond = 0;
        rig.settings.FineAdjustMs = c.fineMs;
        rig.settings.PortNumber = 12;
        rig.state.CorrectNow = true;
        rig.state.MonitorOn = true;
        rig.sinks.monitorCostMs = 250;  // the dump line takes a quarter second
        rig.Feed(c.frame);
        ASSERT_EQ(rig.events.size(), 4u);
        EXPECT_EQ(rig.events[1], c.set);
        EXPECT_EQ(rig.events[2], "TX 12 55 AA");
        EXPECT_EQ(rig.events[3], c.feedback);
        EXPECT_EQ(rig.clock.sets.back().wDayOfWeek, c.weekday);  // rebuilt with the date
        EXPECT_FALSE(rig.state.CorrectNow);
    }
}

TEST(Correction, TimeSpentIsMeasuredFromTheCallsStart) {
    Rig rig;
    rig.clock.stepMs = 7;  // every reading of the clock costs 7 ms
    rig.state.CorrectNow = true;
    rig.Feed(Krw(8, 5, 31));
    ASSERT_EQ(rig.clock.sets.size(), 1u);
    const LocalMs set = ToLocalMs(rig.clock.sets[0]);
    const LocalMs frame = ToLocalMs(At(2026, 3, 14, 8, 5, 31, 135));
    EXPECT_GE(set, frame + 7);  // at least the read at the start and one before the setting
    EXPECT_LE(set, frame + 7 * rig.clock.reads);
}

TEST(Correction, DamagedFineAdjustmentStillGivesAValidTime) {
    for (uint16_t fine : {1000, 9999, 65535}) {
        Rig rig;
        rig.settings.FineAdjustMs = fine;
        rig.Feed(Krw(8, 5, 31));
        ASSERT_EQ(rig.clock.sets.size(), 1u) << fine;
        EXPECT_TRUE(IsValid(rig.clock.sets[0])) << fine;
        EXPECT_EQ(rig.clock.sets[0].wSecond, 31) << fine;
    }
}

}  // namespace
}  // namespace tkw::test
