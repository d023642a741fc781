#include "report/report_page.h"

#include <algorithm>

#include "logs/offsets_summary.h"
#include "report/svg_plot.h"

namespace tkw::report {

namespace {

// The series' colours (the end-to-end test looks for them in the picture).
constexpr const char* kMeanColour = "#1f77b4";
constexpr const char* kBandColour = "#a6cee3";
constexpr const char* kStepColour = "#e6550d";
constexpr const char* kJitterColour = "#2ca02c";
constexpr const char* kDriftColour = "#9467bd";

constexpr const char* kStyle = R"(<style>
body { font-family: system-ui, -apple-system, "Segoe UI", Roboto, Helvetica, Arial, sans-serif;
       color: #222; background: #fff; margin: 0 auto; max-width: 980px; padding: 8px 12px; line-height: 1.4; }
h1 { font-size: 1.35em; margin: 0.4em 0; }
figure { margin: 1.2em 0; }
figcaption { font-size: 0.9em; color: #444; }
svg { display: block; width: 100%; height: auto; }
.plot { overflow-x: auto; }
@media (max-width: 640px) { .plot svg { min-width: 640px; } }
.table { overflow-x: auto; }
table { border-collapse: collapse; font-size: 0.9em; font-variant-numeric: tabular-nums; }
th, td { padding: 3px 6px; border-bottom: 1px solid #ddd; text-align: right; }
th { vertical-align: bottom; font-weight: 600; }
td { white-space: nowrap; }
th:first-child, td:first-child { text-align: left; }
td.none { color: #888; text-align: left; }
p.note { font-size: 0.9em; color: #444; }
@media print {
  body { max-width: none; padding: 0; color: #000; background: #fff; }
  figure { break-inside: avoid; page-break-inside: avoid; break-after: page; page-break-after: always; }
  .table, .plot { overflow: visible; }
  .plot svg { min-width: 0; }
}
</style>
)";

std::string DayText(const SystemTime& d) {
    char text[20];
    FormatDateTime(d, text);
    return std::string(text, 10);
}

std::string Ms(const std::optional<double>& v) {
    return v ? FormatFixed(*v, 3) : "–";
}

std::string Ppm(const std::optional<double>& v) {
    return v ? FormatFixed(*v, 2) : "–";
}

std::string Cell(const std::string& text) {
    return "<td>" + Escape(text) + "</td>";
}

std::string Figure(const TimePlot& plot, const std::string& caption) {
    std::string figure = "<figure>\n<div class=\"plot\">\n";
    figure += plot.Svg();
    return figure + "</div>\n<figcaption>" + caption + "</figcaption>\n</figure>\n";
}

std::string SummaryTable(const std::vector<ReportDay>& days) {
    std::string t =
        "<div class=\"table\"><table>\n<tr><th>Day</th><th>Minutes</th><th>Frames</th><th>Mean ms</th>"
        "<th>Median ms</th><th>Jitter ms</th><th>Worst ms</th><th>Drift ppm</th><th>Last drift ppm</th>"
        "<th>Correc&shy;tions</th><th>Least step ms</th><th>Median step ms</th><th>Largest step ms</th></tr>\n";
    for (const ReportDay& day : days) {
        t += "<tr>" + Cell(DayText(day.date));
        if (!day.found) {
            t += "<td class=\"none\" colspan=\"12\">no file (" + Escape(OffsetsFileName(day.date)) + ")</td></tr>\n";
            continue;
        }
        const DaySummary s = Summarize(day.data.rows);
        t += Cell(std::to_string(s.day.minutes)) + Cell(std::to_string(s.day.frames)) + Cell(Ms(s.day.meanMs)) +
             Cell(Ms(s.medianMs)) + Cell(Ms(s.day.jitterMs)) + Cell(Ms(s.day.worstMs)) + Cell(Ppm(s.driftMeanPpm)) +
             Cell(Ppm(s.driftLastPpm)) + Cell(std::to_string(s.day.steps)) + Cell(Ms(s.stepMinMs)) +
             Cell(Ms(s.stepMedianMs)) + Cell(Ms(s.stepMaxMs)) + "</tr>\n";
    }
    return t + "</table></div>\n";
}

}  // namespace

std::string ReportPage(const std::vector<ReportDay>& days, const std::string& where) {
    // The plots run from the first day with a file to the last.
    size_t first = days.size(), last = 0;
    int skipped = 0;
    for (size_t i = 0; i < days.size(); ++i) {
        if (!days[i].found) continue;
        first = std::min(first, i);
        last = i;
        skipped += days[i].data.badLines;
    }
    std::string range = days.empty() ? std::string() : DayText(days.front().date);
    if (days.size() > 1) range += " to " + DayText(days.back().date);

    TimeAxis axis;
    std::vector<Point> mean, jitter, drift;
    std::vector<Range> band;
    std::vector<double> steps;
    if (first <= last) {
        axis.days = static_cast<int>(last - first + 1);
        const LocalMs origin = ToLocalMs(days[first].date);
        for (size_t i = first; i <= last; ++i) {
            axis.dayLabels.push_back(DayText(days[i].date));
            for (const OffsetRow& r : days[i].data.rows) {
                const double x = static_cast<double>(ToLocalMs(r.minute) - origin) / 60000.0;
                if (r.frames > 0) {
                    mean.push_back({x, r.meanMs});
                    band.push_back({x, r.minMs, r.maxMs});
                    jitter.push_back({x, r.sdMs});
                }
                if (r.stepMs) steps.push_back(x);
                if (r.driftPpm) drift.push_back({x, *r.driftPpm});
            }
        }
    }

    TimePlot offset("Offset of the PC clock, ms (positive: the PC is ahead)", axis);
    offset.AddBand(std::move(band), kBandColour, "least–most");
    offset.AddLine(std::move(mean), kMeanColour, "mean");
    offset.AddMarks(std::move(steps), kStepColour, "correction");
    offset.IncludeZero();
    TimePlot spread("Jitter: the offset's spread within the minute, ms", axis);
    spread.AddLine(std::move(jitter), kJitterColour, "standard deviation");
    spread.IncludeZero();
    TimePlot gain("Drift of the PC clock, ppm (positive: it gains)", axis);
    gain.AddLine(std::move(drift), kDriftColour, "drift");
    gain.IncludeZero();

    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>TKW clock report, " + Escape(range) + "</title>\n" + kStyle + "</head>\n<body>\n";
    page += "<h1>How right the PC clock was, " + Escape(range) + "</h1>\n";
    page += "<p class=\"note\">From the daily offsets files (YYMMDDO.csv) in " + Escape(where) +
            ". The offset is the PC clock when a frame was read minus the frame's time and the fine "
            "adjustment, one value a frame, summed up a minute at a time; corrections step it back towards 0.";
    if (skipped > 0) page += " " + std::to_string(skipped) + " line(s) that were not whole rows were skipped.";
    page += "</p>\n";
    page += Figure(offset,
                   "Each minute's mean offset, the least and the most of its frames, and the minutes a correction "
                   "was made in (marks along the bottom). Dashed lines: midnight.");
    page += Figure(spread,
                   "How far the frames' offsets strayed from their minute's mean: the receiver's and the serial "
                   "line's jitter.");
    page += Figure(gain,
                   "How fast the PC clock runs against the time code, from the slope of the offset between "
                   "corrections; 1 ppm is 86.4 ms a day.");
    page += "<h2>Each day</h2>\n" + SummaryTable(days);
    page += "<p class=\"note\">Jitter: the RMS of the minutes' standard deviations, weighted by their frames. "
            "Worst: the offset farthest from 0. Drift: the mean of the minutes' known values, and the last.</p>\n";
    return page + "</body>\n</html>\n";
}

}  // namespace tkw::report
