// Drives TimeCodeReceiver::HandleChunk with arbitrary bytes, in every code
// format and an invalid one, with the monitor and both logs on.
//
// Input layout (short inputs are padded with zeros):
//   0      code format: 1..3 by value % 4, otherwise 0 or 7
//   1      CorrectionMode (value % 5, so 4 is a mode that does not exist)
//   2, 3   CorrectionSecond, CorrectionMinute (raw)
//   4, 5   FineAdjustMs, little-endian (raw, so often above 999)
//   6      DailyPointCount (raw, so often above 25)
//   7      JumpThreshold
//   8      flags: 1 CorrectNow, 2 NoCorrectOnJump, 4 daily points as h m s
//          bytes instead of raw doubles, 8 clock near the end of 9999-12-31,
//          16 clock near 0001-01-01
//   9      milliseconds the clock moves on at every read
//   10-13  clock start: signed seconds from 2026-01-01 00:00:00 (or from the
//          chosen end of the calendar), little-endian
//   14     longest chunk (0: every chunk 255 bytes)
//   15     seed for the chunk lengths
//   then, in CorrectionMode 3, min(DailyPointCount, 25) daily points
//   (8-byte doubles, or 3 bytes h m s with flag 4); the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"

using namespace tkw;

namespace {

constexpr size_t kHeader = 16;

uint8_t Byte(const uint8_t* data, size_t size, size_t at) {
    return at < size ? data[at] : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto b = [&](size_t at) { return Byte(data, size, at); };

    Settings s;
    ApplyDefaults(s);
    const uint8_t sel = b(0) % 4;
    s.CodeFormat = sel ? sel : ((b(0) & 4) ? 7 : 0);
    s.CorrectionMode = b(1) % 5;
    s.CorrectionSecond = b(2);
    s.CorrectionMinute = b(3);
    s.FineAdjustMs = static_cast<uint16_t>(b(4) | b(5) << 8);
    s.DailyPointCount = b(6);
    s.JumpThreshold = b(7);
    const uint8_t flags = b(8);
    s.NoCorrectOnJump = flags & 2;

    RuntimeState state = RuntimeState::AtStartUp();
    state.CorrectNow = flags & 1;
    state.MonitorOn = true;
    state.CommLogOn = true;
    state.JumpLogOn = true;

    const int32_t offset = static_cast<int32_t>(uint32_t{b(10)} | uint32_t{b(11)} << 8 | uint32_t{b(12)} << 16 |
                                                uint32_t{b(13)} << 24);
    SystemTime origin{};
    origin.wYear = 2026;
    origin.wMonth = 1;
    origin.wDay = 1;
    LocalMs base = ToLocalMs(origin);
    if (flags & 8) base = kMaxLocalMs - 60'000;
    if (flags & 16) base = kMinLocalMs + 60'000;
    fuzz::CheckingClock clock(base + int64_t{offset} * 1000);
    clock.stepMs = b(9);

    size_t pos = kHeader;
    if (s.CorrectionMode == 3) {
        const int count = std::min<int>(s.DailyPointCount, kDailyPointSlots);
        for (int j = 0; j < count; ++j) {
            if (flags & 4) {
                // A serial date-time near 2026 with the given (possibly
                // impossible) time of day.
                s.DailyPoints[j] = 46023 + (b(pos) * 3600.0 + b(pos + 1) * 60.0 + b(pos + 2)) / 86400.0;
                pos += 3;
            } else {
                double d = 0;
                uint8_t raw[8];
                for (int k = 0; k < 8; ++k) raw[k] = b(pos + k);
                std::memcpy(&d, raw, sizeof d);
                s.DailyPoints[j] = d;
                pos += 8;
            }
        }
    }

    fuzz::CheckingPort port;
    fuzz::MemoryMonitor monitor;
    fuzz::MemoryLog log;
    TimeCodeReceiver rx(s, state, clock, port, monitor, log);
    rx.ResetRing(0);

    const uint8_t longest = b(14);
    uint32_t rng = 0x9E3779B9u ^ b(15);
    while (pos < size) {
        size_t len = 255;
        if (longest != 0) {
            rng ^= rng << 13;
            rng ^= rng >> 17;
            rng ^= rng << 5;
            len = 1 + rng % longest;
        }
        len = std::min(len, size - pos);
        const int setsBefore = clock.sets;
        rx.HandleChunk(data + pos, static_cast<int32_t>(len));
        pos += len;
        fuzz::CheckRing(rx, s.CodeFormat);
        // Every step of the clock is answered with 55 AA, and only then.
        if (port.writes != clock.sets) __builtin_trap();
        // A correction always clears the request to correct.
        if (clock.sets != setsBefore && state.CorrectNow) __builtin_trap();
        clock.Advance(100);  // the next read arrives a little later
    }
    return 0;
}
