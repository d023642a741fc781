// tkw-offsets-week DIR LAST-DAY [DAYS]: writes the offsets files a PC clock
// drifting some 25 ppm (more by day, less by night) would have given over
// DAYS days (default 7) up to LAST-DAY (YYYY-MM-DD), through the program's
// own statistics and writer: a frame a second with the receiver's jitter,
// a correction every minute at second 31 (every ten minutes on the third
// day), no file on the second day, the program stopped for hours on the
// fifth and the receiver silent for a while on the sixth. For tkw-report's
// end-to-end test and the picture of a report in docs/offsets.md.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>

#include "logs/offsets_file.h"
#include "timecode/offset_stats.h"

int main(int argc, char** argv) {
    using namespace tkw;
    SystemTime last;
    const int days = argc > 3 ? std::atoi(argv[3]) : 7;
    if (argc < 3 || !ParseWithMs(std::string(argv[2]) + " 00:00:00", last) || days < 1) {
        std::fprintf(stderr, "usage: tkw-offsets-week DIR LAST-DAY [DAYS]\n");
        return 2;
    }
    OffsetsWriter writer(RealFileSystem(), argv[1]);
    OffsetStats stats;
    std::mt19937 rng(20260314);
    std::normal_distribution<double> jitter(0.0, 0.35);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    const LocalMs first = ToLocalMs(last) - (days - 1) * kMsPerDay;
    double offsetMs = 0.8;  // the PC clock's true offset
    for (int64_t s = 0; s < days * 86'400LL; ++s) {
        const int day = static_cast<int>(s / 86'400), secondOfDay = static_cast<int>(s % 86'400);
        const int minuteOfDay = secondOfDay / 60, second = secondOfDay % 60;
        // Warmer by day: the crystal runs 25 ± 4 ppm, fastest mid-afternoon.
        const double ppm = 25.0 + 4.0 * std::sin((secondOfDay / 86'400.0 - 0.375) * 2 * std::numbers::pi);
        offsetMs += ppm / 1000.0;

        const bool stopped = day == 4 && minuteOfDay >= 9 * 60 && minuteOfDay < 13 * 60 + 30;
        const bool silent = day == 5 && minuteOfDay >= 20 * 60 && minuteOfDay < 20 * 60 + 25;
        if (!stopped && !silent) {
            // What the frame says: the receiver's jitter, now and then a late frame.
            const double measured = offsetMs + jitter(rng) + (uniform(rng) < 0.002 ? 2.5 : 0.0);
            stats.Add(measured, static_cast<double>(s));
            const int every = day == 2 ? 10 : 1;
            if (second == 31 && minuteOfDay % every == 0) {
                stats.Step(-measured);  // the clock is set to the frame's time
                offsetMs -= measured;
            }
        }
        if (second != 59) continue;
        const OffsetStats::Minute m = stats.TakeMinute();
        if (stopped || day == 1) continue;  // no program running; no file that day
        OffsetRow row;
        row.minute = FromLocalMs(first + static_cast<LocalMs>(s / 60) * 60'000);
        row.frames = m.count;
        row.meanMs = m.meanMs;
        row.minMs = m.minMs;
        row.maxMs = m.maxMs;
        row.sdMs = m.sdMs;
        row.stepMs = m.stepMs;
        row.driftPpm = m.driftPpm;
        if (!writer.Write(row)) {
            std::fprintf(stderr, "tkw-offsets-week: %s cannot be written\n", argv[1]);
            return 1;
        }
    }
    return 0;
}
