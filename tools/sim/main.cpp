// tkw-sim: a simulated time-code receiver. Sends one frame at the start of
// every second of its own clock (or, as a real receiver does, a fixed time
// into it, varied by a random jitter) to a serial device or a pseudo-terminal of its
// own, and prints what comes back, so that TKW, a cable or a setup can be
// tried without the real receiver.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/systime.h"
#include "timecode/frame_formats.h"

namespace {

using tkw::SystemTime;

constexpr const char* kUsage =
    "usage: tkw-sim (--device PATH | --pty) [options]\n"
    "  --device PATH        send to this serial device (or one end of a socat pair)\n"
    "  --pty                make a pseudo-terminal and send to it; the first line on\n"
    "                       standard output is \"PTY /dev/pts/N\", the path to give TKW\n"
    "  --format N           1 KRW_CODE (default), 2 PL_CODE, 3 MN_CODE\n"
    "  --baud 4800|9600     line rate (default 4800, as TKW's own default); a\n"
    "                       pseudo-terminal ignores it, so a 4800/9600 mismatch\n"
    "                       only shows on real serial ports and a cable\n"
    "  --offset-seconds N   the simulated clock runs N seconds ahead (negative: behind)\n"
    "  --offset-days N      ... and N calendar days ahead (negative: behind)\n"
    "  --noise N            N random bytes (never 0xAA) half-way between frames\n"
    "  --split              send each frame in two writes 5 ms apart\n"
    "  --late-ms D          send each frame D ms (0..999) after the start of the\n"
    "                       second it names, as a real receiver's fixed delay\n"
    "                       does (default 0)\n"
    "  --jitter-ms J        and vary that by a random J ms either way (uniform,\n"
    "                       J at most D and D + J at most 999: a frame is never\n"
    "                       sent outside the second it names); default 0\n"
    "  --zero-date          send 0 in the date bytes (the PC's date is to be used)\n"
    "  --date YYYY-MM-DD    send this date instead of the simulated clock's\n"
    "  --count N            stop after N frames (and the rest of that second);\n"
    "                       default: run until interrupted\n"
    "  --stamp              after each frame print \"SENT <ns> <bytes>\": the\n"
    "                       CLOCK_REALTIME instant its last byte was written\n"
    "  --help               show this text\n"
    "\n"
    "What comes back is printed one message a line:\n"
    "  TX AA AA 00 ... A3   a 12-byte time frame\n"
    "  TX 55 AA             the answer to a correction\n"
    "  TX ?? <bytes>        anything else\n";

struct Options {
    std::string device;
    bool pty = false;
    int format = 1;
    int baud = 4800;
    long long offsetSeconds = 0;
    long offsetDays = 0;
    long noise = 0;
    bool split = false;
    long lateMs = 0;
    long jitterMs = 0;
    bool zeroDate = false;
    bool haveDate = false;
    SystemTime date;
    long count = 0;  // 0: no limit
    bool stamp = false;
};

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

int Usage(const std::string& reason) {
    std::fprintf(stderr, "tkw-sim: %s\n", reason.c_str());
    return 2;
}

bool ParseNumber(const char* text, long long lo, long long hi, long long& out) {
    if (*text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

// Returns 0 when parsed, otherwise the exit status (0 after --help).
int ParseOptions(int argc, char** argv, Options& o, bool& done) {
    done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long n = 0;
        auto number = [&](long long lo, long long hi) {
            if (value == nullptr) return false;
            ++i;
            return ParseNumber(value, lo, hi, n);
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            done = true;
            return 0;
        } else if (arg == "--device") {
            if (value == nullptr || *value == '\0') return Usage("--device needs a path");
            o.device = argv[++i];
        } else if (arg == "--pty") {
            o.pty = true;
        } else if (arg == "--format") {
            if (!number(1, 3)) return Usage("--format takes 1, 2 or 3");
            o.format = static_cast<int>(n);
        } else if (arg == "--baud") {
            if (!number(4800, 9600) || (n != 4800 && n != 9600)) return Usage("--baud takes 4800 or 9600");
            o.baud = static_cast<int>(n);
        } else if (arg == "--offset-seconds") {
            if (!number(-3'000'000'000LL, 3'000'000'000LL))
                return Usage("--offset-seconds takes a whole number of seconds (within about 95 years)");
            o.offsetSeconds = n;
        } else if (arg == "--offset-days") {
            if (!number(-36'500, 36'500)) return Usage("--offset-days takes a whole number of days (within 100 years)");
            o.offsetDays = static_cast<long>(n);
        } else if (arg == "--noise") {
            if (!number(0, 10'000)) return Usage("--noise takes a byte count from 0 to 10000");
            o.noise = static_cast<long>(n);
        } else if (arg == "--late-ms") {
            if (!number(0, 999)) return Usage("--late-ms takes a number of milliseconds from 0 to 999");
            o.lateMs = static_cast<long>(n);
        } else if (arg == "--jitter-ms") {
            if (!number(0, 999)) return Usage("--jitter-ms takes a number of milliseconds from 0 to 999");
            o.jitterMs = static_cast<long>(n);
        } else if (arg == "--count") {
            if (!number(1, 1'000'000'000)) return Usage("--count takes a positive number of frames");
            o.count = static_cast<long>(n);
        } else if (arg == "--date") {
            const std::string d = value != nullptr ? value : "";
            ++i;
            if (d.size() != 10 || !tkw::ParseWithMs(d + " 00:00:00.000", o.date))
                return Usage("--date takes a date YYYY-MM-DD");
            o.haveDate = true;
        } else if (arg == "--split") {
            o.split = true;
        } else if (arg == "--zero-date") {
            o.zeroDate = true;
        } else if (arg == "--stamp") {
            o.stamp = true;
        } else {
            return Usage("unknown option '" + arg + "' (see --help)");
        }
    }
    if (o.pty == !o.device.empty()) return Usage("give either --device PATH or --pty");
    if (o.zeroDate && o.haveDate) return Usage("--zero-date and --date exclude each other");
    if (o.jitterMs > o.lateMs || o.lateMs + o.jitterMs > 999)
        return Usage("--jitter-ms J needs J <= D and D + J <= 999 for --late-ms D: a frame stays in its second");
    return 0;
}

std::string Hex(const uint8_t* p, size_t n) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (i != 0) s += ' ';
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 0x0F];
    }
    return s;
}

void Line(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The simulated clock at the real instant `sec` (seconds since the epoch):
// local time, shifted by the offsets, its date replaced when one was chosen.
SystemTime SimulatedTime(time_t sec, const Options& o) {
    const time_t shifted = static_cast<time_t>(sec + o.offsetSeconds);
    tm local{};
    localtime_r(&shifted, &local);
    SystemTime t;
    t.wYear = static_cast<uint16_t>(local.tm_year + 1900);
    t.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    t.wDay = static_cast<uint16_t>(local.tm_mday);
    t.wHour = static_cast<uint16_t>(local.tm_hour);
    t.wMinute = static_cast<uint16_t>(local.tm_min);
    t.wSecond = static_cast<uint16_t>(local.tm_sec == 60 ? 59 : local.tm_sec);
    if (o.offsetDays != 0) t = tkw::FromLocalMs(tkw::ToLocalMs(t) + o.offsetDays * tkw::kMsPerDay);
    if (o.haveDate) {
        t.wYear = o.date.wYear;
        t.wMonth = o.date.wMonth;
        t.wDay = o.date.wDay;
    }
    return t;
}

// The frame for `t`; with `zeroDate` its date bytes are 0 (the PC's date is to be used).
tkw::FrameBytes BuildFrame(int format, SystemTime t, bool zeroDate) {
    if (zeroDate) t.wYear = t.wMonth = t.wDay = 0;
    return tkw::EncodeFrame(*tkw::FindFormat(static_cast<uint8_t>(format)), t);
}

// Splits what TKW sends into its messages. A message cut across reads waits
// for its rest; bytes that fit none are shown up to the next place where a
// message could start (AA AA or 55 AA).
class ReplyPrinter {
public:
    void Feed(const uint8_t* p, size_t n) {
        pending_.insert(pending_.end(), p, p + n);
        Print(false);
    }
    // Shows a half message that was never completed as the stray bytes it is.
    void Flush() { Print(true); }
    bool Waiting() const { return !pending_.empty(); }

private:
    bool At(size_t i, uint8_t a, uint8_t b) const {
        return i + 1 < pending_.size() && pending_[i] == a && pending_[i + 1] == b;
    }
    // Could a message start at i? At the very end a lone AA or 55 might.
    bool SyncAt(size_t i, bool final) const {
        if (i + 1 >= pending_.size()) return !final && (pending_[i] == 0xAA || pending_[i] == 0x55);
        return At(i, 0xAA, 0xAA) || At(i, 0x55, 0xAA);
    }
    void Print(bool final) {
        const size_t n = pending_.size();
        size_t i = 0;
        while (i < n) {
            if (At(i, 0x55, 0xAA)) {
                Line("TX 55 AA");
                i += 2;
                continue;
            }
            if (At(i, 0xAA, 0xAA) && (i + 2 >= n || pending_[i + 2] == 0x00)) {
                if (n - i >= 12 && pending_[i + 11] == 0xA3) {
                    Line("TX " + Hex(&pending_[i], 12));
                    i += 12;
                    continue;
                }
                if (n - i < 12 && !final) break;
            } else if (!final && n - i == 1 && SyncAt(i, false)) {
                break;
            }
            size_t j = i + 1;
            while (j < n && !SyncAt(j, final)) ++j;
            Line("TX ?? " + Hex(&pending_[i], j - i));
            i = j;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(i));
    }

    std::vector<uint8_t> pending_;
};

int64_t RealtimeNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool SetLine(int fd, int baud, std::string& error) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        error = std::string("not a terminal: ") + std::strerror(errno);
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, baud == 4800 ? B4800 : B9600);
    cfsetospeed(&t, baud == 4800 ? B4800 : B9600);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        error = std::string("cannot set the line: ") + std::strerror(errno);
        return false;
    }
    return true;
}

class Sim {
public:
    explicit Sim(const Options& o) : o_(o), rng_(std::random_device{}()) {}

