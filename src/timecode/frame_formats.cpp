#include "timecode/frame_formats.h"

#include <algorithm>

#include "config/settings.h"

namespace tkw {
namespace {

inline uint8_t At(const uint8_t* ring, int base, int k) {
    return ring[(base + k) % kRingSize];
}

enum class Digits : uint8_t { Bcd, Plain };

// A byte that is always the same in a frame; `tested` ones make up the
// acceptance test, the others are only written by the encoder.
struct Fixed {
    int8_t offset;
    uint8_t value;
    bool tested;
};

// Where a format keeps its fields, as offsets from the frame's first byte.
// The decoders and the encoder are both made from this one description, so
// that what is sent and what is read cannot drift apart.
struct Layout {
    int8_t length;
    Digits digits;
    int8_t hour, minute, second;
    int8_t century;  // -1: none; the year is 2000 + the year byte
    int8_t year, month, day;
    Fixed fixed[3];
    int8_t fixedCount;
};

// KRW_CODE: AA 00 YY MM DD xx hh mm ss, BCD.
constexpr Layout kKrw{9, Digits::Bcd, 6, 7, 8, -1, 2, 3, 4, {{0, 0xAA, true}, {1, 0x00, true}}, 2};
// PL_CODE: AA AA AA ss mm hh xx DD MM YY xx xx xx, plain binary bytes.
constexpr Layout kPl{13, Digits::Plain, 5, 4, 3, -1, 9, 8, 7, {{0, 0xAA, true}, {1, 0xAA, true}, {2, 0xAA, true}}, 3};
// MN_CODE: AA xx xx CC YY MM DD xx hh mm ss 03, BCD, four-digit year. Only the
// end byte is tested; the start byte is found by the pre-scan of each call.
constexpr Layout kMn{12, Digits::Bcd, 8, 9, 10, 3, 4, 5, 6, {{0, 0xAA, false}, {11, 0x03, true}}, 2};

template <const Layout& L>
uint16_t Read(const uint8_t* r, int b, int k) {
    const uint8_t v = At(r, b, k);
    return L.digits == Digits::Bcd ? Bcd(v) : v;
}

template <const Layout& L>
bool Accept(const uint8_t* r, int b) {
    for (int i = 0; i < L.fixedCount; ++i)
        if (L.fixed[i].tested && At(r, b, L.fixed[i].offset) != L.fixed[i].value) return false;
    return true;
}

template <const Layout& L>
FrameTime DecodeTime(const uint8_t* r, int b) {
    return {Read<L>(r, b, L.hour), Read<L>(r, b, L.minute), Read<L>(r, b, L.second)};
}

// A zero byte keeps the field of `c` (the receiver's "the PC's own"); with a
// century byte, that byte alone decides whether the year is given.
template <const Layout& L>
void ApplyDate(const uint8_t* r, int b, SystemTime& c) {
    if constexpr (L.century >= 0) {
        if (At(r, b, L.century) != 0) c.wYear = static_cast<uint16_t>(100 * Read<L>(r, b, L.century) + Read<L>(r, b, L.year));
    } else {
        if (At(r, b, L.year) != 0) c.wYear = static_cast<uint16_t>(Read<L>(r, b, L.year) + 2000);
    }
    if (At(r, b, L.month) != 0) c.wMonth = Read<L>(r, b, L.month);
    if (At(r, b, L.day) != 0) c.wDay = Read<L>(r, b, L.day);
}

template <const Layout& L>
void Encode(const SystemTime& t, uint8_t* out) {
    const auto put = [out](int k, unsigned v) {
        out[k] = L.digits == Digits::Bcd ? ToBcd(v) : static_cast<uint8_t>(v);
    };
    std::fill(out, out + L.length, uint8_t{0});
    for (int i = 0; i < L.fixedCount; ++i) out[L.fixed[i].offset] = L.fixed[i].value;
    put(L.hour, t.wHour);
    put(L.minute, t.wMinute);
    put(L.second, t.wSecond);
    if constexpr (L.century >= 0) put(L.century, t.wYear / 100u);
    put(L.year, t.wYear % 100u);
    put(L.month, t.wMonth);
    put(L.day, t.wDay);
}

template <const Layout& L>
constexpr FrameFormat Make(uint8_t code, int needed, int advanceAccepted, int advanceRejected, DumpMoment dump) {
    return {code,         kCodeFormatNames[code - 1], L.length, needed,   advanceAccepted,
            advanceRejected, dump,                      Accept<L>, DecodeTime<L>, ApplyDate<L>, Encode<L>};
}

// The advances are not the frame lengths. After an accepted KRW_CODE or
// MN_CODE frame the walk stands on the frame's last byte; after any PL_CODE
// candidate on its twelfth. Receivers in the field are tuned to this walk
// (frames sent back to back lose the second one with PL_CODE and MN_CODE), so
// it is kept exactly.
constexpr FrameFormat kFormats[] = {
    Make<kKrw>(1, 8, 8, 1, DumpMoment::AfterAccept),
    Make<kPl>(2, 12, 11, 11, DumpMoment::AfterAccept),
    Make<kMn>(3, 11, 11, 2, DumpMoment::BeforeTest),
};
static_assert(kKrw.length <= kMaxFrameLength && kPl.length <= kMaxFrameLength && kMn.length <= kMaxFrameLength);

}  // namespace

const FrameFormat* FindFormat(uint8_t codeFormat) {
    for (const FrameFormat& f : kFormats)
        if (f.code == codeFormat) return &f;
    return nullptr;
}

FrameBytes EncodeFrame(const FrameFormat& f, const SystemTime& t) {
    FrameBytes out;
    f.Encode(t, out.data);
    out.size = f.length;
    return out;
}

}  // namespace tkw
