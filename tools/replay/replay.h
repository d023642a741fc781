// Runs a capture through the engine on a simulated PC clock and prints, one
// line per event, what the program would do: SET, TX, MON, TICK and BOX lines.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "config/settings.h"
#include "platform/systime.h"
#include "replay/capture.h"

namespace tkw::replay {

struct ReplayOptions {
    SystemTime start;                 // the simulated clock at elapsed 0
    Settings settings;                // already loaded or defaulted
    std::optional<uint8_t> format;    // --format
    bool monitor = false;             // --monitor
    bool commLog = false;             // --comm-log
    bool jumpLog = true;              // cleared by --no-jump-log
    bool correctNow = true;           // cleared by --no-correct-now
    bool tick = false;                // --tick
    double driftPpm = 0;              // --drift-ppm: the PC clock runs this fast
    std::string dir;                  // where logs go; empty: the current directory
};

// Gives the capture's next chunk line, in order; false when there is none.
using NextCaptureLine = std::function<bool(CaptureLine&)>;

// Runs the capture `next` gives, whose last elapsed time is `lastMs` (the
// 2 ms timer runs up to it), and prints the events to `out`. Returns the
// process exit status (0).
int RunReplay(const ReplayOptions& options, const NextCaptureLine& next, int64_t lastMs, std::ostream& out);

// "AA 00 19": upper-case hex, one blank between.
std::string HexBytes(const uint8_t* bytes, size_t n);

}  // namespace tkw::replay
