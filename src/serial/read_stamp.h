// When a chunk's read returned, taken by the reader the moment its wait for
// input ended, before the read and the hand-off to the main thread: what
// happens to the chunk (the delay compensation of a correction, the offset
// a frame measures) is timed from when its bytes arrived, not from when the
// main thread got round to them.
#pragma once

#include <chrono>
#include <cstdint>

namespace tkw {

struct ReadStamp {
    static constexpr int64_t kUnknown = INT64_MIN;
    // A monotonic clock's reading in microseconds: never stepped, so the time
    // between two reads is true even across a correction of the PC clock.
    int64_t steadyUs = kUnknown;
    // The PC clock the corrections read and set (Clock::GetLocalMicros), in
    // microseconds of local time; kUnknown where the reader was given none.
    int64_t localUs = kUnknown;
    // The system's real time, microseconds since 1970 UTC: for time services
    // fed with the frames (chronyd).
    int64_t realUs = kUnknown;

    bool Known() const { return steadyUs != kUnknown; }

    // The monotonic and the real time now.
    static ReadStamp Now() {
        using namespace std::chrono;
        ReadStamp s;
        s.steadyUs = duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
        s.realUs = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
        return s;
    }
};

}  // namespace tkw
