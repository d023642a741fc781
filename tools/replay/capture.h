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

// Reads a capture one line at a time, holding only the line at hand: a
// week's capture is some 600 000 lines, and a run must not need memory in
// proportion to it.
class CaptureReader {
public:
    CaptureReader(std::istream& in, std::string name) : in_(in), name_(std::move(name)) {}

    // The next chunk line (blank and comment lines skipped) into `line`,
    // reusing its byte buffer. False at the end of the capture, or at a
    // malformed line, after which error() is "NAME:LINE: reason".
    bool Next(CaptureLine& line);
    const std::string& error() const { return error_; }

private:
    bool Fail(const std::string& reason);

    std::istream& in_;
    std::string name_;
    std::string text_;
    long lineNo_ = 0;
    int64_t lastMs_ = 0;
    std::string error_;
};

}  // namespace tkw::replay
