// The receiver's three frame layouts: their lengths, how the ring walk steps
// over them, their acceptance tests, their time and date fields, and the
// encoder that writes frames from the same description (the simulator, the
// benchmarks and the tests make their frames with it).
//
// Frames are read in place in the receive ring: offset k of a candidate whose
// first byte lies at `base` is ring[(base + k) % kRingSize].
#pragma once

#include <cstdint>

#include "platform/systime.h"

namespace tkw {

inline constexpr int kRingSize = 1000;
inline constexpr int kMaxFrameLength = 13;  // PL_CODE's

enum class DumpMoment {
    AfterAccept,  // dumped once the acceptance test has passed
    BeforeTest,   // every candidate is dumped, accepted or not
};

struct FrameTime {
    uint16_t hour = 0, minute = 0, second = 0;
};

struct FrameFormat {
    uint8_t code;             // the CodeFormat setting that selects it
    const char* name;         // the menu caption
    int length;               // bytes in a frame (and in its dump)
    int needed;               // bytes that must wait behind the candidate's first one
    int advanceAccepted;      // how far the walk moves after an accepted candidate
    int advanceRejected;      // ... and after a rejected one
    DumpMoment dump;
    bool (*Accept)(const uint8_t* ring, int base);
    FrameTime (*DecodeTime)(const uint8_t* ring, int base);
    // Writes the frame's date into `clock`; a zero byte keeps the field there.
    void (*ApplyDate)(const uint8_t* ring, int base, SystemTime& clock);
    // Writes the `length` bytes of a frame for `t` to `out` (see EncodeFrame).
    void (*Encode)(const SystemTime& t, uint8_t* out);
};

// A frame's bytes, held by value.
struct FrameBytes {
    uint8_t data[kMaxFrameLength] = {};
    int size = 0;
    const uint8_t* begin() const { return data; }
    const uint8_t* end() const { return data + size; }
};

// The format for a CodeFormat setting, or null when it names none (then the
// ring fills and nothing is examined).
const FrameFormat* FindFormat(uint8_t codeFormat);

// The frame a receiver of format `f` sends for the date and time of `t` (its
// milliseconds and weekday are not sent): what the decoders read back. The
// fields are written as they stand, without range checks, so that frames
// with impossible times or dates can be made too; a date field of 0 gives a
// zero byte, the receiver's "take the PC's own" (for MN_CODE a year 0 gives a
// zero century). Bytes no decoder reads are 0.
FrameBytes EncodeFrame(const FrameFormat& f, const SystemTime& t);

// A byte of two decimal digits; nibbles above 9 are taken by the same
// arithmetic (0x1A is 20), never refused.
constexpr uint16_t Bcd(uint8_t b) {
    return static_cast<uint16_t>((b >> 4) * 10 + (b & 0x0F));
}

constexpr uint8_t ToBcd(unsigned v) {
    return static_cast<uint8_t>(v / 10 % 10 * 16 + v % 10);
}

}  // namespace tkw
