#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/descriptor_stream.h"
#include "platform/files.h"

namespace tkw {
namespace {

Status Errno() {
    return Status::Fail(std::strerror(errno));
}

// 64 bits nobody can guess, from the kernel's random source.
uint64_t RandomBits() {
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
        const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            (void)!::read(fd, &bits, sizeof bits);
            ::close(fd);
        }
    }
    return bits;
}

// A name part nobody can guess.
std::string RandomHex() {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(RandomBits()));
    return text;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The directory as the user would look for it ("." means little in a
// service's log).
std::string FullDirectory(const std::string& dir) {
    char full[PATH_MAX];
    return ::realpath(dir.c_str(), full) ? std::string(full) : dir;
}

// A failed creation that lies with the directory, not with a file of the
// name (there is none): the directory is named in the message.
Status CreationFailure(const std::string& path, int error) {
    Status st = Status::Fail(std::strerror(error));
    struct stat existing {};
    const bool aboutDirectory = error == EACCES || error == EROFS || error == ENOSPC || error == EDQUOT ||
                                error == EPERM || error == ENOENT;
    if (aboutDirectory && ::lstat(path.c_str(), &existing) != 0 && errno == ENOENT)
        st.directory = FullDirectory(DirectoryOf(path));
    return st;
}

// The process's umask, without changing it: read from the kernel where it
// says (Linux 4.7 on), else set and put back under a lock of our own.
mode_t CurrentUmask() {
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return static_cast<mode_t>(mask);
    }
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

// Said of a pipe, a device or a directory where a file of ours is meant.
constexpr const char* kNotPlainFile = "not a plain file";

// New settings and log files: never more open than rw-r--r--.
constexpr mode_t kNewFileMode = 0644;

class PosixFile final : public File {
public:
    // `finalMode` >= 0: given to the file when it is closed (a replacement,
    // kept private while it is written).
    explicit PosixFile(int fd, int finalMode = -1) : fd_(fd), finalMode_(finalMode) {}
    ~PosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    Status Read(void* buf, size_t want, size_t& got) override {
        got = 0;
        auto* p = static_cast<char*>(buf);
        while (got < want) {
            const ssize_t n = ::read(fd_, p + got, want - got);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Errno();
            }
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        return Status::Ok();
    }

    Status Write(std::string_view bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Errno();
            }
            done += static_cast<size_t>(n);
        }
        return Status::Ok();
    }

    Status Sync() override { return ::fsync(fd_) == 0 ? Status::Ok() : Errno(); }

    Status Close() override {
        const int fd = fd_;
        fd_ = -1;
        Status st;
        if (finalMode_ >= 0 && ::fchmod(fd, static_cast<mode_t>(finalMode_)) != 0) st = Errno();
        if (::close(fd) != 0 && st) st = Errno();
        return st;
    }

    Status Size(uint64_t& size) override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return Errno();
        size = static_cast<uint64_t>(st.st_size);
        return Status::Ok();
    }

    Status Truncate(uint64_t size) override {
        while (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
            if (errno != EINTR) return Errno();
        return Status::Ok();
    }

private:
    int fd_;
    int finalMode_;
};

