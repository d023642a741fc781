#include "programs/tkw/systemd_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "headless/offsets_output.h"
#include "platform/systime.h"

namespace tkw {

namespace {

// A whole decimal number and nothing else (systemd's variables are such).
bool ParseUnsigned(const char* text, unsigned long long& out) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0';
}

// The longest wait between two pings. systemd gives far shorter intervals
// than a 64-bit count of microseconds can hold (its largest value means
// "never", and is no interval at all): half of such a number would overflow
// the clock's count, and the loop would ping as fast as it can.
constexpr std::chrono::minutes kLongestPing{5};

// systemd's watchdog is for this process when $WATCHDOG_USEC is set and
// $WATCHDOG_PID is unset or names it; the ping is due at half that time.
// A value that cannot be used is said through `say`.
std::chrono::steady_clock::duration WatchdogPing(const std::function<void(const std::string&)>& say) {
    const char* text = std::getenv("WATCHDOG_USEC");
    if (text == nullptr) return {};
    unsigned long long usec = 0, pid = 0;
    if (!ParseUnsigned(text, usec) || usec == 0 || usec == ~0ULL) {
        say(std::string("WATCHDOG_USEC=") + text +
            " is not a watchdog interval (microseconds, 1 to 18446744073709551614): no watchdog pings");
        return {};
    }
    if (const char* p = std::getenv("WATCHDOG_PID"); p && *p) {
        if (!ParseUnsigned(p, pid)) {
            say(std::string("WATCHDOG_PID=") + p + " is not a process id: no watchdog pings");
            return {};
        }
        if (pid != static_cast<unsigned long long>(::getpid())) return {};  // another process's
    }
    const unsigned long long longest = std::chrono::microseconds(kLongestPing).count();
    return std::chrono::microseconds(std::min(usec / 2, longest));
}

}  // namespace

std::unique_ptr<SystemdNotifier> SystemdNotifier::FromEnvironment(const std::function<void(const std::string&)>& say) {
    const char* socket = std::getenv("NOTIFY_SOCKET");
    if (socket == nullptr || *socket == '\0') return nullptr;
    const size_t length = std::strlen(socket);
    if ((socket[0] != '/' && socket[0] != '@') || length >= sizeof(sockaddr_un::sun_path)) {
        say(std::string("NOTIFY_SOCKET=") + socket + " is not a local socket's path or abstract name of at most " +
            std::to_string(sizeof(sockaddr_un::sun_path) - 1) + " bytes: systemd is not told how the run goes");
        return nullptr;
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return std::unique_ptr<SystemdNotifier>(new SystemdNotifier(fd, socket, WatchdogPing(say)));
}

SystemdNotifier::SystemdNotifier(int fd, const std::string& socket, Steady::duration watchdogPing)
    : fd_(fd), ping_(watchdogPing) {
    // A path or, after '@', an abstract name: that one's length is the
    // address's, so it is given exactly (it may hold any byte).
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socket.data(), socket.size());
    size_t length = offsetof(sockaddr_un, sun_path) + socket.size();
    if (socket[0] == '@')
        addr.sun_path[0] = '\0';
    else
        ++length;  // the path's terminating zero
    address_.assign(reinterpret_cast<const char*>(&addr), length);
    indicatorText_ = LookOf(Indicator::Red).statusText;
}

SystemdNotifier::~SystemdNotifier() {
    if (fd_ >= 0) ::close(fd_);
}

void SystemdNotifier::Send(const std::string& message) {
    if (fd_ < 0 || address_.empty()) return;
    // Never waits: the loop must not hang on its supervisor.
    (void)::sendto(fd_, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr*>(address_.data()), static_cast<socklen_t>(address_.size()));
}

std::string SystemdNotifier::StatusText() const {
    std::string s = indicator_ + " " + indicatorText_ + "; " + port_;
    if (portDown_) s += " not available, trying again every 2 s";
    s += "; " + (lastCorrection_.empty() ? std::string("no correction yet") : lastCorrection_);
    if (!offsets_.empty()) s += "; " + offsets_;
    if (!calibration_.empty()) s += "; " + calibration_;
    for (char& c : s)
        if (c == '\n') c = ' ';  // one line: a newline would end the assignment
    return s;
}

void SystemdNotifier::Port(const std::string& name) { port_ = name; }

void SystemdNotifier::Ready() {
    ready_ = true;
    nextPing_ = Steady::now() + ping_;
    Send("READY=1\nSTATUS=" + StatusText());
}

void SystemdNotifier::IndicatorChanged(Indicator state, const std::string& text) {
    indicator_ = LookOf(state).name;
    indicatorText_ = text;
    if (ready_) Send("STATUS=" + StatusText());
}

void SystemdNotifier::ClockSet(const SystemTime& to, int64_t movedMs) {
    const int64_t size = movedMs < 0 ? -movedMs : movedMs;
    char moved[48];
    std::snprintf(moved, sizeof moved, "%c%lld.%03lld s", movedMs < 0 ? '-' : '+', static_cast<long long>(size / 1000),
                  static_cast<long long>(size % 1000));
    lastCorrection_ = "last correction " + WithMsText(to) + ", clock moved " + moved;
    if (ready_) Send("STATUS=" + StatusText());
}

void SystemdNotifier::OffsetMinute(const OffsetRow& row) {
    offsets_ = OffsetFiguresText(row);
    if (ready_) Send("STATUS=" + StatusText());
}

void SystemdNotifier::CalibrationDue(const std::string& text) {
    calibration_ = text;
    if (ready_) Send("STATUS=" + StatusText());
}

void SystemdNotifier::PortDown(bool down) {
    portDown_ = down;
    if (ready_) Send("STATUS=" + StatusText());
}

std::chrono::milliseconds SystemdNotifier::Turn() {
    if (!ready_ || ping_ == Steady::duration::zero()) return std::chrono::milliseconds(-1);
    const Steady::time_point now = Steady::now();
    if (now >= nextPing_) {
        Send("WATCHDOG=1");
        nextPing_ = now + ping_;
    }
    // Rounded up, so the loop does not wake a moment early and spin.
    return std::chrono::ceil<std::chrono::milliseconds>(nextPing_ - now);
}

void SystemdNotifier::Stopping() { Send("STOPPING=1\nSTATUS=stopping"); }

}  // namespace tkw
