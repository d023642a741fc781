#include "logs/offsets_summary.h"

#include <algorithm>
#include <cmath>

namespace tkw {

namespace {

// The sums a day's or an hour's figures are made from.
struct Sums {
    OffsetFigures figures;
    double weightedMean = 0;  // Σ frames × mean
    double weightedVar = 0;   // Σ frames × sd²

    void Add(const OffsetRow& r) {
        ++figures.minutes;
        if (r.stepMs) ++figures.steps;
        if (r.frames <= 0) return;
        figures.frames += r.frames;
        weightedMean += r.frames * r.meanMs;
        weightedVar += r.frames * r.sdMs * r.sdMs;
        for (const double v : {r.minMs, r.maxMs}) {
            if (!figures.worstMs || std::fabs(v) > std::fabs(*figures.worstMs)) figures.worstMs = v;
        }
    }

    OffsetFigures Done() const {
        OffsetFigures f = figures;
        if (f.frames > 0) {
            f.meanMs = weightedMean / f.frames;
            f.jitterMs = std::sqrt(weightedVar / f.frames);
        }
        return f;
    }
};

std::optional<double> Median(std::vector<double> v) {
    if (v.empty()) return std::nullopt;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 != 0 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// `v` with its unit, "+" before a positive value when asked, "-" for none.
// (Built by appending: GCC 12 takes an insert at the front for an overlap
// at -O3.)
std::string WithUnit(const std::optional<double>& v, int decimals, bool sign, const char* unit) {
    if (!v) return "-";
    const std::string number = FormatFixed(*v, decimals);
    std::string text = sign && number[0] != '-' && number.find_first_not_of("0.") != std::string::npos ? "+" : "";
    text += number;
    return text + unit;
}

std::string Ms(const std::optional<double>& v, bool sign) {
    return WithUnit(v, 3, sign, "ms");
}

std::string Ppm(const std::optional<double>& v) {
    return WithUnit(v, 2, true, "ppm");
}

// Columns as wide as their widest cell, two spaces apart, to the right (the
// first to the left when it names the row); a line of '=' under the header.
std::string Table(const std::vector<std::vector<std::string>>& rows, bool named) {
    std::vector<size_t> width;
    for (const auto& row : rows) {
        width.resize(std::max(width.size(), row.size()));
        for (size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    }
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r) {
        std::string line;
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const std::string pad(width[c] - rows[r][c].size(), ' ');
            if (c > 0) line += "  ";
            line += c == 0 && named ? rows[r][c] + pad : pad + rows[r][c];
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + '\n';
        if (r == 0) {
            size_t total = 0;
            for (const size_t w : width) total += w;
            out += std::string(total + 2 * (width.size() - 1), '=') + '\n';
        }
    }
    return out;
}

}  // namespace

DaySummary Summarize(const std::vector<OffsetRow>& rows) {
    Sums day;
    std::array<Sums, 24> hours;
    std::vector<double> means, steps;
    double driftSum = 0;
    int drifts = 0;
    DaySummary s;
    for (const OffsetRow& r : rows) {
        day.Add(r);
        hours[r.minute.wHour % 24].Add(r);
        if (r.frames > 0) means.push_back(r.meanMs);
        if (r.stepMs) steps.push_back(std::fabs(*r.stepMs));
        if (r.driftPpm) {
            driftSum += *r.driftPpm;
            ++drifts;
            s.driftLastPpm = r.driftPpm;
        }
    }
    s.day = day.Done();
    for (size_t h = 0; h < hours.size(); ++h) s.hours[h] = hours[h].Done();
    s.medianMs = Median(means);
    if (drifts > 0) s.driftMeanPpm = driftSum / drifts;
    if (!steps.empty()) {
        s.stepMinMs = *std::min_element(steps.begin(), steps.end());
        s.stepMaxMs = *std::max_element(steps.begin(), steps.end());
        s.stepMedianMs = Median(std::move(steps));
    }
    return s;
}

std::string FormatStats(const DaySummary& s, std::string_view dayText) {
    const OffsetFigures& d = s.day;
    std::string out = "Offsets of ";
    out += dayText;
    out += ": the PC clock minus the time code (+: the PC is ahead)\n\n";
    out += Table({{"Minutes", "Frames", "Mean", "Median", "Jitter", "Worst", "Mean drift", "Last drift"},
                  {std::to_string(d.minutes), std::to_string(d.frames), Ms(d.meanMs, true), Ms(s.medianMs, true),
                   Ms(d.jitterMs, false), Ms(d.worstMs, true), Ppm(s.driftMeanPpm), Ppm(s.driftLastPpm)}},
                 false);
    out += '\n';
    out += Table({{"Corrections", "Smallest", "Median", "Largest"},
                  {std::to_string(d.steps), Ms(s.stepMinMs, false), Ms(s.stepMedianMs, false),
                   Ms(s.stepMaxMs, false)}},
                 false);
    std::vector<std::vector<std::string>> hours = {{"Hour", "Minutes", "Frames", "Mean", "Jitter", "Worst", "Steps"}};
    for (size_t h = 0; h < s.hours.size(); ++h) {
        const OffsetFigures& f = s.hours[h];
        if (f.minutes == 0) continue;
        std::string hour = h < 10 ? "0" : "";
        hour += std::to_string(h);
        hours.push_back({hour, std::to_string(f.minutes), std::to_string(f.frames),
                         Ms(f.meanMs, true), Ms(f.jitterMs, false), Ms(f.worstMs, true), std::to_string(f.steps)});
    }
    if (hours.size() > 1) {
        out += '\n';
        out += Table(hours, true);
    }
    return out;
}

}  // namespace tkw
