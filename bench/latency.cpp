// tkw-latency: the Linux program end to end over a pseudo-terminal pair.
// tkw-sim notes the instant it wrote each frame's last byte (SENT lines);
// tkw --dry-run --monitor shows each frame as it handles it (MON lines, the
// same moment it would set the clock); the delay between the two is what a
// correction lags behind the receiver. Also: tkw's CPU time per minute with
// no receiver attached, and its peak resident memory; and how long after a
// frame's last byte its read is stamped. Prints figures only.
//
//   tkw-latency [FRAMES] [IDLE_SECONDS]     (defaults 60 and 60)
//   tkw-latency --stamp [FRAMES]            the read's stamp only
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include "config/settings.h"
#include "percentile.h"
#include "support/child.h"

using tkw::test::Child;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
}

// utime + stime in clock ticks, and VmHWM in kB.
bool ProcUsage(pid_t pid, long& ticks, long& hwmKb) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    ticks = utime + stime;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) hwmKb = std::stol(line.substr(6));
    return true;
}

// A fresh directory `name`-PID with a pseudo-terminal pair in it: tkw's end
// at dir/pc, the receiver's at dir/receiver. Null when socat made none.
std::unique_ptr<Child> MakeLine(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    auto socat = tkw::test::PtyPair(dir / "receiver", dir / "pc", dir);
    if (fs::exists(dir / "pc")) return socat;
    std::fprintf(stderr, "tkw-latency: socat made no pseudo-terminal pair (is socat installed?)\n");
    return nullptr;
}

// tkw-sim sending FRAMES + 1 KRW_CODE frames on the line's receiver end, and
// each frame it sent: when its last byte was written, and its bytes (hex).
std::vector<std::pair<int64_t, std::string>> SendFrames(const fs::path& dir, int frames) {
    std::vector<std::pair<int64_t, std::string>> sent;
    Child sim({TKW_SIM_EXE, "--device", (dir / "receiver").string(), "--format", "1", "--stamp", "--count",
               std::to_string(frames + 1)},
              dir);
    sim.Wait();
    std::this_thread::sleep_for(300ms);
    for (const std::string& l : sim.Lines()) {
        if (l.rfind("SENT ", 0) != 0) continue;
        const size_t sp = l.find(' ', 5);
        sent.emplace_back(std::stoll(l.substr(5, sp - 5)), l.substr(sp + 1));
    }
    return sent;
}

struct Figures {
    bool ok = false;
    size_t matched = 0;
    double median = 0, p99 = 0, max = 0;  // ms
    double idleCpuPercent = 0;
    double peakMb = 0;
};

