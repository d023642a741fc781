// A file system that passes everything to the real one but fails the Nth call
// of one chosen operation, as a full disk, a pulled cable or a locked file
// would. Files opened through it count their Read, Write, Sync and Close calls
// together, across all files, so "the second Write" means the second Write of
// the run whichever file it went to. Also: a scratch directory and whole-file
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
    // Fails call number `nth` (1-based) of `op`; nth 0 fails nothing.
    explicit FaultyFileSystem(FsOp op = FsOp::Open, int nth = 0) : op_(op), nth_(nth) {}

    // The text a failed call reports, as the platform's error text would be.
    static std::string ErrorText(FsOp op) { return std::string("injected ") + OpName(op) + " failure"; }

    bool Exists(const std::string& path) override { return real_.Exists(path); }

    OpenResult Open(const std::string& path, OpenMode mode) override {
        if (Trip(FsOp::Open)) return {nullptr, Status::Fail(ErrorText(FsOp::Open))};
        OpenResult r = real_.Open(path, mode);
        if (r.file) r.file = std::make_unique<FaultyFile>(*this, std::move(r.file));
        return r;
    }

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
            if (fs_.Trip(FsOp::Write)) return Status::Fail(ErrorText(FsOp::Write));
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

    private:
        FaultyFileSystem& fs_;
        std::unique_ptr<File> inner_;
    };

    bool Trip(FsOp op) {
        if (op != op_ || nth_ <= 0) return false;
        if (++count_ != nth_) return false;
        tripped_ = true;
        return true;
    }

    FileSystem& real_ = RealFileSystem();
    FsOp op_;
    int nth_;
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
