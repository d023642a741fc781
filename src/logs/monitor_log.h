// The monitor text: every frame and answer line the producers make, kept for
// the program's life until the user clears it. The program runs for months:
// a week of frames is some 600 000 lines, so lines go into fixed blocks of
// memory one after another (no block is ever copied or moved) and appending
// costs the same at the first line and the millionth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logs/sinks.h"
#include "platform/files.h"

namespace tkw {

class MonitorLog final : public MonitorSink {
public:
    MonitorLog() = default;
    MonitorLog(const MonitorLog&) = delete;
    MonitorLog& operator=(const MonitorLog&) = delete;

    void AppendLine(std::string line) override { Append(line); }
    void Append(std::string_view line);
    void Clear();

    size_t Count() const { return index_.size(); }
    std::string_view Line(size_t i) const;
    // Bytes of text held (the lines without their breaks).
    size_t Bytes() const { return bytes_; }

    // Writes every line, each followed by CR LF, in the platform's file
    // encoding, to `path`: through a temporary file beside it that then
    // replaces it, so a failed save never leaves the old file cut short.
    Status SaveTo(FileSystem& fs, const std::string& path) const;

    // The one observer (the monitor window's text): a line was appended, or
    // the text was cleared.
    std::function<void(size_t index)> OnAppend;
    std::function<void()> OnClear;

private:
    static constexpr size_t kBlockSize = 1 << 20;
    struct Ref {
        uint32_t block;
        uint32_t offset;
        uint32_t length;
    };
    std::vector<std::unique_ptr<char[]>> blocks_;
    size_t used_ = 0;  // in the last block
    size_t lastSize_ = 0;
    std::deque<Ref> index_;
    size_t bytes_ = 0;
};

}  // namespace tkw
