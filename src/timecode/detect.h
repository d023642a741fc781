// Finding out which of the three frame formats, at which of the two bit rates,
// a receiver sends, from nothing but the bytes that arrive. No I/O here: the
// caller listens to a port at each rate for a few seconds (never writing to
// it) and feeds a RateListen what every read gave, with the PC clock's time
// of the read; Decide then weighs the listens of one port.
//
// A format fits when its frames pass their acceptance test, decode to a
// date and time that exist, and advance as a clock does: from one frame to
// the next by as many seconds as passed between their arrivals. The last
// test is what tells a receiver from noise: MN_CODE accepts any twelve bytes
// from an 0xAA to an 0x03, and a receiver read at the wrong bit rate gives
// bytes, but neither gives times a second apart a second apart. Bytes that
// are part of no accepted frame count against a format, so that of two that
// both find frames the one that explains all the bytes wins.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/systime.h"
#include "timecode/frame_formats.h"

namespace tkw {

// The rates a detection listens at, in this order.
inline constexpr int kDetectBauds[] = {4800, 9600};

// What one format made of one listen.
struct FormatFit {
    int accepted = 0;         // frames that passed the acceptance test
    int dated = 0;            // ... and decode to a date and time that exist
    int advancing = 0;        // ... and came as many seconds after the dated one before as had passed
    int64_t unexplained = 0;  // bytes outside accepted frames (a frame begun at the end is not counted)
    SystemTime lastTime;      // the last dated frame's date and time (zero date bytes read as the PC's)
    LocalMs lastArrival = 0;  // the PC's time of the read that completed it
};

// One port listened to at one bit rate: the three formats weighed at once
// over the same bytes. Some 2.5 KB, all its own; Feed allocates nothing.
class RateListen {
public:
    explicit RateListen(int baud);

    // `n` bytes from one read of the port, made at the PC's local time
    // `arrival` (reads in order, their times never decreasing).
    void Feed(const uint8_t* bytes, size_t n, LocalMs arrival);

    int Baud() const { return baud_; }
    int64_t BytesSeen() const { return bytes_; }
    const FormatFit& Fit(uint8_t code) const { return fits_[code - 1]; }  // code 1..3

    // True once one format has advanced twice with every byte explained and
    // no other format has advanced at all: listening longer would not change
    // the verdict.
    bool Settled() const;

private:
    static constexpr int kFormats = 3;
    static constexpr int kCapacity = 256;  // bytes kept; a cursor waits on at most a frame's length

    void Scan(int k);
    void OnFrame(int k, const FrameFormat& f, int at);

    int baud_;
    int64_t bytes_ = 0;
    // The bytes not yet passed by every format's cursor, with their reads' times.
    uint8_t buf_[kCapacity] = {};
    LocalMs at_[kCapacity] = {};
    int size_ = 0;
    int pos_[kFormats] = {};
    FormatFit fits_[kFormats];
    // The last dated frame of each format: its time, its arrival, and whether
    // its date came from the PC.
    bool havePrev_[kFormats] = {};
    LocalMs prevFrameMs_[kFormats] = {};
    LocalMs prevArrival_[kFormats] = {};
    bool prevPcDate_[kFormats] = {};
};

enum class DetectOutcome : uint8_t {
    Nothing,     // no byte at any rate
    NoTimeCode,  // bytes, but no format's frames advanced as a clock's do
    Found,       // one format at one rate fits best
    Tie,         // two formats fit equally well: `code`/`baud` and `rivalCode`/`rivalBaud`
};

struct DetectVerdict {
    DetectOutcome outcome = DetectOutcome::Nothing;
    uint8_t code = 0;          // Found, Tie: the format (CodeFormat 1..3)
    int baud = 0;              // Found, Tie: its rate; NoTimeCode: the rate that brought the most bytes
    bool anyRate = false;      // Found: the format fits as well at another rate, as on a line that does
                               // not depend on it (a pseudo-terminal); `baud` is the one listened to first
    int frames = 0;            // Found, Tie: dated frames of that format at that rate
    int score = 0;             // Found, Tie: how many of them advanced as a clock's (at least 1)
    int64_t unexplained = 0;   // Found, Tie: bytes outside its frames (0: a clean line)
    SystemTime lastTime;       // Found, Tie: the last frame's date and time
    LocalMs pcBehindMs = 0;    // Found, Tie: the last frame's time less the PC's when it began on the
                               // line (its arrival less its time on the wire); negative: PC ahead
    uint8_t rivalCode = 0;     // Tie: the other format that fits as well ...
    int rivalBaud = 0;         // ... and its rate
};

// The verdict on one port from its listens (one per rate).
DetectVerdict Decide(const RateListen* listens, size_t count);

// Orders two ports' verdicts by how well they fit (found before not found,
// then the score, the frames, fewer unexplained bytes): > 0 when `a` fits
// better, 0 when equally (a save must then refuse to choose).
int CompareVerdicts(const DetectVerdict& a, const DetectVerdict& b);

// The verdict as one line's text after the port's name, stable for scripts:
//   "KRW_CODE at 4800 bit/s, 3 frames, 2026-12-08 11:22:33, this PC 0.4 s behind"
//   "KRW_CODE at 4800 bit/s and MN_CODE at 9600 bit/s fit equally"
//   "bytes at 9600 bit/s, no time code recognised"
//   "nothing received"
std::string VerdictText(const DetectVerdict& v);

}  // namespace tkw