// One run: tkw (reads polled every 10 ms, or waited for) against tkw-sim.
Figures Measure(bool pollReads, int frames, int idleSeconds) {
    Figures f;
    const fs::path dir = fs::temp_directory_path() / ("tkw-latency-" + std::to_string(::getpid()));
    const std::unique_ptr<Child> socat = MakeLine(dir);
    if (!socat) return f;

    // Frame text -> arrival instant at this end of tkw's output.
    std::mutex m;
    std::map<std::string, int64_t> seen;
    std::vector<std::string> args{TKW_EXE, "--dry-run", "--monitor", "--map", "COM1=" + (dir / "pc").string()};
    if (pollReads) args.push_back("--poll-reads");
    Child tkw(args, dir, [&](const std::string& line) {
        const size_t at = line.find("】  ");
        if (line.rfind("MON ", 0) != 0 || at == std::string::npos) return;
        const int64_t t = NowNs();
        std::lock_guard<std::mutex> lock(m);
        seen.emplace(line.substr(at + std::string("】  ").size()), t);
    });
    // tkw says at once when it does not run (a bad settings file, a lock
    // taken): say that instead of printing figures of nothing.
    std::this_thread::sleep_for(500ms);
    if (!tkw.Running()) {
        std::fprintf(stderr, "tkw-latency: tkw did not start:\n");
        for (const std::string& l : tkw.Lines()) std::fprintf(stderr, "  %s\n", l.c_str());
        return f;
    }
    const auto sent = SendFrames(dir, frames);

    std::vector<double> delaysMs;
    {
        std::lock_guard<std::mutex> lock(m);
        for (size_t i = 1; i < sent.size(); ++i) {  // the first frame may meet a port still opening
            auto it = seen.find(sent[i].second);
            if (it != seen.end()) delaysMs.push_back((it->second - sent[i].first) / 1e6);
        }
    }

    long ticks0 = 0, ticks1 = 0, hwm = 0;
    ProcUsage(tkw.Pid(), ticks0, hwm);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    ProcUsage(tkw.Pid(), ticks1, hwm);
    const double cpuSeconds = static_cast<double>(ticks1 - ticks0) / static_cast<double>(sysconf(_SC_CLK_TCK));
    tkw.Stop();
    fs::remove_all(dir);
    if (delaysMs.empty()) {
        std::printf("  no frame was handled: tkw said\n");
        for (const std::string& l : tkw.Lines()) std::printf("    %s\n", l.c_str());
        return f;
    }
    f.ok = delaysMs.size() >= static_cast<size_t>(frames) / 2;
    f.matched = delaysMs.size();
    f.median = tkw::Median(delaysMs), f.p99 = tkw::Percentile(delaysMs, 99);
    f.max = *std::max_element(delaysMs.begin(), delaysMs.end());
    f.idleCpuPercent = cpuSeconds * 100.0 / idleSeconds;
    f.peakMb = hwm / 1024.0;
    return f;
}

// The read's stamp against the last byte: tkw --offsets with a fine
// adjustment of 0 prints each frame's offset, which is the stamp minus the
// frame's second; tkw-sim --stamp tells when, past that second, it wrote the
// frame's last byte. The difference is how late after its last byte a frame
// is timed. Milliseconds, one value a frame.
std::vector<double> MeasureStamp(int frames) {
    std::vector<double> after;
    const fs::path dir = fs::temp_directory_path() / ("tkw-latency-stamp-" + std::to_string(::getpid()));
    const std::unique_ptr<Child> socat = MakeLine(dir);
    if (!socat) return after;
    Child set({TKW_EXE, "--dir", dir.string(), "--set", "fine=0"}, dir);
    if (set.Wait() != 0) return after;

    std::mutex m;
    std::map<std::string, double> offsets;  // "YYYY-MM-DD hh:mm:ss" -> ms
    Child tkw({TKW_EXE, "--dry-run", "--no-step", "--offsets", "--map", "COM1=" + (dir / "pc").string()}, dir,
              [&](const std::string& line) {
                  // OFFSET 2026-12-08 14:30:31 +0.213 ms
                  if (line.rfind("OFFSET ", 0) != 0 || line.size() < 31) return;
                  std::lock_guard<std::mutex> lock(m);
                  offsets[line.substr(7, 19)] = std::stod(line.substr(27));
              });
    std::this_thread::sleep_for(500ms);
    const auto sent = SendFrames(dir, frames);
    tkw.Stop();
    std::lock_guard<std::mutex> lock(m);
    for (const auto& [ns, bytes] : sent) {
        const time_t second = static_cast<time_t>(ns / 1'000'000'000);
        tm local{};
        localtime_r(&second, &local);
        char name[32];
        std::strftime(name, sizeof name, "%Y-%m-%d %H:%M:%S", &local);
        const auto it = offsets.find(name);
        if (it != offsets.end()) after.push_back(it->second - static_cast<double>(ns % 1'000'000'000) / 1e6);
    }
    fs::remove_all(dir);
    return after;
}

// The floor under the figure above: the same line read by the simplest
// reader there is, one thread waiting in poll() and stamping as it returns
// (what a GPS daemon's loop does), with nothing behind it. What tkw's stamp
// adds to this is its own; the rest is the pseudo-terminals and socat.
std::vector<double> MeasureBare(int frames) {
    std::vector<double> after;
    const fs::path dir = fs::temp_directory_path() / ("tkw-latency-bare-" + std::to_string(::getpid()));
    const std::unique_ptr<Child> socat = MakeLine(dir);
    if (!socat) return after;
    const int fd = ::open((dir / "pc").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return after;
    termios tio{};
    if (tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    // Each read that returned: when, and how many bytes had come by then.
    std::vector<std::pair<int64_t, size_t>> reads;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        size_t total = 0;
        uint8_t buf[256];
        while (!done) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            const int64_t t = NowNs();
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) reads.emplace_back(t, total += static_cast<size_t>(n));
        }
    });
    const auto sent = SendFrames(dir, frames);
    size_t frameSize = 0;
    if (!sent.empty()) {
        std::string hex = sent.back().second;
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        frameSize = hex.size() / 2;
    }
    done = true;
    reader.join();
    ::close(fd);
    // Frame i is whole with the read that brings the count to (i + 1) frames.
    size_t r = 0;
    for (size_t i = 1; i < sent.size() && frameSize > 0; ++i) {
        while (r < reads.size() && reads[r].second < (i + 1) * frameSize) ++r;
        if (r == reads.size()) break;
        after.push_back(static_cast<double>(reads[r].first - sent[i].first) / 1e6);
    }
    fs::remove_all(dir);
    return after;
}

}  // namespace

