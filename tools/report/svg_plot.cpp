#include "report/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "logs/offsets_file.h"

namespace tkw::report {

namespace {

// The plot area inside the viewBox: room for the title and legend above,
// the value labels to the left, the hours and dates below.
constexpr double kLeft = 64, kRight = TimePlot::kWidth - 16, kTop = 34, kBottom = TimePlot::kHeight - 48;
constexpr int kColumns = static_cast<int>(kRight - kLeft);
constexpr double kCharWidth = 0.6;  // of the font size: near enough to place labels side by side

std::string Num(double v) {
    return FormatFixed(v, 1);
}

// A path's step to (x, y): 'M' to move there, 'L' to draw a line there.
// (Appended piece by piece: GCC 12 at -O3 takes a string put in front of
// another for an overlap.)
void PathTo(std::string& d, char step, double x, double y) {
    d += step;
    d += Num(x);
    d += ' ';
    d += Num(y);
}

std::string Text(double x, double y, int size, const std::string& anchor, const std::string& text,
                 const std::string& extra = {}) {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" font-size=\"" + std::to_string(size) + "\" text-anchor=\"" +
           anchor + "\"" + extra + ">" + Escape(text) + "</text>\n";
}

std::string VLine(double x, double y1, double y2, const std::string& style) {
    return "<line x1=\"" + Num(x) + "\" x2=\"" + Num(x) + "\" y1=\"" + Num(y1) + "\" y2=\"" + Num(y2) + "\" " + style + "/>\n";
}

std::string Rect(double x, double y, double w, double h, const std::string& style) {
    return "<rect x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" width=\"" + Num(w) + "\" height=\"" + Num(h) + "\" " + style + "/>\n";
}

// A series gathered into the plot's pixel columns: more points than pixels
// would only make the page heavy. A line is drawn through each column's
// mean, a band between its extremes.
struct Column {
    int n = 0;
    double sum = 0, lo = 0, hi = 0;
};

std::vector<Column> Gather(const std::vector<Range>& data, double minutes) {
    std::vector<Column> cols(kColumns);
    for (const Range& r : data) {
        if (!(r.x >= 0 && r.x < minutes) || !std::isfinite(r.lo) || !std::isfinite(r.hi)) continue;
        Column& c = cols[static_cast<size_t>(std::min(static_cast<int>(r.x / minutes * kColumns), kColumns - 1))];
        c.lo = c.n == 0 ? r.lo : std::min(c.lo, r.lo);
        c.hi = c.n == 0 ? r.hi : std::max(c.hi, r.hi);
        c.sum += r.lo;
        ++c.n;
    }
    return cols;
}

double ColumnX(size_t c) {
    return kLeft + static_cast<double>(c) + 0.5;
}

// The value axis: from the lowest tick to the highest, top to bottom.
struct Scale {
    double lo, hi;
    double operator()(double v) const { return kBottom - (v - lo) / (hi - lo) * (kBottom - kTop); }
};

// A line or band breaks at a column without values; a lone column's line
// is a dot.
std::string LinePath(const std::vector<Column>& c, const Scale& y) {
    std::string d;
    for (size_t k = 0; k < c.size(); ++k) {
        if (c[k].n == 0) continue;
        const bool starts = k == 0 || c[k - 1].n == 0;
        PathTo(d, starts ? 'M' : 'L', ColumnX(k), y(c[k].sum / c[k].n));
        if (starts && (k + 1 == c.size() || c[k + 1].n == 0)) d += "h0.5";
    }
    return d;
}

// Each run of columns: along their highest values, back along their lowest.
std::string BandPath(const std::vector<Column>& c, const Scale& y) {
    std::string d;
    for (size_t k = 0; k < c.size(); ++k) {
        if (c[k].n == 0 || (k > 0 && c[k - 1].n > 0)) continue;
        size_t e = k;
        while (e + 1 < c.size() && c[e + 1].n > 0) ++e;
        for (size_t j = k; j <= e; ++j) PathTo(d, j == k ? 'M' : 'L', ColumnX(j) - (j == k ? 0.5 : 0), y(c[j].hi));
        for (size_t j = e + 1; j-- > k;) PathTo(d, 'L', ColumnX(j) + (j == e ? 0.5 : 0), y(c[j].lo));
        d += "Z";
    }
    return d;
}

std::string MarksPath(const std::vector<Column>& c) {
    std::string d;
    for (size_t k = 0; k < c.size(); ++k) {
        if (c[k].n == 0) continue;
        PathTo(d, 'M', ColumnX(k), kBottom);
        d += "v-9";
    }
    return d;
}

}  // namespace

std::vector<double> NiceTicks(double lo, double hi, int want, double& step) {
    const double raw = (hi - lo) / std::max(want, 1);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / mag;
    step = (norm < 1.5 ? 1 : norm < 3 ? 2 : norm < 7 ? 5 : 10) * mag;
    const double first = std::floor(lo / step + 1e-9), last = std::ceil(hi / step - 1e-9);
    std::vector<double> ticks;
    for (double i = first; i <= last; ++i) ticks.push_back(std::fabs(i) < 1e-9 ? 0.0 : i * step);
    return ticks;
}

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

void TimePlot::AddLine(std::vector<Point> points, std::string colour, std::string label) {
    Series s{Series::Line, {}, std::move(colour), std::move(label)};
    for (const Point& p : points) s.data.push_back({p.x, p.y, p.y});
    series_.push_back(std::move(s));
}

void TimePlot::AddBand(std::vector<Range> ranges, std::string colour, std::string label) {
    series_.push_back({Series::Band, std::move(ranges), std::move(colour), std::move(label)});
}

void TimePlot::AddMarks(std::vector<double> xs, std::string colour, std::string label) {
    Series s{Series::Marks, {}, std::move(colour), std::move(label)};
    for (const double x : xs) s.data.push_back({x, 0, 0});
    series_.push_back(std::move(s));
}

// Right-aligned in the title's row, each label after its series' sign.
std::string TimePlot::Legend() const {
    std::string svg;
    double x = kRight;
    for (auto s = series_.rbegin(); s != series_.rend(); ++s) {
        x -= static_cast<double>(s->label.size()) * 12 * kCharWidth;
        svg += Text(x, 20, 12, "start", s->label);
        x -= 18;
        const std::string fill = "fill=\"" + s->colour + "\"";
        svg += s->kind == Series::Line   ? Rect(x, 14, 14, 3, fill)
               : s->kind == Series::Band ? Rect(x, 10, 14, 10, fill)
                                         : Rect(x + 6, 9, 2, 12, fill);
        x -= 14;
    }
    return svg;
}

// Under the plot: the hours as closely as their labels fit, each day's
// date (every few days when they do not), and a dashed line at midnight.
std::string TimePlot::Hours() const {
    std::string svg;
    const double dayWidth = (kRight - kLeft) / axis_.days;
    int hourStep = 0;
    for (const int h : {1, 2, 3, 6, 12}) {
        if (h / 24.0 * dayWidth >= 36) {
            hourStep = h;
            break;
        }
    }
    const bool withMinutes = hourStep * dayWidth / 24 >= 44;
    const bool wholeDates = dayWidth >= 80;  // "2026-03-14", else "03-14"
    const int dateEvery = wholeDates ? 1 : static_cast<int>(std::ceil(48 / dayWidth));
    for (int d = 0; d < axis_.days; ++d) {
        const double x0 = kLeft + d * dayWidth;
        if (d > 0) svg += VLine(x0, kTop, kBottom + 30, "stroke=\"#888\" stroke-dasharray=\"4 3\"");
        for (int h = hourStep; hourStep > 0 && h < 24; h += hourStep) {
            const double x = x0 + h / 24.0 * dayWidth;
            svg += VLine(x, kBottom, kBottom + 4, "stroke=\"#444\"");
            std::string hour = h < 10 ? "0" : "";
            hour += std::to_string(h);
            if (withMinutes) hour += ":00";
            svg += Text(x, kBottom + 16, 11, "middle", hour, " fill=\"#555\"");
        }
        if (d % dateEvery != 0 || static_cast<size_t>(d) >= axis_.dayLabels.size()) continue;
        const std::string& date = axis_.dayLabels[static_cast<size_t>(d)];
        svg += wholeDates ? Text(x0 + dayWidth / 2, kBottom + 36, 12, "middle", date)
                          : Text(x0 + 2, kBottom + 36, 12, "start", date.size() > 5 ? date.substr(date.size() - 5) : date);
    }
    return svg;
}

std::string TimePlot::Svg() const {
    const double minutes = axis_.days * 1440.0;
    std::vector<std::vector<Column>> gathered;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const Series& s : series_) {
        gathered.push_back(Gather(s.data, minutes));
        if (s.kind == Series::Marks) continue;
        for (const Column& c : gathered.back()) {
            if (c.n == 0) continue;
            lo = std::min(lo, c.lo);
            hi = std::max(hi, c.hi);
        }
    }
    const bool empty = !(lo <= hi);
    if (empty) lo = -1, hi = 1;
    if (includeZero_) lo = std::min(lo, 0.0), hi = std::max(hi, 0.0);
    if (hi - lo < 1e-6) lo -= 0.5, hi += 0.5;
    double step = 1;
    const std::vector<double> ticks = NiceTicks(lo, hi, 5, step);
    const Scale y{ticks.front(), ticks.back()};

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + Num(kWidth) + " " + Num(kHeight) +
                      "\" role=\"img\" aria-label=\"" + Escape(title_) + "\">\n<title>" + Escape(title_) + "</title>\n";
    svg += Rect(0, 0, kWidth, kHeight, "fill=\"#fff\"");
    svg += Text(kLeft, 20, 15, "start", title_, " font-weight=\"bold\"");
    svg += Legend();
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step) + 1e-9)));
    for (const double t : ticks) {
        svg += "<line x1=\"" + Num(kLeft) + "\" x2=\"" + Num(kRight) + "\" y1=\"" + Num(y(t)) + "\" y2=\"" + Num(y(t)) +
               "\" stroke=\"" + (t == 0 ? "#999" : "#e3e3e3") + "\"/>\n";
        svg += Text(kLeft - 6, y(t) + 4, 12, "end", FormatFixed(t, decimals));
    }
    svg += Hours();

    // Bands under lines, marks on top.
    for (const Series::Kind kind : {Series::Band, Series::Line, Series::Marks}) {
        for (size_t i = 0; i < series_.size(); ++i) {
            if (series_[i].kind != kind) continue;
            const std::vector<Column>& c = gathered[i];
            const std::string d = kind == Series::Band ? BandPath(c, y) : kind == Series::Line ? LinePath(c, y) : MarksPath(c);
            if (d.empty()) continue;
            const std::string& colour = series_[i].colour;
            svg += "<path d=\"" + d + "\" " +
                   (kind == Series::Band   ? "fill=\"" + colour + "\" stroke=\"" + colour + "\" stroke-width=\"1\""
                    : kind == Series::Line ? "fill=\"none\" stroke=\"" + colour +
                                                 "\" stroke-width=\"1.6\" stroke-linejoin=\"round\" stroke-linecap=\"round\""
                                           : "fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1\"") +
                   "/>\n";
        }
    }
    if (empty) svg += Text((kLeft + kRight) / 2, (kTop + kBottom) / 2, 14, "middle", "no values in these days", " fill=\"#777\"");
    svg += Rect(kLeft, kTop, kRight - kLeft, kBottom - kTop, "fill=\"none\" stroke=\"#444\"");
    return svg + "</svg>\n";
}

}  // namespace tkw::report
