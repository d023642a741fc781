// The three frame layouts read in place from the ring: acceptance tests, BCD
// and plain fields, and the zero-byte date rule, both at the start of the ring
// and straddling its end; and the encoder, which must write what they read.
#include <gtest/gtest.h>

#include "support/frames.h"

namespace tkw::test {
namespace {

struct DecodeCase {  // rejected rows leave the decoded fields 0
    const char* name;
    uint8_t code;
    Bytes frame;
    bool accepted;
    int h, m, s;      // when accepted
    int y, mo, d;     // the working date after the frame's date went in
};

// The PC's date the zero bytes fall back to.
constexpr int kPcYear = 2031, kPcMonth = 7, kPcDay = 9;

const DecodeCase kCases[] = {
    {"KRW plain", 1, {0xAA, 0x00, 0x26, 0x03, 0x14, 0x06, 0x08, 0x05, 0x31}, true, 8, 5, 31, 2026, 3, 14},
    {"KRW nibbles above 9 by the same arithmetic", 1, {0xAA, 0x00, 0x1A, 0x3F, 0x1A, 0xFF, 0x1A, 0x3F, 0x3F},
     true, 20, 45, 45, 2020, 45, 20},
    {"KRW 0x17 is 17", 1, {0xAA, 0x00, 0x00, 0x00, 0x00, 0x00, 0x17, 0x00, 0x00}, true, 17, 0, 0,
     kPcYear, kPcMonth, kPcDay},
    {"KRW offset 1 must be 00", 1, {0xAA, 0x01, 0x26, 0x03, 0x14, 0x06, 0x08, 0x05, 0x31}, false, 0, 0, 0, 0, 0, 0},
    {"KRW offset 0 must be AA", 1, {0xAB, 0x00, 0x26, 0x03, 0x14, 0x06, 0x08, 0x05, 0x31}, false, 0, 0, 0, 0, 0, 0},
    {"PL plain bytes", 2, {0xAA, 0xAA, 0xAA, 0x1F, 0x05, 0x17, 0x99, 0x0E, 0x03, 0x1A, 0x99, 0x99, 0x99}, true,
     23, 5, 31, 2026, 3, 14},
    {"PL zero date keeps the PC's", 2, {0xAA, 0xAA, 0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true, 0, 0, 0, kPcYear,
     kPcMonth, kPcDay},
    {"PL only the month given", 2, {0xAA, 0xAA, 0xAA, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0}, true, 0, 0, 0, kPcYear,
     12, kPcDay},
    {"PL third sync byte", 2, {0xAA, 0xAA, 0xAB, 0x1F, 0x05, 0x17, 0, 0x0E, 0x03, 0x1A, 0, 0, 0}, false, 0, 0, 0, 0, 0, 0},
    {"MN four-digit year", 3, {0xAA, 0x55, 0x55, 0x20, 0x26, 0x03, 0x14, 0x55, 0x17, 0x05, 0x31, 0x03}, true, 17,
     5, 31, 2026, 3, 14},
    {"MN century 00 keeps the PC's year", 3, {0xAA, 0, 0, 0x00, 0x26, 0x03, 0x14, 0, 0x08, 0x05, 0x31, 0x03},
     true, 8, 5, 31, kPcYear, 3, 14},
    {"MN start byte is not tested", 3, {0x00, 0, 0, 0x19, 0x99, 0x12, 0x31, 0, 0x23, 0x59, 0x59, 0x03}, true, 23,
     59, 59, 1999, 12, 31},
    {"MN year beyond 9999 decoded as it stands", 3, {0xAA, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0x03}, true, 0, 0,
     0, 16665, kPcMonth, kPcDay},
    {"MN end byte must be 03", 3, {0xAA, 0, 0, 0x20, 0x26, 0x03, 0x14, 0, 0x08, 0x05, 0x31, 0x02}, false, 0, 0, 0, 0, 0, 0},
};

TEST(FrameFormats, AcceptAndDecodeAtTheRingStartAndAcrossItsEnd) {
    for (const DecodeCase& c : kCases) {
        const FrameFormat* f = FindFormat(c.code);
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(c.frame.size(), static_cast<size_t>(f->length)) << c.name;
        for (int base : {0, 995}) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(base));
            uint8_t ring[kRingSize] = {};
            for (size_t k = 0; k < c.frame.size(); ++k) ring[(base + k) % kRingSize] = c.frame[k];
            ASSERT_EQ(f->Accept(ring, base), c.accepted);
            if (!c.accepted) continue;
            const FrameTime t = f->DecodeTime(ring, base);
            EXPECT_EQ(t.hour, c.h);
            EXPECT_EQ(t.minute, c.m);
            EXPECT_EQ(t.second, c.s);
            SystemTime clock = At(kPcYear, kPcMonth, kPcDay, 10, 20, 30, 400);
            const SystemTime before = clock;
            f->ApplyDate(ring, base, clock);
            EXPECT_EQ(clock.wYear, c.y);
            EXPECT_EQ(clock.wMonth, c.mo);
            EXPECT_EQ(clock.wDay, c.d);
            // Nothing but the date is touched.
            EXPECT_EQ(clock.wHour, before.wHour);
            EXPECT_EQ(clock.wMilliseconds, before.wMilliseconds);
        }
    }
}

// The decoders are pinned by the byte rows above; a frame the encoder makes
// must read back as the date and time it was made from, zero date bytes
// included.
TEST(FrameFormats, EncoderWritesWhatTheDecoderReads) {
    struct Fields {
        int y, mo, d, h, m, s;
        bool operator==(const Fields&) const = default;
    };
    const Fields times[] = {{2026, 3, 14, 8, 5, 31}, {2099, 12, 31, 23, 59, 59}, {2001, 1, 1, 0, 0, 0},
                            {0, 0, 0, 17, 45, 9}};  // zero date: the PC's
    for (uint8_t code : {1, 2, 3}) {
        const FrameFormat& f = *FindFormat(code);
        for (const Fields& t : times) {
            SCOPED_TRACE(std::string(f.name) + " " + std::to_string(t.y) + "-" + std::to_string(t.h));
            SystemTime in;
            in.wYear = uint16_t(t.y), in.wMonth = uint16_t(t.mo), in.wDay = uint16_t(t.d);
            in.wHour = uint16_t(t.h), in.wMinute = uint16_t(t.m), in.wSecond = uint16_t(t.s);
            const FrameBytes b = EncodeFrame(f, in);
            ASSERT_EQ(b.size, f.length);
            ASSERT_TRUE(f.Accept(b.data, 0));
            const FrameTime ft = f.DecodeTime(b.data, 0);
            SystemTime date = At(kPcYear, kPcMonth, kPcDay);
            f.ApplyDate(b.data, 0, date);
            const Fields want = t.y == 0 ? Fields{kPcYear, kPcMonth, kPcDay, t.h, t.m, t.s} : t;
            EXPECT_EQ((Fields{date.wYear, date.wMonth, date.wDay, ft.hour, ft.minute, ft.second}), want);
        }
    }
    // MN_CODE's four digits: a year of another century.
    SystemTime y1999;
    y1999.wYear = 1999, y1999.wMonth = 12, y1999.wDay = 31;
    SystemTime date = At(kPcYear, kPcMonth, kPcDay);
    FindFormat(3)->ApplyDate(EncodeFrame(*FindFormat(3), y1999).data, 0, date);
    EXPECT_EQ(date.wYear, 1999);
}

}  // namespace
}  // namespace tkw::test
