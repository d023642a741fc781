// Finding a receiver's format and bit rate from what arrives. The line is
// modelled bit by bit (support/uart.h), so that a receiver at one rate read
// at the other gives the bytes a real port would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "support/frames.h"
#include "support/uart.h"
#include "timecode/detect.h"

namespace tkw::test {
namespace {

// A receiver sending `count` frames of `code`, one a second, the first
// `firstMs` into the listen and for the time `first`.
std::vector<Burst> Receiver(uint8_t code, SystemTime first, int count, int64_t firstMs = 300, bool zeroDate = false) {
    std::vector<Burst> out;
    for (int k = 0; k < count; ++k) {
        SystemTime t = FromLocalMs(ToLocalMs(first) + 1000LL * k);
        if (zeroDate) t.wYear = t.wMonth = t.wDay = 0;
        const FrameBytes f = EncodeFrame(*FindFormat(code), t);
        out.push_back({firstMs + 1000LL * k, Bytes(f.begin(), f.end())});
    }
    return out;
}

// Feeds `listen` the bytes as the reader would hand them over: what arrived
// since the last read, every 10 ms; `pc0` is the PC's time at elapsed 0.
void FeedReads(RateListen& listen, const std::vector<RxByte>& bytes, LocalMs pc0) {
    Bytes chunk;
    int64_t readMs = 0;
    for (const RxByte& b : bytes) {
        const int64_t at = (b.atUs / 10'000 + 1) * 10;
        if (at != readMs && !chunk.empty()) {
            listen.Feed(chunk.data(), chunk.size(), pc0 + readMs);
            chunk.clear();
        }
        readMs = at;
        chunk.push_back(b.value);
    }
    if (!chunk.empty()) listen.Feed(chunk.data(), chunk.size(), pc0 + readMs);
}

// The line at `txBaud`, listened to at 4800 and then at 9600 bit/s (here both
// over the same stretch of the line: the receiver repeats itself).
struct Listens {
    Listens(const std::vector<Burst>& sent, int txBaud, LocalMs pc0) {
        for (RateListen& l : at) FeedReads(l, Uart(sent, txBaud, l.Baud()).Receive(), pc0);
    }
    RateListen at[2] = {RateListen(4800), RateListen(9600)};
    DetectVerdict Verdict() const { return Decide(at, 2); }
};

const SystemTime kPc = At(2026, 3, 14, 8, 5, 30);

// The line model against bytes worked out by hand from the bit timing.
TEST(Detect, LineModelGivesWhatAUartReads) {
    const struct {
        const char* name;
        int tx, rx;
        Bytes sent, read;
    } cases[] = {
        {"same rate", 9600, 9600, {0xAA, 0x00, 0x26, 0x12}, {0xAA, 0x00, 0x26, 0x12}},
        // Each sent bit is two read bits: AA gives bits 0001 1001, then the
        // next start bit is its fifth data bit.
        {"4800 read at 9600", 4800, 9600, {0xAA}, {0x98, 0xE6}},
        // Every read bit spans two sent ones.
        {"9600 read at 4800", 9600, 4800, {0xAA, 0x00, 0x26, 0x12}, {0x08, 0x49}},
        // All low and the stop bit too: a break, one 00, then a wait for
        // the line to rise before the next start bit.
        {"breaks", 4800, 9600, {0x00, 0x00}, {0x00, 0x00}},
        // 84's stop bit reads low: it is taken as the middle of the next
        // start bit, which gives 08.
        {"framing error", 9600, 4800, {0x01, 0x00, 0x02, 0x00}, {0x84, 0x08}},
        // Every falling edge is followed by a high half bit: no character.
        {"glitches only", 9600, 4800, {0x55, 0x55}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Burst> sent{{0, c.sent}};
        Bytes read;
        for (const RxByte& b : Uart(sent, c.tx, c.rx).Receive()) read.push_back(b.value);
        EXPECT_EQ(read, c.read);
    }
}

TEST(Detect, FindsTheFormatAndTheRate) {
    const struct {
        const char* name;
        uint8_t code;
        int baud;
        SystemTime first, pc;
        bool zeroDate;
        int64_t behindMs;  // the receiver's time less the PC's as the frame begins
    } cases[] = {
        {"KRW_CODE at 4800", 1, 4800, At(2026, 3, 14, 8, 5, 31), kPc, false, 700},
        {"KRW_CODE at 9600", 1, 9600, At(2026, 3, 14, 8, 5, 31), kPc, false, 700},
        {"PL_CODE at 4800", 2, 4800, At(2026, 3, 14, 8, 5, 31), kPc, false, 700},
        {"PL_CODE at 9600", 2, 9600, At(2026, 3, 14, 8, 5, 31), kPc, false, 700},
        {"MN_CODE at 4800", 3, 4800, At(2026, 3, 14, 8, 5, 31), kPc, false, 700},
        {"MN_CODE at 9600, PC a year ahead", 3, 9600, At(2025, 3, 14, 8, 5, 31), kPc, false, -365LL * 86400'000 + 700},
        // The PC's date goes with the zero date bytes: the frame for
        // midnight arrives while the PC is still on the day before.
        {"zero date across midnight", 1, 4800, At(2026, 3, 14, 23, 59, 59), At(2026, 3, 14, 23, 59, 58, 500), true,
         200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Listens l(Receiver(c.code, c.first, 3, 300, c.zeroDate), c.baud, ToLocalMs(c.pc));
        const DetectVerdict v = l.Verdict();
        ASSERT_EQ(v.outcome, DetectOutcome::Found);
        EXPECT_EQ(v.code, c.code);
        EXPECT_EQ(v.baud, c.baud);
        EXPECT_FALSE(v.anyRate);
        EXPECT_EQ(v.frames, 3);
        EXPECT_EQ(v.score, 2);
        EXPECT_EQ(v.unexplained, 0);
        // Off by the read's lateness (under 10 ms) at most.
        EXPECT_LE(std::llabs(v.pcBehindMs - c.behindMs), 10) << v.pcBehindMs;
        // The other rate got bytes (what a UART makes of the wrong rate), and
        // no format found advancing frames in them.
        const RateListen& wrong = l.at[c.baud == 4800 ? 1 : 0];
        EXPECT_GT(wrong.BytesSeen(), 0);
        for (uint8_t code = 1; code <= 3; ++code) EXPECT_EQ(wrong.Fit(code).advancing, 0) << int{code};
        EXPECT_TRUE(l.at[c.baud == 4800 ? 0 : 1].Settled());
        EXPECT_FALSE(wrong.Settled());
    }
}

// A day of frames of each format at each rate: at the right rate only the
// right format advances, every frame; at the wrong rate none ever does.
TEST(Detect, ADayOfFramesIsNeverTakenForAnotherFormatOrRate) {
    for (uint8_t code = 1; code <= 3; ++code) {
        for (int baud : kDetectBauds) {
            SCOPED_TRACE(std::string(FindFormat(code)->name) + " at " + std::to_string(baud));
            constexpr int kFrames = 86400;
            const Listens l(Receiver(code, At(2026, 12, 31, 12, 0, 0), kFrames), baud, ToLocalMs(kPc));
            for (const RateListen& listen : l.at) {
                for (uint8_t other = 1; other <= 3; ++other) {
                    const bool right = listen.Baud() == baud && other == code;
                    EXPECT_EQ(listen.Fit(other).advancing, right ? kFrames - 1 : 0)
                        << FindFormat(other)->name << " at " << listen.Baud();
                }
            }
        }
    }
}

// Frames accepted, and still no receiver: the times do not exist or do not
// advance as a clock's.
TEST(Detect, WhatIsNotAReceiver) {
    uint32_t x = 2463534242u;
    const auto random = [&x] {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        return static_cast<uint8_t>(x);
    };
    const SystemTime t = At(2026, 3, 14, 8, 5, 31);
    std::vector<Burst> noise, mnLookalike, standingStill, twiceAsFast, badDate = Receiver(1, t, 3);
    for (int k = 0; k < 30; ++k) {
        noise.push_back({100LL * k, {}});
        for (int i = 0; i < 20; ++i) noise.back().bytes.push_back(random());
    }
    for (int k = 0; k < 3; ++k) {  // 0xAA, ten bytes, 0x03: MN_CODE's test passes
        mnLookalike.push_back({300 + 1000LL * k, {0xAA}});
        for (int i = 0; i < 10; ++i) mnLookalike.back().bytes.push_back(random());
        mnLookalike.back().bytes.push_back(0x03);
        standingStill.push_back({300 + 1000LL * k, Krw(8, 5, 31)});
        twiceAsFast.push_back({300 + 1000LL * k, Krw(8, 5, 31 + 2 * k)});
    }
    for (Burst& b : badDate) b.bytes = With(b.bytes, {{3, 0x02}, {4, 0x30}});  // 30 February

    const struct {
        const char* name;
        std::vector<Burst> sent;
        DetectOutcome outcome;
        uint8_t code;  // ... although this format accepted
        int accepted;  // this many frames
    } cases[] = {
        {"silence", {}, DetectOutcome::Nothing, 1, 0},
        {"noise", noise, DetectOutcome::NoTimeCode, 1, 0},
        {"MN_CODE's end byte alone", mnLookalike, DetectOutcome::NoTimeCode, 3, 3},
        {"a single frame", Receiver(1, t, 1), DetectOutcome::NoTimeCode, 1, 1},
        {"a clock standing still", standingStill, DetectOutcome::NoTimeCode, 1, 3},
        {"two seconds a second", twiceAsFast, DetectOutcome::NoTimeCode, 1, 3},
        {"a date that does not exist", badDate, DetectOutcome::NoTimeCode, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Listens l(c.sent, 4800, ToLocalMs(kPc));
        const DetectVerdict v = l.Verdict();
        EXPECT_EQ(v.outcome, c.outcome);
        EXPECT_EQ(l.at[0].Fit(c.code).accepted, c.accepted);
    }
}

// How the listens of one port are weighed against each other. The bytes go
// in as they are (as on a pseudo-terminal, where the rate changes nothing).
TEST(Detect, WeighsTheListens) {
    const SystemTime t = At(2026, 3, 14, 8, 5, 31);
    const std::vector<Burst> krw = Receiver(1, t, 3), mn = Receiver(3, t, 3);
    std::vector<Burst> noisyKrw = krw;
    noisyKrw[1].bytes.insert(noisyKrw[1].bytes.begin(), {0x13, 0x37});
    const struct {
        const char* name;
        const std::vector<Burst>*at4800, *at9600;
        DetectOutcome outcome;
        uint8_t code;
        int baud;
        bool anyRate;
    } cases[] = {
        {"the same frames at both rates: the first rate", &krw, &krw, DetectOutcome::Found, 1, 4800, true},
        {"two formats as well", &krw, &mn, DetectOutcome::Tie, 1, 4800, false},
        {"fewer stray bytes win", &noisyKrw, &krw, DetectOutcome::Found, 1, 9600, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RateListen l[2] = {RateListen(4800), RateListen(9600)};
        for (int i = 0; i < 2; ++i)
            for (const Burst& b : *(i == 0 ? c.at4800 : c.at9600))
                l[i].Feed(b.bytes.data(), b.bytes.size(), ToLocalMs(kPc) + b.atMs + 20);
        const DetectVerdict v = Decide(l, 2);
        EXPECT_EQ(v.outcome, c.outcome);
        EXPECT_EQ(v.code, c.code);
        EXPECT_EQ(v.baud, c.baud);
        EXPECT_EQ(v.anyRate, c.anyRate);
        if (c.outcome == DetectOutcome::Tie) {
            EXPECT_EQ(v.rivalCode, 3);
            EXPECT_EQ(v.rivalBaud, 9600);
        }
    }
}

// The lines `--detect` prints after the port's name, and how two ports'
// verdicts are ordered when one is to be saved.
TEST(Detect, VerdictTextAndOrder) {
    DetectVerdict found;
    found.outcome = DetectOutcome::Found;
    found.code = 1, found.baud = 4800, found.frames = 3, found.score = 2;
    found.lastTime = At(2026, 12, 8, 11, 22, 33);
    found.pcBehindMs = 449;
    DetectVerdict ahead = found;
    ahead.code = 3, ahead.baud = 9600, ahead.frames = 1, ahead.pcBehindMs = -86'400'050;
    DetectVerdict tie = found;
    tie.outcome = DetectOutcome::Tie, tie.rivalCode = 2, tie.rivalBaud = 9600;
    DetectVerdict bytes;
    bytes.outcome = DetectOutcome::NoTimeCode, bytes.baud = 9600;
    const struct {
        DetectVerdict v;
        const char* text;
    } cases[] = {
        {found, "KRW_CODE at 4800 bit/s, 3 frames, 2026-12-08 11:22:33, this PC 0.4 s behind"},
        {ahead, "MN_CODE at 9600 bit/s, 1 frame, 2026-12-08 11:22:33, this PC 86400.1 s ahead"},
        {tie, "KRW_CODE at 4800 bit/s and PL_CODE at 9600 bit/s fit equally"},
        {bytes, "bytes at 9600 bit/s, no time code recognised"},
        {DetectVerdict{}, "nothing received"},
    };
    for (const auto& c : cases) EXPECT_EQ(VerdictText(c.v), c.text);

    DetectVerdict better = found;
    better.score = 3;
    EXPECT_EQ(CompareVerdicts(found, found), 0);
    EXPECT_GT(CompareVerdicts(better, found), 0);
    EXPECT_GT(CompareVerdicts(found, bytes), 0);
    EXPECT_EQ(CompareVerdicts(bytes, DetectVerdict{}), 0);
}

}  // namespace
}  // namespace tkw::test
