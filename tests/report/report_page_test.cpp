// tkw-report's page for two days with a day without a file between them:
// a page that stands alone, the three plots with their data and days, and
// the table. Structure only; tests/e2e/report_e2e.sh looks at the picture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report/report_page.h"
#include "support/fakes.h"

namespace tkw::test {
namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(ReportPage, TwoDaysGiveThreePlotsAndATable) {
    std::vector<report::ReportDay> days(3);
    days[0].date = At(2026, 3, 12);
    days[1].date = At(2026, 3, 13);
    days[2].date = At(2026, 3, 14);
    days[0].found = days[2].found = true;
    for (int m = 0; m < 180; ++m) {
        days[0].data.rows.push_back({At(2026, 3, 12, 10 + m / 60, m % 60), 28, 0.4, -0.5, 1.2, 0.4, -1.5, 25.0});
        days[2].data.rows.push_back({At(2026, 3, 14, 8 + m / 60, m % 60), 28, 0.3, -0.6, 1.1, 0.4, -1.4, 24.0});
    }
    days[2].data.rows.push_back({At(2026, 3, 14, 12, 0), 0, 0, 0, 0, 0, {}, {}});
    const std::string page = report::ReportPage(days, "/var/lib/tkw");

    // A page of its own: for phones and printers, nothing fetched.
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("<meta name=\"viewport\""), std::string::npos);
    EXPECT_NE(page.find("@media print"), std::string::npos);
    for (const char* fetch : {"<script", "src=", "href=", "url(", "@import", "<link", "<img"})
        EXPECT_EQ(page.find(fetch), std::string::npos) << fetch;

    // Three plots, each scaled by its viewBox, spanning the three days.
    std::vector<std::string> plots;
    for (size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1))
        plots.push_back(page.substr(at, page.find("</svg>", at) - at));
    ASSERT_EQ(plots.size(), 3u);
    for (const std::string& plot : plots) {
        EXPECT_NE(plot.find("viewBox=\"0 0 "), std::string::npos);
        for (const char* day : {"2026-03-12", "2026-03-13", "2026-03-14"}) EXPECT_NE(plot.find(day), std::string::npos) << day;
        EXPECT_EQ(Count(plot, "stroke-dasharray"), 2u);  // the two midnights between the days
    }
    // Drawn data: the offset's band, mean line and corrections; the jitter; the drift.
    EXPECT_NE(plots[0].find("fill=\"#a6cee3\" stroke=\"#a6cee3\""), std::string::npos);
    EXPECT_NE(plots[0].find("stroke=\"#1f77b4\""), std::string::npos);
    EXPECT_NE(plots[0].find("stroke=\"#e6550d\""), std::string::npos);
    EXPECT_NE(plots[1].find("stroke=\"#2ca02c\""), std::string::npos);
    EXPECT_NE(plots[2].find("stroke=\"#9467bd\""), std::string::npos);
    // The two runs of three hours each are separate stretches of line.
    const size_t line = plots[1].find("<path d=\"M");
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(Count(plots[1].substr(line, plots[1].find('"', line + 9) - line), "M"), 2u);

    // The table: a header and a row a day, the missing one said so.
    const std::string table = page.substr(page.find("<table>"));
    EXPECT_EQ(Count(table, "<tr>"), 4u);
    EXPECT_NE(table.find("<td>2026-03-12</td><td>180</td><td>5040</td><td>0.400</td>"), std::string::npos);
    EXPECT_NE(table.find("2026-03-13</td><td class=\"none\" colspan=\"12\">no file (260313O.csv)"), std::string::npos);
    EXPECT_NE(table.find("<td>2026-03-14</td><td>181</td><td>5040</td><td>0.300</td>"), std::string::npos);
}

}  // namespace
}  // namespace tkw::test
