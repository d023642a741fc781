// The receive ring and its walk: filling and overflow, the sync pre-scan, the
// completeness threshold, the fixed advances of each format and what they do
// to frames that arrive split, wrapped, back to back or behind noise, and the
// frame dump lines.
#include <gtest/gtest.h>

#include "support/frames.h"

namespace tkw::test {
namespace {

// Every accepted frame for second 31 of a minute sets the clock (threshold at
// its top, so no frame counts as a jump): the SET lines list what was accepted.
struct WalkRig : Rig {
    explicit WalkRig(uint8_t code) {
        settings.CodeFormat = code;
        settings.JumpThreshold = 255;
    }
    size_t Sets() const { return Only("SET").size(); }
};

TEST(RingFill, OverflowEmptiesTheRingAndDropsTheRestOfTheChunk) {
    for (uint8_t code : {0, 4, 255}) {
        SCOPED_TRACE(int(code));
        WalkRig rig(code);
        rig.state.SignalAge = 50;
        Bytes chunk;  // good frames, but no format is selected: nothing is consumed
        while (chunk.size() + 9 <= 255) chunk = Cat({chunk, Krw(8, 5, 31)});
        chunk.resize(255, 0x5A);
        chunk[233] = 0x77;
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 3; ++i) rig.Feed(chunk);
            EXPECT_EQ(rig.rx.RxTail, 0);
            EXPECT_EQ(rig.rx.RxHead, 765);
            // Byte 233 lands on index 999; byte 234 would land on RxTail.
            rig.Feed(chunk);
            EXPECT_EQ(rig.rx.RxHead, 0);
            EXPECT_EQ(rig.rx.RxTail, 0);
            EXPECT_EQ(rig.rx.RxRing[999], 0x77);
            EXPECT_EQ(rig.rx.RxRing[0], 0x00);
        }
        EXPECT_TRUE(rig.events.empty());
        EXPECT_EQ(rig.state.SignalAge, 50);
    }
}

TEST(RingFill, OverflowGivesUpWaitingBytesAndAFrameBehindThem) {
    WalkRig rig(1);
    rig.rx.RxHead = 500;  // 900 bytes waiting: can only happen by forcing it
    rig.rx.RxTail = 600;
    rig.Feed(Cat({Bytes(99, 0x01), Krw(8, 5, 31)}));  // the frame's 0xAA would land on 600
    EXPECT_EQ(rig.rx.RxHead, 600);
    EXPECT_EQ(rig.rx.RxTail, 600);
    EXPECT_EQ(rig.Sets(), 0u);
    rig.Feed(Krw(8, 5, 31));
    EXPECT_EQ(rig.Sets(), 1u);
}

struct FormatCase {
    uint8_t code;
    int length;
    int advanceAccepted;
    bool secondOfPairKept;  // two frames back to back in one chunk
};

class EachFormat : public ::testing::TestWithParam<FormatCase> {};

INSTANTIATE_TEST_SUITE_P(Walk, EachFormat,
                         ::testing::Values(FormatCase{1, 9, 8, true}, FormatCase{2, 13, 11, false},
                                           FormatCase{3, 12, 11, false}),
                         [](const auto& info) { return std::string(FindFormat(info.param.code)->name); });

TEST_P(EachFormat, FrameSplitAnywhereIsTakenWhenItsLastByteArrives) {
    const FormatCase& fc = GetParam();
    const Bytes frame = Frame(fc.code, 8, 5, 31);
    for (int cut = 1; cut < fc.length; ++cut) {
        SCOPED_TRACE(cut);
        WalkRig rig(fc.code);
        rig.Feed(Cat({{0x01, 0x55, 0x03}, Bytes(frame.begin(), frame.begin() + cut)}));
        EXPECT_EQ(rig.rx.RxTail, 4);  // noise skipped, waiting on the frame's 0xAA
        EXPECT_EQ(rig.Sets(), 0u);
        rig.Feed(Bytes(frame.begin() + cut, frame.end()));
        EXPECT_EQ(rig.Only("SET"), Events{"SET 2026-03-14 08:05:31.135"});
        EXPECT_EQ(rig.rx.RxTail, 4 + fc.advanceAccepted);
    }
}

TEST_P(EachFormat, FrameWrappingPastTheRingEndIsReadThroughTheModulo) {
    const FormatCase& fc = GetParam();
    WalkRig rig(fc.code);
    rig.rx.ResetRing(995);  // the frame occupies 996..999, 0, 1, ...
    rig.Feed(Frame(fc.code, 8, 5, 31));
    EXPECT_EQ(rig.Only("SET"), Events{"SET 2026-03-14 08:05:31.135"});
    EXPECT_EQ(rig.rx.RxTail, (996 + fc.advanceAccepted) % kRingSize);
}

