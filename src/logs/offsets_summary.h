// A day of the offsets file summed up, and the text `tkw --stats` prints of
// it: how far the PC clock was from the time code, how much that moved
// within the minutes, how fast the PC clock drifts and what the corrections
// made of it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logs/offsets_file.h"

namespace tkw {

// Of a day or of one hour of it. The offsets are absent without frames.
struct OffsetFigures {
    int minutes = 0;  // rows
    int frames = 0;
    // The mean of all the frames' offsets (the minutes' means weighted by
    // their frames).
    std::optional<double> meanMs;
    // How much the offset moved within its minute: the RMS of the minutes'
    // spreads, weighted by their frames (the spread of every sample around
    // its own minute's mean).
    std::optional<double> jitterMs;
    // The minute's minimum or maximum farthest from zero, with its sign.
    std::optional<double> worstMs;
    int steps = 0;  // corrections made
};

struct DaySummary {
    OffsetFigures day;
    std::optional<double> medianMs;  // the median of the minutes' means
    // Of the rows whose drift is known: the mean, and the last.
    std::optional<double> driftMeanPpm;
    std::optional<double> driftLastPpm;
    // The corrections' sizes (|step_ms|): smallest, median, largest.
    std::optional<double> stepMinMs;
    std::optional<double> stepMedianMs;
    std::optional<double> stepMaxMs;
    std::array<OffsetFigures, 24> hours;  // by the rows' hour
};

DaySummary Summarize(const std::vector<OffsetRow>& rows);

// What `tkw --stats` prints for the day named `dayText` ("2026-03-14"):
// aligned columns under a header line, as chronyc's tables are.
std::string FormatStats(const DaySummary& summary, std::string_view dayText);

}  // namespace tkw
