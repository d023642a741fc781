#include <windows.h>

#include "platform/files.h"
#include "platform/win32_text.h"

namespace tkw {
namespace {

std::wstring Wide(const std::string& utf8) { return WideFromUtf8(utf8); }

Status LastError() { return Status::Fail(SystemErrorText(GetLastError())); }

class Win32File final : public File {
public:
    explicit Win32File(HANDLE h) : h_(h) {}
    ~Win32File() override {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }

    Status Read(void* buf, size_t want, size_t& got) override {
        got = 0;
        auto* p = static_cast<char*>(buf);
        while (got < want) {
            DWORD n = 0;
            const DWORD chunk = static_cast<DWORD>(want - got > 0x10000000 ? 0x10000000 : want - got);
            if (!ReadFile(h_, p + got, chunk, &n, nullptr)) return LastError();
            if (n == 0) break;
            got += n;
        }
        return Status::Ok();
    }

    Status Write(std::string_view bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            DWORD n = 0;
            const size_t left = bytes.size() - done;
            const DWORD chunk = static_cast<DWORD>(left > 0x10000000 ? 0x10000000 : left);
            if (!WriteFile(h_, bytes.data() + done, chunk, &n, nullptr)) return LastError();
            done += n;
        }
        return Status::Ok();
    }

    Status Sync() override { return FlushFileBuffers(h_) ? Status::Ok() : LastError(); }

    Status Close() override {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) ? Status::Ok() : LastError();
    }

private:
    HANDLE h_;
};

class Win32FileSystem final : public FileSystem {
public:
    bool Exists(const std::string& path) override {
        return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    OpenResult Open(const std::string& path, OpenMode mode) override {
        DWORD access = GENERIC_WRITE;
        DWORD disposition = OPEN_ALWAYS;
        switch (mode) {
            case OpenMode::ReadWriteExisting:
                access = GENERIC_READ | GENERIC_WRITE;
                disposition = OPEN_EXISTING;
                break;
            case OpenMode::CreateTruncate: disposition = CREATE_ALWAYS; break;
            case OpenMode::Append: access = FILE_APPEND_DATA; break;
        }
        HANDLE h = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return {nullptr, LastError()};
        return {std::make_unique<Win32File>(h), Status::Ok()};
    }

    Status Replace(const std::string& from, const std::string& to) override {
        return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? Status::Ok()
                   : LastError();
    }

    Status Remove(const std::string& path) override {
        return DeleteFileW(Wide(path).c_str()) ? Status::Ok() : LastError();
    }

    // Nothing to do: with MOVEFILE_WRITE_THROUGH, Replace returns only once
    // the rename itself has been flushed to the disk.
    Status SyncDirectoryOf(const std::string&) override { return Status::Ok(); }
};

}  // namespace

FileSystem& RealFileSystem() {
    static Win32FileSystem fs;
    return fs;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    const char last = dir.back();
    if (last == '/' || last == '\\') return dir + name;
    return dir + "\\" + name;
}

}  // namespace tkw