TEST_P(EachFormat, BackToBackFramesOnlyKrwKeepsTheSecond) {
    const FormatCase& fc = GetParam();
    WalkRig rig(fc.code);
    rig.Feed(Cat({Frame(fc.code, 8, 5, 31), Frame(fc.code, 8, 6, 31)}));
    Events expected{"SET 2026-03-14 08:05:31.135"};
    if (fc.secondOfPairKept) expected.push_back("SET 2026-03-14 08:06:31.135");
    EXPECT_EQ(rig.Only("SET"), expected);
    // The lost one costs nothing more: the next frame is found again.
    rig.Feed(Frame(fc.code, 8, 7, 31));
    EXPECT_EQ(rig.Only("SET").back(), "SET 2026-03-14 08:07:31.135");
}

// An MN_CODE frame for 08:05:31 whose start byte got lost.
Bytes MnNoStart() {
    Bytes f = Mn(8, 5, 31);
    f[0] = 0x00;
    return f;
}

// Leading bytes that look like a start, and what the advance after the
// rejected candidate does to a real frame behind them.
TEST(WalkAdvance, RejectedCandidatesStepByTheirFormatsFixedAmount) {
    struct Case {
        const char* name;
        uint8_t code;
        Bytes chunk;
        size_t sets;
    } cases[] = {
        {"KRW AA not followed by 00 steps one", 1, Cat({{0xAA, 0x01}, Krw(8, 5, 31)}), 1},
        {"PL lone AA swallows a frame within 11", 2, Cat({{0xAA, 0x01, 0x02}, Pl(8, 5, 31)}), 0},
        {"PL lone AA then 10 bytes: frame kept", 2, Cat({{0xAA}, Bytes(10, 0x01), Pl(8, 5, 31)}), 1},
        {"MN steps two onto a frame without its AA", 3, Cat({{0xAA, 0x55}, MnNoStart()}), 1},
        {"MN start byte not AA and no pre-scan stop", 3, MnNoStart(), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WalkRig rig(c.code);
        rig.Feed(c.chunk);
        EXPECT_EQ(rig.Sets(), c.sets);
    }
}

TEST(WalkAdvance, AfterAFormatChangeTheWalkStartsAtIndexOneWithTheStaleByte) {
    for (bool staleIsSync : {true, false}) {
        SCOPED_TRACE(staleIsSync);
        WalkRig rig(1);
        rig.settings.CorrectionMode = 0;
        rig.Feed(staleIsSync ? Krw(8, 5, 31) : Bytes{0x01});  // index 1 holds AA or 01
        rig.settings.CorrectionMode = 1;
        rig.settings.CodeFormat = 3;
        rig.rx.ResetRing(1);
        const Bytes mn = Mn(8, 5, 31);
        rig.Feed(Bytes(mn.begin() + 1, mn.end()));  // all but the start byte, at 2..12
        EXPECT_EQ(rig.Sets(), staleIsSync ? 1u : 0u);
    }
}

TEST(DumpLines, TextMomentAndDestinations) {
    const std::string krwDump = " AA 00 26 03 14 00 08 05 31";
    const std::string krwMon = "MON 【2026-03-14 08:05:30】 " + krwDump;
    const std::string fbMon = "MON 08:05:31[SENDING:] 55 AA ";
    const std::string fbLog = "LOG0 08:05:31[SENDING:] 55 AA ";
    const std::string set = "SET 2026-03-14 08:05:31.135";
    const std::string tx = "TX 7 55 AA";
    struct Case {
        const char* name;
        uint8_t code;
        bool monitor, commLog;
        Bytes chunk;
        Events expected;
    } cases[] = {
        {"monitor only", 1, true, false, Cat({{0x01, 0x02}, Krw(8, 5, 31)}), {krwMon, set, tx, fbMon}},
        {"log only: dump still reaches the monitor", 1, false, true, Krw(8, 5, 31),
         {krwMon, "LOG0 " + krwDump, set, tx, fbLog}},
        {"both", 1, true, true, Krw(8, 5, 31), {krwMon, "LOG0 " + krwDump, set, tx, fbMon, fbLog}},
        {"neither", 1, false, false, Krw(8, 5, 31), {set, tx}},
        {"KRW rejected candidate not dumped", 1, true, false, Cat({{0xAA, 0x01}, Krw(8, 5, 31)}),
         {krwMon, set, tx, fbMon}},
        {"PL dumps 13 bytes after acceptance", 2, true, false, Cat({{0xAA, 0x01}, Bytes(9, 0), Pl(8, 5, 31)}),
         {"MON 【2026-03-14 08:05:30】  AA AA AA 1F 05 08 00 0E 03 1A 00 00 00", set, tx, fbMon}},
        {"MN dumps every candidate before its test", 3, true, false, Cat({{0xAA, 0x55}, MnNoStart()}),
         {"MON 【2026-03-14 08:05:30】  AA 55 00 00 00 20 26 03 14 00 08 05",
          "MON 【2026-03-14 08:05:30】  00 00 00 20 26 03 14 00 08 05 31 03", set, tx, fbMon}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.settings.CodeFormat = c.code;
        rig.settings.PortNumber = 7;
        rig.state.MonitorOn = c.monitor;
        rig.state.CommLogOn = c.commLog;
        rig.Feed(c.chunk);
        EXPECT_EQ(rig.events, c.expected);
    }
}

}  // namespace
}  // namespace tkw::test
