// tkw-monitor-bench: the monitor text over a long unattended run. Appends
// 600 000 frame lines (about a week of frames) to the monitor's line store
// and prints the cost of one append at the start and at the end, the memory
// the process peaked at, and how long saving them all takes. Figures only.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "logs/monitor_log.h"
#include "percentile.h"
#include "platform/files.h"
#include "platform/systime.h"
#include "timecode/frame_formats.h"

using namespace tkw;

namespace {

using Steady = std::chrono::steady_clock;
constexpr size_t kLines = 600000;
constexpr size_t kWindow = 10000;  // lines measured at each end

// A frame line as the walk makes it: 【yyyy-mm-dd hh:nn:ss】 and a KRW_CODE
// frame's 9 bytes in hex.
std::string FrameLine(size_t i) {
    SystemTime t;
    t.wYear = 2026, t.wMonth = 12, t.wDay = static_cast<uint16_t>(1 + i / 86400 % 28);
    t.wHour = static_cast<uint16_t>(i / 3600 % 24), t.wMinute = static_cast<uint16_t>(i / 60 % 60);
    t.wSecond = static_cast<uint16_t>(i % 60);
    std::string line = "【" + DateTimeText(t) + "】 ";
    for (uint8_t b : EncodeFrame(*FindFormat(1), t)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    return line;
}

}  // namespace

int main() {
    MonitorLog log;
    std::vector<double> first, last;
    first.reserve(kWindow);
    last.reserve(kWindow);
    double totalNs = 0;
    for (size_t i = 0; i < kLines; ++i) {
        std::string line = FrameLine(i);  // made outside the timing, as the walk makes it
        const auto t0 = Steady::now();
        log.AppendLine(std::move(line));
        const double ns = std::chrono::duration<double, std::nano>(Steady::now() - t0).count();
        totalNs += ns;
        if (i < kWindow) first.push_back(ns);
        if (i >= kLines - kWindow) last.push_back(ns);
    }
    const double totalMs = totalNs / 1e6;

    const std::string path = "/tmp/tkw-monitor-bench.txt";
    const auto s0 = Steady::now();
    const Status saved = log.SaveTo(RealFileSystem(), path);
    const double saveMs = std::chrono::duration<double, std::milli>(Steady::now() - s0).count();
    RealFileSystem().Remove(path);

    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("monitor text: %zu lines, %.1f MB of text, appended in %.0f ms\n", log.Count(),
                static_cast<double>(log.Bytes()) / 1e6, totalMs);
    std::printf("append, first %zu lines: median %.0f ns, p99 %.0f ns\n", kWindow, Median(first),
                Percentile(first, 99));
    std::printf("append, last %zu lines:  median %.0f ns, p99 %.0f ns\n", kWindow, Median(last),
                Percentile(last, 99));
    std::printf("save of all lines: %.0f ms (%s)\n", saveMs, saved ? "ok" : saved.error.c_str());
    std::printf("peak resident memory: %.1f MB (the whole process)\n", ru.ru_maxrss / 1024.0);
    return 0;
}