void PrintAfter(const char* what, const std::vector<double>& ms) {
    std::printf("  %-34s %5zu frames: median %.3f ms, p90 %.3f ms, p99 %.3f ms, max %.3f ms\n", what, ms.size(),
                tkw::Median(ms), tkw::Percentile(ms, 90), tkw::Percentile(ms, 99),
                *std::max_element(ms.begin(), ms.end()));
}

// The stamp a frame's offset and its correction count from, beside the
// floor the line itself sets.
bool PrintStamp(int frames) {
    std::printf("after the frame's last byte was written (tkw-sim -> socat -> pseudo-terminal):\n");
    const std::vector<double> stamp = MeasureStamp(frames);
    const std::vector<double> bare = MeasureBare(frames);
    if (stamp.empty() || bare.empty()) {
        std::printf("  the read's stamp: no frame measured\n");
        return false;
    }
    PrintAfter("tkw's read stamp", stamp);
    PrintAfter("a bare poll() loop (the floor)", bare);
    return true;
}

int main(int argc, char** argv) {
    // A lock of its own: another tkw on the machine must not stop the figures.
    ::setenv("TKW_INSTANCE", ("tkw-latency-" + std::to_string(::getpid())).c_str(), 1);
    if (argc > 1 && std::string(argv[1]) == "--stamp")
        return PrintStamp(argc > 2 ? std::max(5, std::atoi(argv[2])) : 60) ? 0 : 1;
    const int frames = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
    const int idleSeconds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 60;

    std::printf("tkw end to end over a pseudo-terminal (tkw-sim -> tkw --dry-run), %d frames, %d s idle, "
                "the reader as before (10 ms polling) and now (waiting for input):\n",
                frames, idleSeconds);
    std::printf("  %-22s %8s %8s %8s %9s %12s %9s\n", "reader", "matched", "median", "p99", "max", "idle CPU",
                "peak RSS");
    bool ok = true;
    for (const bool poll : {true, false}) {
        const Figures f = Measure(poll, frames, idleSeconds);
        ok = ok && f.ok;
        std::printf("  %-22s %8zu %6.2f ms %5.2f ms %6.2f ms %9.3f %% %6.2f MB\n",
                    poll ? "--poll-reads (before)" : "waiting (now)", f.matched, f.median, f.p99, f.max,
                    f.idleCpuPercent, f.peakMb);
    }
    std::printf("  targets for the waiting reader: median <= 0.5 ms, p99 <= 1 ms, idle CPU <= 0.05 %% of a core\n");

    ok = PrintStamp(frames) && ok;
    return ok ? 0 : 1;
}
