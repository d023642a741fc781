#include "logs/monitor_log.h"

#include <cstring>

#include "platform/encoding.h"

namespace tkw {

void MonitorLog::Append(std::string_view line) {
    // A line never spans two blocks; one longer than a block gets its own.
    if (blocks_.empty() || used_ + line.size() > lastSize_) {
        lastSize_ = line.size() > kBlockSize ? line.size() : kBlockSize;
        blocks_.push_back(std::make_unique<char[]>(lastSize_));
        used_ = 0;
    }
    if (!line.empty()) std::memcpy(blocks_.back().get() + used_, line.data(), line.size());
    index_.push_back({static_cast<uint32_t>(blocks_.size() - 1), static_cast<uint32_t>(used_),
                      static_cast<uint32_t>(line.size())});
    used_ += line.size();
    bytes_ += line.size();
    if (OnAppend) OnAppend(index_.size() - 1);
}

void MonitorLog::Clear() {
    blocks_.clear();
    std::deque<Ref>().swap(index_);  // give the index's memory back too
    used_ = lastSize_ = bytes_ = 0;
    if (OnClear) OnClear();
}

std::string_view MonitorLog::Line(size_t i) const {
    const Ref& r = index_[i];
    return std::string_view(blocks_[r.block].get() + r.offset, r.length);
}

Status MonitorLog::SaveTo(FileSystem& fs, const std::string& path) const {
    // Written in chunks of about a block, so that a long log costs neither a
    // write per line nor a copy of the whole of it.
    return ReplaceWholeFile(fs, path, [this](File& file) {
        Status st;
        std::string chunk;
        chunk.reserve(kBlockSize + 4096);
        for (size_t i = 0; st && i < index_.size(); ++i) {
            chunk += ToFileEncoding(Line(i));
            chunk += "\r\n";
            if (chunk.size() >= kBlockSize) {
                st = file.Write(chunk);
                chunk.clear();
            }
        }
        if (st && !chunk.empty()) st = file.Write(chunk);
        return st;
    });
}

}  // namespace tkw
