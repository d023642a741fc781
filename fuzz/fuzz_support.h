// Fakes shared by the fuzz targets. None of them touches the machine: the
// clock is simulated, the port and the sinks keep everything in memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "logs/sinks.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/systime.h"
#include "serial/port_writer.h"
#include "timecode/receiver.h"

namespace tkw::fuzz {

// A simulated local clock. Every read may move it on by `stepMs` (time spent
// while a chunk is handled). Setting it to anything the operating system
// would refuse, or to a date that does not exist, is a bug in the engine:
// the fuzzer stops right there.
class CheckingClock final : public Clock {
public:
    explicit CheckingClock(LocalMs start) : now_(Clamp(start)) {}

    SystemTime GetLocalTime() override {
        const SystemTime t = FromLocalMs(now_);
        now_ = Clamp(now_ + stepMs);
        return t;
    }

    bool SetLocalTime(const SystemTime& t) override {
        if (!IsValid(t)) __builtin_trap();
        // The weekday is ignored by the system, but a wrong one means the
        // record was patched by hand somewhere instead of being rebuilt.
        if (t.wDayOfWeek != FromLocalMs(ToLocalMs(t)).wDayOfWeek) __builtin_trap();
        now_ = ToLocalMs(t);
        ++sets;
        return true;
    }

    void Advance(int64_t ms) { now_ = Clamp(now_ + ms); }

    int64_t stepMs = 0;
    int sets = 0;

private:
    static LocalMs Clamp(LocalMs v) { return std::clamp(v, kMinLocalMs, kMaxLocalMs); }
    LocalMs now_;
};

// The only thing ever written by the receiver is the two-byte answer.
class CheckingPort final : public PortWriter {
public:
    int32_t sio_write(int32_t, const uint8_t* buf, int32_t len) override {
        if (len != 2 || buf[0] != 0x55 || buf[1] != 0xAA) __builtin_trap();
        ++writes;
        return len;
    }
    int writes = 0;
};

// Keeps the last few lines only, so that long inputs do not grow memory.
class MemoryMonitor final : public MonitorSink {
public:
    void AppendLine(std::string line) override {
        if (line.empty()) __builtin_trap();
        if (++count % 64 == 0) last.clear();
        last = std::move(line);
    }
    std::string last;
    uint64_t count = 0;
};

class MemoryLog final : public LogSink {
public:
    void savelogline(int32_t flag, std::string_view text) override {
        if (flag != 0 && flag != 1) __builtin_trap();
        bytes += text.size();
        ++entries;
    }
    uint64_t bytes = 0;
    uint64_t entries = 0;
};

// Files held in a map: enough of the file seam for the settings' load and save.
class MemoryFileSystem final : public FileSystem {
public:
    std::map<std::string, std::string> files;

    bool Exists(const std::string& path) override { return files.count(path) != 0; }

    OpenResult Open(const std::string& path, OpenMode mode) override {
        auto it = files.find(path);
        if (mode == OpenMode::ReadWriteExisting && it == files.end()) return {nullptr, Status::Fail("no such file")};
        std::string& data = files[path];
        return {std::make_unique<MemoryFile>(data, mode == OpenMode::Append ? data.size() : 0), Status::Ok()};
    }

    OpenResult CreateReplacement(const std::string& path, std::string& temp) override {
        temp = path + ".new";
        std::string& data = files[temp];
        data.clear();
        return {std::make_unique<MemoryFile>(data, 0), Status::Ok()};
    }

    Status CheckReplaceable(const std::string&) override { return Status::Ok(); }

    Status Replace(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (it == files.end()) return Status::Fail("no such file");
        std::string data = std::move(it->second);
        files.erase(it);
        files[to] = std::move(data);
        return Status::Ok();
    }

    Status Remove(const std::string& path) override {
        return files.erase(path) ? Status::Ok() : Status::Fail("no such file");
    }

    Status SyncDirectoryOf(const std::string&) override { return Status::Ok(); }

private:
    class MemoryFile final : public File {
    public:
        MemoryFile(std::string& data, size_t pos) : data_(data), pos_(pos) {}
        Status Read(void* buf, size_t want, size_t& got) override {
            got = pos_ < data_.size() ? std::min(want, data_.size() - pos_) : 0;
            std::copy_n(data_.data() + pos_, got, static_cast<char*>(buf));
            pos_ += got;
            return Status::Ok();
        }
        Status Write(std::string_view bytes) override {
            data_.replace(pos_, std::min(bytes.size(), data_.size() - std::min(pos_, data_.size())), bytes);
            pos_ += bytes.size();
            return Status::Ok();
        }
        Status Sync() override { return Status::Ok(); }
        Status Close() override { return Status::Ok(); }
        Status Size(uint64_t& size) override {
            size = data_.size();
            return Status::Ok();
        }
        Status Truncate(uint64_t size) override {
            data_.resize(size);
            return Status::Ok();
        }

    private:
        std::string& data_;
        size_t pos_;
    };
};

// What must hold after every HandleChunk: both indices inside the ring, and
// the walk has gone as far as it can (fewer bytes wait than a frame needs).
inline void CheckRing(const TimeCodeReceiver& rx, uint8_t codeFormat) {
    if (rx.RxHead >= kRingSize || rx.RxTail >= kRingSize) __builtin_trap();
    if (const FrameFormat* f = FindFormat(codeFormat))
        if (rx.Avail() >= f->needed) __builtin_trap();
}

}  // namespace tkw::fuzz
