#define _CRT_RAND_S  // rand_s: random numbers from the system's source
#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "platform/descriptor_stream.h"
#include "platform/files.h"
#include "platform/win32_text.h"

namespace tkw {
namespace {

std::wstring Wide(const std::string& utf8) { return WideFromUtf8(utf8); }

Status LastError() { return Status::Fail(SystemErrorText(GetLastError())); }

// 64 bits nobody can guess, from the system's random source.
uint64_t RandomBits() {
    unsigned int a = 0, b = 0;
    rand_s(&a);
    rand_s(&b);
    return (static_cast<uint64_t>(a) << 32) | b;
}

// A name part nobody can guess.
std::string RandomHex() {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(RandomBits()));
    return text;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// A failed creation that lies with the directory, not with a file of the
// name (there is none): the directory is named in the message.
Status CreationFailure(const std::string& path, DWORD error) {
    Status st = Status::Fail(SystemErrorText(error));
    const bool aboutDirectory = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT ||
                                error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ||
                                error == ERROR_PATH_NOT_FOUND;
    if (aboutDirectory && GetFileAttributesW(Wide(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        const std::wstring dir = Wide(DirectoryOf(path));
        wchar_t full[MAX_PATH];
        const DWORD n = GetFullPathNameW(dir.c_str(), MAX_PATH, full, nullptr);
        st.directory = n > 0 && n < MAX_PATH ? Utf8FromWide(full, static_cast<int>(n)) : DirectoryOf(path);
    }
    return st;
}

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

    Status Size(uint64_t& size) override {
        LARGE_INTEGER n{};
        if (!GetFileSizeEx(h_, &n)) return LastError();
        size = static_cast<uint64_t>(n.QuadPart);
        return Status::Ok();
    }

    Status Truncate(uint64_t size) override {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
        return SetFileInformationByHandle(h_, FileEndOfFileInfo, &end, sizeof end) ? Status::Ok() : LastError();
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
        DWORD access = GENERIC_READ | GENERIC_WRITE;
        DWORD disposition = OPEN_EXISTING;
        DWORD flags = FILE_ATTRIBUTE_NORMAL;
        if (mode == OpenMode::Append) {
            // FILE_APPEND_DATA alone: every write goes to the end. The size
            // and the cut-back of a failed entry need the rest.
            access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_DATA;
            disposition = OPEN_ALWAYS;
            flags |= FILE_FLAG_OPEN_REPARSE_POINT;  // a link at the name is opened itself, then refused
        }
        HANDLE h = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition, flags, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return {nullptr, mode == OpenMode::Append ? CreationFailure(path, error) : Status::Fail(SystemErrorText(error))};
        }
        // A pipe or a device (a name such as COM1, a \\.\pipe\) is no file
        // of ours: its reads and writes could wait for good.
        if (GetFileType(h) != FILE_TYPE_DISK) {
            CloseHandle(h);
            return {nullptr, Status::Fail("not a plain file")};
        }
        if (mode == OpenMode::Append) {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                CloseHandle(h);
                return {nullptr, Status::Fail("a link, which is not followed")};
            }
            LARGE_INTEGER end{};
            SetFilePointerEx(h, end, nullptr, FILE_END);
        }
        return {std::make_unique<Win32File>(h), Status::Ok()};
    }

    OpenResult CreateReplacement(const std::string& path, std::string& temp) override {
        for (int attempt = 0; attempt < 16; ++attempt) {
            temp = ReplacementName(path, RandomBits());
            // CREATE_NEW: never over an existing file or link. Not shared for
            // writing while it is written; its access is what the directory
            // gives new files until Replace gives it the old file's.
            HANDLE h = CreateFileW(Wide(temp).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) return {std::make_unique<Win32File>(h), Status::Ok()};
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return {nullptr, CreationFailure(temp, error)};
        }
        return {nullptr, Status::Fail(SystemErrorText(ERROR_FILE_EXISTS))};
    }

    // A symbolic link at the name would be replaced itself (MoveFileEx
    // moves onto the link), and the file it points to keep what it had.
    Status CheckReplaceable(const std::string& path) override {
        const std::wstring name = Wide(path);
        WIN32_FIND_DATAW found{};
        HANDLE find = FindFirstFileW(name.c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return Status::Ok();
        FindClose(find);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return Status::Fail(path + ": not a plain file");
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || found.dwReserved0 != IO_REPARSE_TAG_SYMLINK)
            return Status::Ok();
        std::string target = "?";
        HANDLE h = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            wchar_t full[MAX_PATH];
            const DWORD n = GetFinalPathNameByHandleW(h, full, MAX_PATH, FILE_NAME_NORMALIZED);
            if (n > 0 && n < MAX_PATH) target = Utf8FromWide(full, static_cast<int>(n));
            CloseHandle(h);
        }
        return Status::Fail(path + " is a symbolic link to " + target +
                            ", which a save would replace with a file, leaving the file it points to as it was; "
                            "nothing is written");
    }

