// Capture files: recorded receiver bytes, one chunk a line.
//
//   # comment
//   <elapsed ms> [<hex byte> ...]      0 to 255 bytes, two hex digits each
//
// Elapsed times are decimal milliseconds and never decrease. A line without
// bytes only moves the time on.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace tkw::replay {

struct CaptureLine {
    int64_t elapsedMs = 0;
    std::vector<uint8_t> bytes;
};

// Largest elapsed time taken (about 31 years): keeps every sum with a start
// time far from overflowing.
inline constexpr int64_t kMaxElapsedMs = 1'000'000'000'000LL;

// Reads the whole capture. On the first malformed line returns false with
// `error` set to "NAME:LINE: reason".
bool ParseCapture(std::istream& in, const std::string& name, std::vector<CaptureLine>& lines, std::string& error);

}  // namespace tkw::replay