class PosixFileSystem final : public FileSystem {
public:
    bool Exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }

    OpenResult Open(const std::string& path, OpenMode mode) override {
        // Opened without blocking and then refused unless a plain file: a
        // pipe or a device put at the name would otherwise hang the open or
        // the first read, at start-up, where the stop signals wait for the
        // loop (and a terminal would become the program's own).
        int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
        switch (mode) {
            case OpenMode::ReadWriteExisting: flags |= O_RDWR; break;
            case OpenMode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW; break;
        }
        const int fd = ::open(path.c_str(), flags, kNewFileMode);
        if (fd < 0) {
            const int error = errno;
            if (error == ELOOP && mode == OpenMode::Append)
                return {nullptr, Status::Fail("a symbolic link, which is not followed")};
            // A pipe nobody reads, a device without its hardware: no file.
            if (error == ENXIO) return {nullptr, Status::Fail(kNotPlainFile)};
            return {nullptr, mode == OpenMode::Append ? CreationFailure(path, error) : Status::Fail(std::strerror(error))};
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return {nullptr, Status::Fail(kNotPlainFile)};
        }
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        return {std::make_unique<PosixFile>(fd), Status::Ok()};
    }

    OpenResult CreateReplacement(const std::string& path, std::string& temp) override {
        // What the replaced file has, to be kept; a new file gets rw-r--r--
        // less what the umask takes away.
        struct stat old {};
        const bool replacing = ::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode);
        int fd = -1;
        for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
            temp = ReplacementName(path, RandomBits());
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST) return {nullptr, CreationFailure(temp, errno)};
        }
        if (fd < 0) return {nullptr, Status::Fail(std::strerror(EEXIST))};
        mode_t mode = kNewFileMode & ~CurrentUmask();
        if (replacing) {
            mode = old.st_mode & 0777;
            // The owner can be given away by root alone, the group by the
            // owner to a group of its own; where neither may, the file is the
            // saver's (which is all an ordinary user's save can do).
            if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
                ::fchown(fd, old.st_uid, old.st_gid) != 0)
                (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
        }
        return {std::make_unique<PosixFile>(fd, static_cast<int>(mode)), Status::Ok()};
    }

    Status CheckReplaceable(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return Status::Ok();
        if (!S_ISLNK(st.st_mode)) return Status::Fail(path + ": " + kNotPlainFile);
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        return Status::Fail(path + " is a symbolic link to " +
                            (n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string("?")) +
                            ", which a save would replace with a file, leaving the file it points to as it was; "
                            "nothing is written");
    }

    Status Replace(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0 ? Status::Ok() : Errno();
    }

    Status Remove(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? Status::Ok() : Errno();
    }

    // A rename changes the directory, not the file: until the directory is
    // synced too, a power cut may undo it.
    Status SyncDirectoryOf(const std::string& path) override {
        const int fd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return Errno();
        const int synced = ::fsync(fd);
        const int error = errno;
        ::close(fd);
        // EINVAL: a file system that cannot sync a directory at all (some
        // network and FUSE ones); nothing more can be done there, and failing
        // every save on it would stop the settings being kept at all.
        if (synced != 0 && error != EINVAL) return Status::Fail(std::strerror(error));
        return Status::Ok();
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

Status UpdateLock::Acquire(const std::string& path, std::chrono::milliseconds wait, bool& unavailable) {
    unavailable = false;
    const std::string lockPath = path + ".lock";
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        unavailable = error == EACCES || error == EPERM || error == EROFS || error == ENOSPC || error == EDQUOT;
        return Status::Fail(lockPath + ": " +
                            (error == ELOOP ? "a symbolic link, which is not followed" : std::strerror(error)));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Status::Fail(lockPath + ": " + kNotPlainFile);
    }
    const auto until = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR) continue;
        if (error != EWOULDBLOCK || std::chrono::steady_clock::now() >= until) {
            ::close(fd);
            return Status::Fail(lockPath + ": " +
                                (error == EWOULDBLOCK ? "held by another process for " +
                                                            std::to_string(wait.count() / 1000) + " s"
                                                      : std::string(std::strerror(error))));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    handle_ = fd;
    return Status::Ok();
}

std::vector<std::string> RemoveLeftoverReplacements(const std::string& path) {
    std::vector<std::string> removed;
    const size_t slash = path.rfind('/');
    const std::string fileName = slash == std::string::npos ? path : path.substr(slash + 1);
    const int dirFd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = dirFd >= 0 ? ::fdopendir(dirFd) : nullptr;
    if (!dir) {
        if (dirFd >= 0) ::close(dirFd);
        return removed;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        struct stat st {};
        if (IsReplacementName(name, fileName) && ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && ::unlinkat(dirFd, name.c_str(), 0) == 0)
            removed.push_back(name);
    }
    ::closedir(dir);
    return removed;
}

// The lock file stays: removing it while another process waits on it would
// let a third one lock a new file of the same name beside the waiter.
UpdateLock::~UpdateLock() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::unique_ptr<std::iostream> PrivateTemporaryStream(std::string& error) {
    std::error_code ec;
    const std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec) {
        error = "no temporary directory: " + ec.message();
        return nullptr;
    }
    // A file without a name at all where the file system can; else a name
    // nobody can guess, made exclusively and removed at once.
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    for (int attempt = 0; fd < 0 && attempt < 16; ++attempt) {
        const std::string name = JoinPath(dir, "tkw-" + RandomHex() + ".tmp");
        fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) ::unlink(name.c_str());
        else if (errno != EEXIST) break;
    }
    if (fd < 0) {
        error = dir + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::make_unique<DescriptorStream>(fd);
}

}  // namespace tkw