    // The replaced file's access list (who may read and write it, the
    // service's account among them) is kept: read before the move, given to
    // the new file after it, as far as the process may.
    Status Replace(const std::string& from, const std::string& to) override {
        const std::wstring target = Wide(to);
        std::vector<unsigned char> security;
        const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
        DWORD need = 0;
        GetFileSecurityW(target.c_str(), what, nullptr, 0, &need);
        if (need > 0) {
            security.resize(need);
            if (!GetFileSecurityW(target.c_str(), what, security.data(), need, &need)) security.clear();
        }
        if (!MoveFileExW(Wide(from).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return LastError();
        if (!security.empty()) SetFileSecurityW(target.c_str(), what, security.data());
        return Status::Ok();
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

Status UpdateLock::Acquire(const std::string& path, std::chrono::milliseconds wait, bool& unavailable) {
    unavailable = false;
    const std::string lockPath = path + ".lock";
    HANDLE h = CreateFileW(Wide(lockPath).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        unavailable = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT || error == ERROR_DISK_FULL;
        return Status::Fail(lockPath + ": " + SystemErrorText(error));
    }
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(wait.count());
    for (;;) {
        OVERLAPPED at{};
        if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION || GetTickCount64() >= until) {
            CloseHandle(h);
            return Status::Fail(lockPath + ": " +
                                (error == ERROR_LOCK_VIOLATION
                                     ? "held by another process for " + std::to_string(wait.count() / 1000) + " s"
                                     : SystemErrorText(error)));
        }
        Sleep(20);
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    return Status::Ok();
}

namespace {

// Who may count as the owner of the files this process made: its user, and
// the owner it gives new files (for an elevated administrator the
// Administrators group), each a SID's bytes.
std::vector<std::vector<unsigned char>> OwnSids() {
    std::vector<std::vector<unsigned char>> sids;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sids;
    for (const TOKEN_INFORMATION_CLASS what : {TokenUser, TokenOwner}) {
        DWORD need = 0;
        GetTokenInformation(token, what, nullptr, 0, &need);
        std::vector<unsigned char> buf(need);
        if (need == 0 || !GetTokenInformation(token, what, buf.data(), need, &need)) continue;
        PSID sid = what == TokenUser ? reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid
                                     : reinterpret_cast<TOKEN_OWNER*>(buf.data())->Owner;
        sids.emplace_back(static_cast<unsigned char*>(sid), static_cast<unsigned char*>(sid) + GetLengthSid(sid));
    }
    CloseHandle(token);
    return sids;
}

bool OwnedBy(const std::wstring& path, const std::vector<std::vector<unsigned char>>& sids) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &sd) != ERROR_SUCCESS)
        return false;
    bool ours = false;
    for (const std::vector<unsigned char>& sid : sids)
        ours = ours || (owner && EqualSid(owner, const_cast<unsigned char*>(sid.data())));
    LocalFree(sd);
    return ours;
}

}  // namespace

std::vector<std::string> RemoveLeftoverReplacements(const std::string& path) {
    std::vector<std::string> removed;
    const size_t slash = path.find_last_of("/\\");
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::vector<std::vector<unsigned char>> ours = OwnSids();
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(Wide(path + ".*.new").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return removed;
    do {
        const int n = static_cast<int>(wcslen(found.cFileName));
        const std::string name = Utf8FromWide(found.cFileName, n);
        const std::wstring full = Wide(dir + name);
        if (IsReplacementName(name, fileName) &&
            !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            OwnedBy(full, ours) && DeleteFileW(full.c_str()))
            removed.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return removed;
}

// Closing the handle lets the lock go; the file stays for the next update.
UpdateLock::~UpdateLock() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::unique_ptr<std::iostream> PrivateTemporaryStream(std::string& error) {
    wchar_t dir[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, dir);
    if (n == 0 || n > MAX_PATH) {
        error = "no temporary directory";
        return nullptr;
    }
    const std::string dirText = Utf8FromWide(dir, static_cast<int>(n));
    for (int attempt = 0; attempt < 16; ++attempt) {
        // In the user's own temporary directory, not shared with anyone, and
        // deleted by the system when the last handle goes.
        const std::wstring name = std::wstring(dir) + Wide("tkw-" + RandomHex() + ".tmp");
        HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD why = GetLastError();
            if (why == ERROR_FILE_EXISTS) continue;
            error = dirText + ": " + SystemErrorText(why);
            return nullptr;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
        if (fd < 0) {
            CloseHandle(h);
            error = dirText + ": no descriptor for the file";
            return nullptr;
        }
        return std::make_unique<DescriptorStream>(fd);
    }
    error = dirText + ": " + SystemErrorText(ERROR_FILE_EXISTS);
    return nullptr;
}

}  // namespace tkw
