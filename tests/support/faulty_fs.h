// A file system that passes everything to the real one but fails the Nth call
// of one chosen operation (and the calls after it, for a fault that lasts),
// as a full disk, a pulled cable or a locked file would. Files opened through
// it count their Read, Write, Sync and Close calls together, across all
// files, so "the second Write" means the second Write of the run whichever
// file it went to. A failing Write may first write half its bytes, as a disk
// that fills up in the middle of a write does. Also: a scratch directory and whole-file
// helpers for the tests that touch real files.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace tkw::test {

enum class FsOp { Open, Read, Write, Sync, Close, Replace, SyncDirectory };

inline const char* OpName(FsOp op) {
    switch (op) {
        case FsOp::Open: return "Open";
        case FsOp::Read: return "Read";
        case FsOp::Write: return "Write";
        case FsOp::Sync: return "Sync";
        case FsOp::Close: return "Close";
        case FsOp::Replace: return "Replace";
        case FsOp::SyncDirectory: return "SyncDirectory";
    }
    return "?";
}

class FaultyFileSystem final : public FileSystem {
public:
    // Fails calls number `nth` to nth + times - 1 (1-based) of `op`; nth 0
    // fails nothing. `torn`: a failing Write writes the first half first.
    explicit FaultyFileSystem(FsOp op = FsOp::Open, int nth = 0, int times = 1, bool torn = false)
        : op_(op), nth_(nth), times_(times), torn_(torn) {}

    // The text a failed call reports, as the platform's error text would be.
    static std::string ErrorText(FsOp op) { return std::string("injected ") + OpName(op) + " failure"; }

    bool Exists(const std::string& path) override { return real_.Exists(path); }

    OpenResult Open(const std::string& path, OpenMode mode) override {
        if (Trip(FsOp::Open)) return {nullptr, Status::Fail(ErrorText(FsOp::Open))};
        OpenResult r = real_.Open(path, mode);
        if (r.file) r.file = std::make_unique<FaultyFile>(*this, std::move(r.file));
        return r;
    }

    OpenResult CreateReplacement(const std::string& path, std::string& temp) override {
        if (Trip(FsOp::Open)) return {nullptr, Status::Fail(ErrorText(FsOp::Open))};
        OpenResult r = real_.CreateReplacement(path, temp);
        if (r.file) r.file = std::make_unique<FaultyFile>(*this, std::move(r.file));
        return r;
    }

    Status CheckReplaceable(const std::string& path) override { return real_.CheckReplaceable(path); }

    Status Replace(const std::string& from, const std::string& to) override {
        if (Trip(FsOp::Replace)) return Status::Fail(ErrorText(FsOp::Replace));
        return real_.Replace(from, to);
    }

    Status Remove(const std::string& path) override { return real_.Remove(path); }

    Status SyncDirectoryOf(const std::string& path) override {
        if (Trip(FsOp::SyncDirectory)) return Status::Fail(ErrorText(FsOp::SyncDirectory));
        return real_.SyncDirectoryOf(path);
    }

    // Whether the chosen failure has happened yet.
    bool tripped() const { return tripped_; }

private:
    class FaultyFile final : public File {
    public:
        FaultyFile(FaultyFileSystem& fs, std::unique_ptr<File> inner) : fs_(fs), inner_(std::move(inner)) {}
        Status Read(void* buf, size_t want, size_t& got) override {
            got = 0;
            if (fs_.Trip(FsOp::Read)) return Status::Fail(ErrorText(FsOp::Read));
            return inner_->Read(buf, want, got);
        }
        Status Write(std::string_view bytes) override {
            if (fs_.Trip(FsOp::Write)) {
                if (fs_.torn_) inner_->Write(bytes.substr(0, bytes.size() / 2));
                return Status::Fail(ErrorText(FsOp::Write));
            }
            return inner_->Write(bytes);
        }
        Status Sync() override {
            if (fs_.Trip(FsOp::Sync)) return Status::Fail(ErrorText(FsOp::Sync));
            return inner_->Sync();
        }
        Status Close() override {
            // The handle is gone either way, as with a close that reports a
            // late write error.
            const Status st = inner_->Close();
            if (fs_.Trip(FsOp::Close)) return Status::Fail(ErrorText(FsOp::Close));
            return st;
        }
        Status Size(uint64_t& size) override { return inner_->Size(size); }
        Status Truncate(uint64_t size) override { return inner_->Truncate(size); }

    private:
        FaultyFileSystem& fs_;
        std::unique_ptr<File> inner_;
    };

    bool Trip(FsOp op) {
        if (op != op_ || nth_ <= 0) return false;
        ++count_;
        if (count_ < nth_ || count_ >= nth_ + times_) return false;
        tripped_ = true;
        return true;
    }

    FileSystem& real_ = RealFileSystem();
    FsOp op_;
    int nth_;
    int times_;
    bool torn_;
    int count_ = 0;
    bool tripped_ = false;
};

// A fresh, empty directory of the test's own under the system's temporary
// directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> serial{0};
        path_ = std::filesystem::temp_directory_path() /
                ("tkw-test-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string str() const { return path_.string(); }

    // The names in the directory, sorted.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace tkw::test