    int Run() {
        std::string error;
        if (!Open(error)) {
            std::fprintf(stderr, "tkw-sim: %s\n", error.c_str());
            return 1;
        }
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGINT);
        sigaddset(&blocked, SIGTERM);
        sigprocmask(SIG_BLOCK, &blocked, &waitMask_);
        sigdelset(&waitMask_, SIGINT);
        sigdelset(&waitMask_, SIGTERM);
        struct sigaction sa{};
        sa.sa_handler = OnSignal;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        signal(SIGPIPE, SIG_IGN);

        const int64_t lateNs = o_.lateMs * 1'000'000, jitterNs = o_.jitterMs * 1'000'000;
        std::uniform_int_distribution<int64_t> jitter(-jitterNs, jitterNs);
        int64_t second = 0;
        for (long sent = 0; !g_stop && (o_.count == 0 || sent < o_.count); ++sent) {
            // The next second whose frame is not yet due at its earliest:
            // the one after the last frame's, unless this program was held
            // up so long that seconds passed meanwhile.
            second = std::max(second + 1, (RealtimeNs() - lateNs - jitterNs) / 1'000'000'000 + 1);
            const int64_t due = second * 1'000'000'000 + lateNs;
            if (sent > 0 && o_.noise > 0) {
                if (!Serve(due - 500'000'000)) break;
                SendNoise();
            }
            if (!Serve(due + jitter(rng_))) break;
            SendFrame(SimulatedTime(static_cast<time_t>(second), o_));
        }
        // The rest of the last second, for TKW's answer to the last frame.
        if (!g_stop) Serve((RealtimeNs() / 1'000'000'000 + 1) * 1'000'000'000);
        replies_.Flush();
        return 0;
    }

private:
    bool Open(std::string& error) {
        if (o_.pty) {
            fd_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
            char name[128];
            if (fd_ < 0 || grantpt(fd_) != 0 || unlockpt(fd_) != 0 || ptsname_r(fd_, name, sizeof name) != 0) {
                error = std::string("cannot make a pseudo-terminal: ") + std::strerror(errno);
                return false;
            }
            // Holding the other end open keeps the pair alive while TKW
            // closes and reopens its port, and lets stale bytes be dropped.
            slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
            if (slave_ < 0 || !SetLine(slave_, o_.baud, error)) {
                if (error.empty()) error = std::string(name) + ": " + std::strerror(errno);
                return false;
            }
            fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
            Line(std::string("PTY ") + name);
            return true;
        }
        fd_ = open(o_.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            error = o_.device + ": " + std::strerror(errno);
            return false;
        }
        if (!SetLine(fd_, o_.baud, error)) {
            error = o_.device + ": " + error;
            return false;
        }
        return true;
    }

    // Reads and prints what comes back until the real-time instant `untilNs`.
    // False when a signal asked us to stop.
    bool Serve(int64_t untilNs) {
        for (;;) {
            if (g_stop) return false;
            const int64_t now = RealtimeNs();
            if (now >= untilNs) return true;
            // A message begun and not finished within 100 ms will not be.
            if (replies_.Waiting() && now - lastByteNs_ >= kStaleNs) replies_.Flush();
            int64_t wait = untilNs - now;
            if (replies_.Waiting()) wait = std::min<int64_t>(wait, lastByteNs_ + kStaleNs - now);
            // The kernel lets a poll's time-out run late by 0.1 % of it (1 ms
            // on the wait for the next second): short waits keep a frame's
            // delay to what --late-ms says, for TKW's --calibrate to find.
            wait = std::min(wait, kLongestWaitNs);
            const timespec ts{static_cast<time_t>(wait / 1'000'000'000), static_cast<long>(wait % 1'000'000'000)};
            pollfd p{inputBroken_ ? -1 : fd_, POLLIN, 0};
            const int r = ppoll(&p, 1, &ts, &waitMask_);
            if (r <= 0 || (p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            uint8_t buf[512];
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n > 0) {
                lastByteNs_ = RealtimeNs();
                replies_.Feed(buf, static_cast<size_t>(n));
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // The device went away: keep sending, stop listening.
                std::fprintf(stderr, "tkw-sim: reading stopped: %s\n", n == 0 ? "end of input" : std::strerror(errno));
                inputBroken_ = true;
            }
        }
    }

    // A real line does not keep what nobody listened to; a pseudo-terminal
    // would, and TKW would then take an old frame for the current time.
    void DropUnread() {
        if (slave_ >= 0) tcflush(slave_, TCIFLUSH);
    }

    void Write(const uint8_t* p, size_t n) {
        const int64_t deadline = RealtimeNs() + 1'000'000'000;
        while (n > 0) {
            const ssize_t w = write(fd_, p, n);
            if (w > 0) {
                p += w;
                n -= static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR) {
                Warn(std::string("write: ") + std::strerror(errno));
                return;
            }
            const int64_t left = deadline - RealtimeNs();
            if (left <= 0) {
                Warn("write: the line takes nothing (is anyone reading?)");
                return;
            }
            pollfd pfd{fd_, POLLOUT, 0};
            poll(&pfd, 1, static_cast<int>(left / 1'000'000) + 1);
        }
    }

    void Warn(const std::string& text) {
        if (warned_) return;
        warned_ = true;
        std::fprintf(stderr, "tkw-sim: %s\n", text.c_str());
    }

    void SendNoise() {
        std::uniform_int_distribution<int> byte(0, 254);
        std::vector<uint8_t> noise(static_cast<size_t>(o_.noise));
        for (auto& b : noise) {
            const int v = byte(rng_);
            b = static_cast<uint8_t>(v >= 0xAA ? v + 1 : v);  // never 0xAA
        }
        DropUnread();
        Write(noise.data(), noise.size());
    }

    void SendFrame(const SystemTime& t) {
        const tkw::FrameBytes frame = BuildFrame(o_.format, t, o_.zeroDate);
        const size_t size = static_cast<size_t>(frame.size);
        DropUnread();
        if (o_.split) {
            const size_t half = size / 2;
            Write(frame.data, half);
            const timespec gap{0, 5'000'000};
            nanosleep(&gap, nullptr);
            Write(frame.data + half, size - half);
        } else {
            Write(frame.data, size);
        }
        if (o_.stamp) Line("SENT " + std::to_string(RealtimeNs()) + " " + Hex(frame.data, size));
    }

    static constexpr int64_t kStaleNs = 100'000'000;
    static constexpr int64_t kLongestWaitNs = 20'000'000;

    const Options& o_;
    std::mt19937 rng_;
    int64_t lastByteNs_ = 0;
    int fd_ = -1;
    int slave_ = -1;
    bool inputBroken_ = false;
    bool warned_ = false;
    sigset_t waitMask_{};
    ReplyPrinter replies_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool done = false;
    if (const int status = ParseOptions(argc, argv, options, done); status != 0 || done) return status;
    return Sim(options).Run();
}
