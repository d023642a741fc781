// The port contract over termios.
//
// A COM number names a device through the map of com_map.h (COMn is
// /dev/ttyS(n-1) unless mapped elsewhere). Ports 1..255 can be addressed.
//
// Results: 0 or a count on success, one of sio.h's kSio* codes on failure.
//
// Opening takes an advisory lock and TIOCEXCL, so that a second program
// using the same device is kept out while TKW holds it.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "serial/com_map.h"
#include "serial/port_table.h"
#include "serial/sio.h"

namespace tkw {
namespace {

struct PosixExtra {
    std::atomic<int32_t> writeTimeoutMs{0};
    std::atomic<bool> pty{false};
    std::atomic<int> lastErrno{0};  // of the last failed call, for sio_error_text
    std::atomic<int> wakeFd{-1};    // an eventfd that ends a sio_wait, while the port is open
};
using Port = PortSlot<int, -1, PosixExtra>;
using FdUse = PortUse<Port>;

PortTable<Port> g_ports;

std::mutex g_mapMutex;
std::map<int32_t, std::string> g_map;

// Ends the wait on a port's wake descriptor (or the next one).
void Nudge(int wakeFd) {
    if (wakeFd < 0) return;
    const uint64_t one = 1;
    (void)!write(wakeFd, &one, sizeof one);
}

int32_t FromErrno(int err) {
    switch (err) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
            return kSioNoDevice;
        case EBUSY:
        case EWOULDBLOCK:
            return kSioBusy;
        default:
            return kSioSystem;
    }
}

// Pseudo-terminals have no modem lines, so DTR and RTS requests on them are
// refused by the system; that is not a fault of the setup. Decided by the
// device number (Unix98 and legacy slaves and masters), then by the master's
// own request, then by where the path leads, so that a symlink to a
// pseudo-terminal (as socat makes them) is recognised as well.
bool IsPseudoTerminal(int fd, const std::string& path) {
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)) {
        const unsigned maj = major(st.st_rdev);
        const unsigned min = minor(st.st_rdev);
        if (maj >= 136 && maj <= 143) return true;  // Unix98 slaves
        if (maj == 2 || maj == 3) return true;      // legacy masters and slaves
        if (maj == 5 && min == 2) return true;      // /dev/ptmx
    }
    unsigned n = 0;
    if (ioctl(fd, TIOCGPTN, &n) == 0) return true;
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return false;
    const bool inPts = std::string(real).rfind("/dev/pts/", 0) == 0;
    std::free(real);
    return inPts;
}

speed_t SpeedOfCode(int32_t code) {
    switch (code) {
        case kBaud4800: return B4800;
        case kBaud9600: return B9600;
        default: return B0;
    }
}

int32_t BitsPerSecond(speed_t s) {
    static constexpr struct {
        speed_t speed;
        int32_t bps;
    } kRates[] = {
        {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},
        {B150, 150},       {B200, 200},       {B300, 300},       {B600, 600},
        {B1200, 1200},     {B1800, 1800},     {B2400, 2400},     {B4800, 4800},
        {B9600, 9600},     {B19200, 19200},   {B38400, 38400},   {B57600, 57600},
        {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    for (const auto& r : kRates)
        if (r.speed == s) return r.bps;
    return 0;
}

// Reads the line's settings, lets `change` edit them and writes them back;
// tcsetattr succeeds when any part of the change was taken, so the settings
// this file changes are read back and compared (a pseudo-terminal, for one,
// keeps 8 data bits whatever it is told).
template <typename Change>
int32_t ChangeLine(int32_t port, Change change) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    const auto fail = [&use](int err) {
        use.Port().lastErrno.store(err);
        return kSioSystem;
    };
    termios before{};
    if (tcgetattr(use.Handle(), &before) != 0) return fail(errno);
    termios t = before;
    change(t);
    if (tcsetattr(use.Handle(), TCSANOW, &t) != 0) return fail(errno);
    termios back{};
    if (tcgetattr(use.Handle(), &back) != 0) return fail(errno);
    constexpr tcflag_t kCflags = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;
    constexpr tcflag_t kIflags = IXON | IXOFF | IXANY;
    if ((back.c_cflag & kCflags) != (t.c_cflag & kCflags) || (back.c_iflag & kIflags) != (t.c_iflag & kIflags) ||
        cfgetospeed(&back) != cfgetospeed(&t) || cfgetispeed(&back) != cfgetispeed(&t)) {
        // Half a change is worse than none: the line keeps what it had.
        tcsetattr(use.Handle(), TCSANOW, &before);
        return fail(EINVAL);
    }
    return 0;
}

int32_t ModemLine(int32_t port, int32_t mode, int bit) {
    if (!ValidModemLineMode(mode)) return ValidComPort(port) ? kSioBadArg : kSioBadPort;
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (ioctl(use.Handle(), mode == 1 ? TIOCMBIS : TIOCMBIC, &bit) == 0) return 0;
    const int err = errno;
    if (use.Port().pty.load() && (err == ENOTTY || err == EINVAL)) return 0;
    return kSioSystem;
}

}  // namespace

