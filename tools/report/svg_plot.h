// A plot of values over days as one inline SVG element: lines, a shaded
// band between two values, short marks along the bottom, a value axis with
// round ticks and a time axis with the hours and the days' boundaries. No
// script, font or picture from anywhere: the page that holds it stands alone.
// The SVG scales with its viewBox, so the page may be as wide as a phone.
#pragma once

#include <string>
#include <vector>

namespace tkw::report {

// Time is counted in minutes from the midnight the plot begins at.
struct TimeAxis {
    int days = 1;                          // whole days, from minute 0
    std::vector<std::string> dayLabels;    // one a day ("2026-03-14")
};

struct Point {
    double x;  // minutes
    double y;
};
struct Range {
    double x;
    double lo;
    double hi;
};

class TimePlot {
public:
    TimePlot(std::string title, TimeAxis axis) : title_(std::move(title)), axis_(std::move(axis)) {}

    // Points in order of time. Many to a pixel column are averaged; a column
    // with none breaks the line.
    void AddLine(std::vector<Point> points, std::string colour, std::string label);
    // Shaded from lo to hi; many to a column are joined (lowest lo, highest hi).
    void AddBand(std::vector<Range> ranges, std::string colour, std::string label);
    // Short upright marks along the bottom of the plot, one a column at most.
    void AddMarks(std::vector<double> xs, std::string colour, std::string label);
    // The value axis reaches 0 whatever the values.
    void IncludeZero() { includeZero_ = true; }

    std::string Svg() const;

    // The plot's size in the viewBox's units.
    static constexpr double kWidth = 900, kHeight = 270;

private:
    struct Series {
        enum Kind { Line, Band, Marks } kind;
        std::vector<Range> data;  // a line's and a mark's value in lo
        std::string colour;
        std::string label;
    };
    std::string Legend() const;
    std::string Hours() const;

    std::string title_;
    TimeAxis axis_;
    std::vector<Series> series_;
    bool includeZero_ = false;
};

// Ticks at round values (1, 2 or 5 times a power of ten apart) covering
// lo..hi with about `want` steps; `step` is their distance.
std::vector<double> NiceTicks(double lo, double hi, int want, double& step);

// Text for HTML and SVG: & < > " escaped.
std::string Escape(const std::string& text);

}  // namespace tkw::report
