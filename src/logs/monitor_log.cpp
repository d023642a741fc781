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
    index_.clear();
    std::deque<Ref>().swap(index_);  // give the index's memory back too
    used_ = lastSize_ = bytes_ = 0;
    if (OnClear) OnClear();
}

std::string_view MonitorLog::Line(size_t i) const {
    const Ref& r = index_[i];
    return std::string_view(blocks_[r.block].get() + r.offset, r.length);
}

Status MonitorLog::SaveTo(FileSystem& fs, const std::string& path) const {
    const std::string temp = path + ".new";
    OpenResult opened = fs.Open(temp, OpenMode::CreateTruncate);
    if (!opened.file) return opened.status;
    Status st;
    std::string chunk;
    chunk.reserve(kBlockSize + 4096);
    for (size_t i = 0; st && i < index_.size(); ++i) {
        chunk += ToFileEncoding(Line(i));
        chunk += "\r\n";
        if (chunk.size() >= kBlockSize) {
            st = opened.file->Write(chunk);
            chunk.clear();
        }
    }
    if (st && !chunk.empty()) st = opened.file->Write(chunk);
    if (st) st = opened.file->Sync();
    const Status closed = opened.file->Close();
    if (st) st = closed;
    if (st) st = fs.Replace(temp, path);
    if (!st) {
        fs.Remove(temp);  // the old file, if any, is untouched
        return st;
    }
    // As with the settings: the rename is not safe from a power cut until the
    // directory is synced, and the user who saved is told if that failed.
    return fs.SyncDirectoryOf(path);
}

}  // namespace tkw
