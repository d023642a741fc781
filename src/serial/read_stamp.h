// When a chunk's read returned, taken by the reader the moment its wait for
// input ended, before the hand-off to the main thread: what happens to the
// chunk is timed from when its bytes arrived, not from when the main thread
// got round to them.
#pragma once

#include <chrono>
#include <cstdint>

namespace tkw {

struct ReadStamp {
    static constexpr int64_t kUnknown = INT64_MIN;
    // A monotonic clock's reading in microseconds: never stepped, so the time
    // between two reads is true even across a correction of the PC clock.
    int64_t steadyUs = kUnknown;

    bool Known() const { return steadyUs != kUnknown; }

    static ReadStamp Now() {
        using namespace std::chrono;
        return {duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count()};
    }
};

}  // namespace tkw