void MapComPort(int32_t port, const std::string& path) {
    if (!ValidComPort(port)) return;
    std::lock_guard<std::mutex> lock(g_mapMutex);
    if (path.empty())
        g_map.erase(port);
    else
        g_map[port] = path;
}

std::string ComPortPath(int32_t port) {
    if (!ValidComPort(port)) return {};
    {
        std::lock_guard<std::mutex> lock(g_mapMutex);
        const auto it = g_map.find(port);
        if (it != g_map.end()) return it->second;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

bool ComPortMapped(int32_t port) {
    std::lock_guard<std::mutex> lock(g_mapMutex);
    return g_map.count(port) != 0;
}

int32_t sio_open(int32_t port) {
    if (!ValidComPort(port)) return kSioBadPort;
    Port& p = g_ports[static_cast<size_t>(port)];
    std::lock_guard<std::mutex> lock(p.openClose);
    if (p.handle.load() >= 0) return kSioBusy;

    const std::string path = ComPortPath(port);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        p.lastErrno.store(errno);
        return FromErrno(errno);
    }
    const auto fail = [fd, &p](int32_t code) {
        p.lastErrno.store(errno);
        close(fd);
        return code;
    };

    termios t{};
    if (tcgetattr(fd, &t) != 0) return fail(errno == ENOTTY ? kSioNoDevice : kSioSystem);
    // The advisory lock keeps out every program that asks for it (another TKW,
    // tkw-sim on a device, most terminal programs); TIOCEXCL keeps out the
    // rest where the driver allows it (not for root).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return fail(errno == EWOULDBLOCK ? kSioBusy : kSioSystem);
    const bool exclusive = ioctl(fd, TIOCEXCL) == 0;

    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        if (exclusive) ioctl(fd, TIOCNXCL);
        return fail(kSioSystem);
    }

    // What sio_wake writes to, to end a wait on the port from another thread.
    const int wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        if (exclusive) ioctl(fd, TIOCNXCL);
        return fail(kSioSystem);
    }

    p.pty.store(IsPseudoTerminal(fd, path));
    p.writeTimeoutMs.store(0);
    p.lastErrno.store(0);
    p.wakeFd.store(wake);
    p.handle.store(fd);
    return 0;
}

int32_t sio_close(int32_t port) {
    return ClosePort(
        g_ports, port, [](Port& p) { Nudge(p.wakeFd.load()); },
        [](Port& slot, int fd) {
            // Leave the device open to others again (the flag outlives this
            // descriptor while another one, such as a pseudo-terminal's, holds it).
            ioctl(fd, TIOCNXCL);
            const int wake = slot.wakeFd.exchange(-1);
            if (wake >= 0) close(wake);
            return close(fd) == 0;
        });
}

int32_t sio_flush(int32_t port, int32_t func) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    static constexpr int kQueues[] = {TCIFLUSH, TCOFLUSH, TCIOFLUSH};
    if (!ValidFlushFunc(func)) return kSioBadArg;
    return tcflush(use.Handle(), kQueues[func]) == 0 ? 0 : kSioSystem;
}

int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode) {
    if (!ValidComPort(port)) return kSioBadPort;
    const speed_t speed = SpeedOfCode(baud);
    if (speed == B0 || !ValidLineMode(mode)) return kSioBadArg;
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    return ChangeLine(port, [&](termios& t) {
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
        t.c_cflag |= kSizes[mode & 0x03];
        if (mode & 0x04) t.c_cflag |= CSTOPB;
        t.c_iflag &= ~(INPCK | ISTRIP);
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    });
}

