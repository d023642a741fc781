// tkw-monitor-window-bench.exe [LINES]: the monitor window with its real
// controls, shown, while LINES frame lines (100 000 by default) are appended
// to the monitor text as the time-code handling appends them. Lines come one
// at a time over the first and the last 1 000, each timed from the append to
// the window having taken it in; in between they come in bursts of 500 (as
// after a reconnection). Prints the time per line at the start and at the
// end, and per line in the bursts. Figures only; run under Wine by the
// Windows end-to-end test.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "forms/monitor_form.h"
#include "percentile.h"
#include "platform/message_box_win32.h"
#include "platform/systime.h"
#include "timecode/frame_formats.h"
#include "ui/win32/bindings.h"
#include "ui/win32/form_host.h"
#include "ui/win32/save_dialog_win32.h"

namespace {

using namespace tkw;

constexpr size_t kSingles = 1000;
constexpr size_t kBurst = 500;

struct Run {
    MonitorLog* log = nullptr;
    TForm3* form = nullptr;
    size_t lines = 100000;
    size_t next = 0;
    bool busy = false;
    std::vector<double> firstUs, lastUs;
    double burstUs = 0;
    size_t burstLines = 0;
    LARGE_INTEGER freq{};
};

Run* g_run = nullptr;  // for the timer callback of this one-shot program

// A frame line as the walk makes it: 【yyyy-mm-dd hh:nn:ss】 and a KRW_CODE
// frame's 9 bytes in hex.
std::string FrameLine(size_t i) {
    tkw::SystemTime t;
    t.wYear = 2026, t.wMonth = 12, t.wDay = 8;
    t.wHour = static_cast<uint16_t>(i / 3600 % 24), t.wMinute = static_cast<uint16_t>(i / 60 % 60);
    t.wSecond = static_cast<uint16_t>(i % 60);
    std::string line = "【" + tkw::DateTimeText(t) + "】 ";
    for (uint8_t b : tkw::EncodeFrame(*tkw::FindFormat(1), t)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    return line;
}

double Us(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& f) {
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

// Appends `count` lines and lets the view take them in, as the message loop
// would next; returns the time that took.
double AppendAndShow(Run& r, size_t count) {
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    for (size_t k = 0; k < count; ++k, ++r.next) r.log->AppendLine(FrameLine(r.next));
    // Only the monitor view's own "take the new lines in", nothing else queued.
    constexpr UINT kFlush = MemoBinding::kWmFlush;
    MSG m;
    while (PeekMessageW(&m, nullptr, kFlush, kFlush, PM_REMOVE)) DispatchMessageW(&m);
    QueryPerformanceCounter(&b);
    return Us(a, b, r.freq);
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Run& r = *g_run;
    if (r.busy || r.next >= r.lines) return;
    r.busy = true;
    if (r.next < kSingles) {
        r.firstUs.push_back(AppendAndShow(r, 1));
    } else if (r.next + kSingles >= r.lines) {
        r.lastUs.push_back(AppendAndShow(r, 1));
    } else {
        const size_t n = std::min(kBurst, r.lines - kSingles - r.next);
        const double us = AppendAndShow(r, n);
        r.burstUs += us;
        if (r.next % 2000 < kBurst) std::fprintf(stderr, "at %zu: burst %.0f ms\n", r.next, us / 1000);
        r.burstLines += n;
    }
    r.busy = false;
    if (r.next >= r.lines) r.form->Close();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);

    Run run;
    if (argc > 1) run.lines = std::max<size_t>(static_cast<size_t>(_wtoi(argv[1])), 2 * kSingles + 1);
    MonitorLog log;
    RuntimeState state;
    Win32SaveDialog dialog;
    Win32Boxes boxes;
    TForm3 form(log, state, RealFileSystem(), dialog, boxes);
    FormHost host(form);
    if (!host.Create(GetModuleHandleW(nullptr), nullptr)) {
        std::printf("the monitor window could not be made\n");
        return 1;
    }
    run.log = &log;
    run.form = &form;
    QueryPerformanceFrequency(&run.freq);
    g_run = &run;
    const UINT_PTR timer = SetTimer(nullptr, 0, 1, Tick);
    LARGE_INTEGER a, b;
    QueryPerformanceCounter(&a);
    host.ShowModal();
    QueryPerformanceCounter(&b);
    KillTimer(nullptr, timer);

    std::printf("monitor window: %zu lines appended with the window shown, %.1f s in all\n", run.next,
                Us(a, b, run.freq) / 1e6);
    std::printf("one at a time, lines 1 to %zu: median %.0f us, p99 %.0f us a line\n", kSingles, Median(run.firstUs),
                Percentile(run.firstUs, 99));
    std::printf("one at a time, the last %zu:    median %.0f us, p99 %.0f us a line\n", kSingles,
                Median(run.lastUs), Percentile(run.lastUs, 99));
    std::printf("in bursts of %zu: %.1f us a line\n", kBurst,
                run.burstLines ? run.burstUs / static_cast<double>(run.burstLines) : 0.0);
    return 0;
}
