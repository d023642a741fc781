#include "timecode/frame_formats.h"

#include "config/settings.h"

namespace tkw {
namespace {

inline uint8_t At(const uint8_t* ring, int base, int k) {
    return ring[(base + k) % kRingSize];
}

// KRW_CODE: AA 00 YY MM DD xx hh mm ss, BCD.
bool KrwAccept(const uint8_t* r, int b) {
    return At(r, b, 0) == 0xAA && At(r, b, 1) == 0x00;
}
FrameTime KrwTime(const uint8_t* r, int b) {
    return {Bcd(At(r, b, 6)), Bcd(At(r, b, 7)), Bcd(At(r, b, 8))};
}
void KrwDate(const uint8_t* r, int b, SystemTime& c) {
    if (At(r, b, 2) != 0) c.wYear = static_cast<uint16_t>(Bcd(At(r, b, 2)) + 2000);
    if (At(r, b, 3) != 0) c.wMonth = Bcd(At(r, b, 3));
    if (At(r, b, 4) != 0) c.wDay = Bcd(At(r, b, 4));
}

// PL_CODE: AA AA AA ss mm hh xx DD MM YY xx xx xx, plain binary bytes.
bool PlAccept(const uint8_t* r, int b) {
    return At(r, b, 0) == 0xAA && At(r, b, 1) == 0xAA && At(r, b, 2) == 0xAA;
}
FrameTime PlTime(const uint8_t* r, int b) {
    return {At(r, b, 5), At(r, b, 4), At(r, b, 3)};
}
void PlDate(const uint8_t* r, int b, SystemTime& c) {
    if (At(r, b, 9) != 0) c.wYear = static_cast<uint16_t>(At(r, b, 9) + 2000);
    if (At(r, b, 8) != 0) c.wMonth = At(r, b, 8);
    if (At(r, b, 7) != 0) c.wDay = At(r, b, 7);
}

// MN_CODE: AA xx xx CC YY MM DD xx hh mm ss 03, BCD, four-digit year. Only the
// end byte is tested; the start byte is found by the pre-scan of each call.
bool MnAccept(const uint8_t* r, int b) {
    return At(r, b, 11) == 0x03;
}
FrameTime MnTime(const uint8_t* r, int b) {
    return {Bcd(At(r, b, 8)), Bcd(At(r, b, 9)), Bcd(At(r, b, 10))};
}
void MnDate(const uint8_t* r, int b, SystemTime& c) {
    if (At(r, b, 3) != 0) c.wYear = static_cast<uint16_t>(100 * Bcd(At(r, b, 3)) + Bcd(At(r, b, 4)));
    if (At(r, b, 5) != 0) c.wMonth = Bcd(At(r, b, 5));
    if (At(r, b, 6) != 0) c.wDay = Bcd(At(r, b, 6));
}

// The advances are not the frame lengths. After an accepted KRW_CODE or
// MN_CODE frame the walk stands on the frame's last byte; after any PL_CODE
// candidate on its twelfth. Receivers in the field are tuned to this walk
// (frames sent back to back lose the second one with PL_CODE and MN_CODE), so
// it is kept exactly.
constexpr FrameFormat kFormats[] = {
    {1, kCodeFormatNames[0], 9, 8, 8, 1, DumpMoment::AfterAccept, KrwAccept, KrwTime, KrwDate},
    {2, kCodeFormatNames[1], 13, 12, 11, 11, DumpMoment::AfterAccept, PlAccept, PlTime, PlDate},
    {3, kCodeFormatNames[2], 12, 11, 11, 2, DumpMoment::BeforeTest, MnAccept, MnTime, MnDate},
};

}  // namespace

const FrameFormat* FindFormat(uint8_t codeFormat) {
    for (const FrameFormat& f : kFormats)
        if (f.code == codeFormat) return &f;
    return nullptr;
}

}  // namespace tkw