int32_t sio_flowctrl(int32_t port, int32_t mode) {
    if (!ValidComPort(port)) return kSioBadPort;
    if (!ValidFlowMode(mode)) return kSioBadArg;
    return ChangeLine(port, [&](termios& t) {
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        if ((mode & kFlowHardware) == kFlowHardware) t.c_cflag |= CRTSCTS;
        if ((mode & kFlowSoftware) == kFlowSoftware) t.c_iflag |= IXON | IXOFF;
    });
}

int32_t sio_DTR(int32_t port, int32_t mode) { return ModemLine(port, mode, TIOCM_DTR); }

int32_t sio_RTS(int32_t port, int32_t mode) { return ModemLine(port, mode, TIOCM_RTS); }

int32_t sio_getbaud(int32_t port) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    termios t{};
    if (tcgetattr(use.Handle(), &t) != 0) return kSioSystem;
    const int32_t bps = BitsPerSecond(cfgetospeed(&t));
    return bps > 0 ? bps : kSioSystem;
}

int32_t sio_SetWriteTimeouts(int32_t port, int32_t totalMs) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (!ValidWriteTimeout(totalMs)) return kSioBadArg;
    use.Port().writeTimeoutMs.store(totalMs);
    return 0;
}

int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (!ValidBuffer(buf, len)) return kSioBadArg;
    if (len == 0) return 0;
    const ssize_t n = read(use.Handle(), buf, static_cast<size_t>(len));
    if (n > 0) return static_cast<int32_t>(n);
    if (n == 0) {
        // Nothing waiting, or the end of a device that hung up: only the
        // latter leaves a hang-up or an error to be polled.
        pollfd pfd{use.Handle(), POLLIN, 0};
        if (poll(&pfd, 1, 0) > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            use.Port().lastErrno.store(EIO);
            return kSioGone;
        }
        return 0;
    }
    const int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return 0;
    use.Port().lastErrno.store(err);
    // The device went away under the open descriptor (a USB adapter pulled,
    // the other end of a pseudo-terminal closed): reading it again is no use.
    if (err == EIO || err == ENXIO || err == ENODEV) return kSioGone;
    return kSioSystem;
}

int32_t sio_wait(int32_t port, int32_t timeoutMs) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    const int wake = use.Port().wakeFd.load();
    pollfd fds[2] = {{use.Handle(), POLLIN, 0}, {wake, POLLIN, 0}};
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int ready;
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        ready = poll(fds, wake >= 0 ? 2 : 1, wait);
        if (ready >= 0 || errno != EINTR) break;
    }
    if (ready < 0) {
        use.Port().lastErrno.store(errno);
        return kSioSystem;
    }
    if (fds[1].revents & POLLIN) {
        uint64_t count = 0;
        (void)!read(wake, &count, sizeof count);  // woken: the wake is spent
    }
    // A hung-up device polls readable too, but a read finds only the error.
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        use.Port().lastErrno.store(EIO);
        return kSioGone;
    }
    return (fds[0].revents & POLLIN) ? 1 : 0;
}

int32_t sio_wake(int32_t port) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    Nudge(use.Port().wakeFd.load());
    return 0;
}

std::string sio_error_text(int32_t port) {
    if (!ValidComPort(port)) return std::strerror(EINVAL);
    const int err = g_ports[static_cast<size_t>(port)].lastErrno.load();
    return err ? std::strerror(err) : std::string();
}

// Writes what the line takes at once, then waits for room until everything
// is out or the port's write time-out has passed (0: no waiting at all), so
// that a stalled line never holds the main thread longer than that. Returns
// the bytes written, which may be fewer than asked after a time-out.
int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) {
    FdUse use(g_ports, port);
    if (!use.Open()) return use.Missing();
    if (!ValidBuffer(buf, len)) return kSioBadArg;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(use.Port().writeTimeoutMs.load());
    int32_t done = 0;
    while (done < len) {
        const ssize_t n = write(use.Handle(), buf + done, static_cast<size_t>(len - done));
        if (n > 0) {
            done += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return done > 0 ? done : kSioSystem;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{use.Handle(), POLLOUT, 0};
        if (poll(&pfd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR)
            return done > 0 ? done : kSioSystem;
    }
    return done;
}

}  // namespace tkw
