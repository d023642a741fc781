#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <thread>

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
//
// A running copy that takes requests (tkw --correct-now sends it SIGUSR1)
// announces itself: it writes its process id into the locked file, and its
// socket listens, so that a caller's connection tells the kernel's word for
// the process at the other end and its user.
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

// The name's abstract socket address; its length.
socklen_t AbstractAddress(const std::string& name, sockaddr_un& addr) {
    addr = sockaddr_un{};
    addr.sun_family = AF_UNIX;
    const std::string key = "tkw-instance:" + name;
    const size_t n = std::min(key.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, key.data(), n);  // sun_path[0] == 0: abstract
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// The bound socket, kTaken when another process has the name, or
// kCannotTell.
constexpr int kTaken = -1, kCannotTell = -2;
int BindAbstract(const std::string& name) {
    // Non-blocking: the loop drops callers' connections without waiting.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return kCannotTell;
    sockaddr_un addr;
    const socklen_t len = AbstractAddress(name, addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        ::close(fd);
        return kTaken;
    }
    return fd;
}

// $RUNTIME_DIRECTORY (`service`) when systemd gives the service one, else
// /run/tkw.
std::string LockDirectoryPath(bool& service) {
    const char* runtime = std::getenv("RUNTIME_DIRECTORY");
    service = runtime && *runtime;
    return service ? std::string(runtime).substr(0, std::string(runtime).find(':')) : kLockDirectory;
}

// The lock's directory (`dir`), opened, or -1 with the reason. `expected`:
// this run is one whose lock belongs there (root's, or the service's with its
// runtime directory), so that falling back is worth saying.
int OpenLockDirectory(std::string& dir, std::string& why, bool& expected) {
    bool service = false;
    dir = LockDirectoryPath(service);
    expected = service || ::geteuid() == 0;
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

// A process to signal, held by a pidfd (Linux 5.3 on) from before the
// caller checks that it is the right one: a signal through it reaches that
// process or none, never another that got its number meanwhile.
class Target {
public:
    explicit Target(pid_t pid) : pid_(pid) {
#ifdef SYS_pidfd_open
        fd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        error_ = fd_ < 0 ? errno : 0;
#endif
    }
    ~Target() {
        if (fd_ >= 0) ::close(fd_);
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    // 0, or the system's error (ESRCH: it has ended).
    int Send(int signal) const {
#ifdef SYS_pidfd_send_signal
        if (fd_ >= 0) return ::syscall(SYS_pidfd_send_signal, fd_, signal, nullptr, 0) == 0 ? 0 : errno;
#endif
        // A kernel without pidfds: by number, just after the check.
        if (error_ != 0 && error_ != ENOSYS) return error_;
        return ::kill(pid_, signal) == 0 ? 0 : errno;
    }

private:
    pid_t pid_;
    int fd_ = -1;
    int error_ = ENOSYS;
};

HolderSignal Outcome(HolderSignal r, int error) {
    if (error == 0) {
        r.outcome = HolderSignal::Sent;
    } else if (error == ESRCH) {
        r.outcome = HolderSignal::Nobody;  // it ended just now
    } else {
        r.outcome = error == EPERM ? HolderSignal::NotPermitted : HolderSignal::Failed;
        r.why = std::strerror(error);
    }
    return r;
}

// The process id an announced holder wrote into its lock file, or 0. Only a
// whole line counts: a copy that crashed may have left a longer number.
pid_t AnnouncedPid(int fd) {
    char text[32];
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    long pid = 0;
    for (ssize_t i = 0; i < n && pid < 1 << 22; ++i) {
        if (text[i] == '\n') return static_cast<pid_t>(pid);
        if (text[i] < '0' || text[i] > '9') return 0;
        pid = pid * 10 + (text[i] - '0');
    }
    return 0;
}

// Another process holds the lock on `fd`'s file (a shared lock taken here
// instead is let go at once).
bool LockedByAnother(int fd) {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

// Through the lock file: its holder is the process it names while it stays
// locked and names the same one. Nobody when it is not locked.
HolderSignal ByLockFile(int fd, const std::string& path, int signal) {
    HolderSignal r;
    struct stat st {};
    // Written by its holder alone: a file anyone else could have put there or
    // changed could name any process.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 022) != 0 ||
        (st.st_uid != 0 && st.st_uid != ::geteuid())) {
        r.outcome = HolderSignal::Failed;
        r.why = path + " is not a lock file a tkw of this user or root made";
        return r;
    }
    // A holder writes its id just after it has locked the file: give it a moment.
    for (int attempt = 0; attempt < 25; ++attempt) {
        if (!LockedByAnother(fd)) return r;
        if (const pid_t pid = AnnouncedPid(fd); pid > 0) {
            const Target target(pid);
            if (LockedByAnother(fd) && AnnouncedPid(fd) == pid) {
                r.pid = pid;
                return Outcome(r, target.Send(signal));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    r.outcome = HolderSignal::Failed;
    r.why = path + " is locked but names no process (a copy that cannot be asked: an earlier version?)";
    return r;
}

// The process and user at the other end of a connection to the name's
// socket; the system's error when there is none (ECONNREFUSED: no socket of
// the name listens).
int Peer(const std::string& name, ucred& peer) {
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return errno;
    sockaddr_un addr;
    const socklen_t len = AbstractAddress(name, addr);
    socklen_t size = sizeof peer;
    int error = 0;
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
        ::getsockopt(s, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        error = errno;
    ::close(s);
    return error;
}

// Through the abstract socket: only a holder of this user is signalled.
HolderSignal BySocket(const std::string& name, int signal) {
    HolderSignal r;
    ucred peer{};
    if (const int error = Peer(name, peer); error != 0) {
        if (error != ECONNREFUSED) {
            r.outcome = HolderSignal::Failed;
            r.why = std::string("its socket: ") + std::strerror(error);
        }
        return r;
    }
    r.pid = peer.pid;
    if (peer.uid != ::geteuid()) {
        r.outcome = HolderSignal::NotPermitted;
        r.why = "it runs as another user (uid " + std::to_string(peer.uid) + ")";
        return r;
    }
    if (peer.pid <= 0) {
        r.outcome = HolderSignal::Failed;
        r.why = "its process cannot be seen from here (another PID namespace)";
        return r;
    }
    // Still there once held here: the name's socket still answers from it.
    const Target target(peer.pid);
    ucred again{};
    if (Peer(name, again) != 0 || again.pid != peer.pid) return r;
    return Outcome(r, target.Send(signal));
}

}  // namespace

HolderSignal SignalHolder(const std::string& name, int signal) {
    bool service = false;
    const std::string path = LockDirectoryPath(service) + "/" + FileNameFor(name);
    std::string unread;
    if (const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); fd >= 0) {
        const HolderSignal r = ByLockFile(fd, path, signal);
        ::close(fd);
        if (r.outcome != HolderSignal::Nobody) return r;
    } else if (errno != ENOENT) {
        unread = path + ": " + std::strerror(errno);
    }
    // No file, or nobody holds it: an ordinary user's copy holds the socket
    // alone; one that cannot read the file learns from the socket whose it is.
    HolderSignal r = BySocket(name, signal);
    if (r.outcome == HolderSignal::Nobody && !unread.empty()) {
        r.outcome = HolderSignal::Failed;
        r.why = "no copy of this user runs, and another's lock cannot be read (" + unread + ")";
    }
    return r;
}

void SingleInstance::Announce() {
    if (handle_ >= 0) {
        // Over whatever a copy that crashed left there, then cut to length.
        const std::string line = std::to_string(::getpid()) + "\n";
        const int fd = static_cast<int>(handle_);
        if (::pwrite(fd, line.data(), line.size(), 0) == static_cast<ssize_t>(line.size()))
            (void)!::ftruncate(fd, static_cast<off_t>(line.size()));
    }
    if (socket_ >= 0 && !listening_) listening_ = ::listen(socket_, 16) == 0;
}

void SingleInstance::DropCallers() {
    if (!listening_) return;
    for (int c; (c = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) ::close(c);
}

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
