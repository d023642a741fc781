#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/single_instance.h"

namespace tkw {

// The claim is a lock file in a directory that only root (or the service's
// own user) can write:
//
// - $RUNTIME_DIRECTORY when systemd gives the service one (RuntimeDirectory=
//   in the unit: made by systemd, owned by the service's user, mode 0755);
// - else /run/tkw, made here when the program runs as root.
//
// The file, "<name>.lock", is readable and writable by its owner alone, so no
// other user can open it, let alone lock it, and no other user can put a file
// or link in its place: the directory's parent /run is root's, and the
// directory is not writable by others (checked). The lock (flock) goes with
// the process however it ends; the file is removed at a clean end and checked
// to be still the file at that name after locking, so that a copy racing with
// that removal cannot hold a file nobody else can find.
//
// Every copy also binds an abstract socket of the name, as earlier versions
// did. For a copy that cannot use the directory (an ordinary user's, without
// the service's runtime directory) that socket is the whole claim: any local
// user could take that name first, but only to stop ordinary users' copies,
// never root's or the service's, which win on the file alone.
namespace {

constexpr const char* kLockDirectory = "/run/tkw";

// The name as a file name: letters, digits, '-', '_' and '.' (not leading).
std::string FileNameFor(const std::string& name) {
    std::string file;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || (c == '.' && !file.empty());
        file += plain ? c : '_';
    }
    return file + ".lock";
}

// The bound socket, kTaken when another process has the name, or
// kCannotTell.
constexpr int kTaken = -1, kCannotTell = -2;
int BindAbstract(const std::string& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return kCannotTell;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string key = "tkw-instance:" + name;
    const size_t n = std::min(key.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, key.data(), n);  // sun_path[0] == 0: abstract
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        ::close(fd);
        return kTaken;
    }
    return fd;
}

// The lock's directory (`dir`), opened, or -1 with the reason. `expected`:
// this run is one whose lock belongs there (root's, or the service's with its
// runtime directory), so that falling back is worth saying.
int OpenLockDirectory(std::string& dir, std::string& why, bool& expected) {
    const char* runtime = std::getenv("RUNTIME_DIRECTORY");
    const bool service = runtime && *runtime;
    expected = service || ::geteuid() == 0;
    dir = service ? std::string(runtime).substr(0, std::string(runtime).find(':')) : kLockDirectory;
    if (!service && ::geteuid() == 0 && ::mkdir(kLockDirectory, 0755) != 0 && errno != EEXIST) {
        why = dir + ": " + std::strerror(errno);
        return -1;
    }
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        why = dir + ": " + std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        ::close(fd);
        why = dir + ": writable by other users, so no safe place for a lock";
        return -1;
    }
    return fd;
}

}  // namespace

bool SingleInstance::Acquire(const std::string& name) {
    weakness_.clear();
    std::string dirPath, why;
    bool expected = false;
    const int dir = OpenLockDirectory(dirPath, why, expected);
    const std::string file = FileNameFor(name);
    int lock = -1;
    for (int attempt = 0; dir >= 0 && attempt < 8; ++attempt) {
        lock = ::openat(dir, file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (lock < 0) {
            why = dirPath + "/" + file + ": " + std::strerror(errno);
            break;
        }
        struct stat held {};
        if (::fstat(lock, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(lock);
            lock = -1;
            why = dirPath + "/" + file + ": not a plain file";
            break;
        }
        // Readable by its owner alone, or someone else could lock it too.
        if ((held.st_mode & 077) != 0 && held.st_uid == ::geteuid()) ::fchmod(lock, 0600);
        if (::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(lock);
            ::close(dir);
            if (error == EWOULDBLOCK) return false;
            weakness_ = dirPath + "/" + file + ": " + std::strerror(error) + "; running without the lock";
            return true;  // cannot tell: rather run than refuse
        }
        struct stat named {};
        if (::fstatat(dir, file.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino)
            break;
        // Removed (or replaced) by a copy that was just ending: again.
        ::close(lock);
        lock = -1;
    }
    if (lock >= 0) {
        handle_ = lock;
        dir_ = dir;
        file_ = file;
        // Also bound, so that an ordinary user's copy, which cannot open the
        // file, sees this one; someone else's socket of the name is ignored.
        socket_ = BindAbstract(name);
        return true;
    }
    if (dir >= 0) ::close(dir);
    if (expected)
        weakness_ = why + "; the single-instance lock is an abstract socket instead, which any local user could take first";
    const int s = BindAbstract(name);
    if (s == kTaken) return false;
    socket_ = s;
    return true;
}

SingleInstance::~SingleInstance() {
    if (handle_ >= 0) {
        // Removed while still locked: a copy that opened it before sees the
        // name gone after its own lock and tries again with a new file.
        ::unlinkat(dir_, file_.c_str(), 0);
        ::close(static_cast<int>(handle_));
    }
    if (dir_ >= 0) ::close(dir_);
    if (socket_ >= 0) ::close(socket_);
}

}  // namespace tkw
