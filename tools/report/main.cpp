// tkw-report: the last days' offsets files as one HTML page with plots.
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "logs/offsets_file.h"
#include "platform/system_clock.h"
#include "report/report_page.h"

namespace {

constexpr const char* kUsage =
    "usage: tkw-report [--dir DIR] [--days N] [--until YYYY-MM-DD] [-o FILE]\n"
    "  --dir DIR       where the daily offsets files YYMMDDO.csv are (default: the\n"
    "                  current directory, where tkw writes them unless told otherwise)\n"
    "  --days N        how many days, the last one included (1 to 366, default 7)\n"
    "  --until DATE    the last day (default: today, by this PC's clock)\n"
    "  -o FILE         the page to write (default tkw-report.html)\n"
    "  --help          show this text\n"
    "\n"
    "Writes one HTML page that needs nothing else (no script, font or picture from\n"
    "anywhere): the offset of the PC clock a minute at a time with its least and\n"
    "most and the corrections, the jitter, the drift, and a table of each day's\n"
    "figures. Says on standard error which files it read. Exit status: 0 written,\n"
    "1 no file for any of the days or the page cannot be written, 2 bad options.\n";

int BadOption(const std::string& why) {
    std::cerr << "tkw-report: " << why << " (see --help)\n";
    return 2;
}

std::filesystem::path Utf8Path(const std::string& s) {
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tkw;
    std::string dir, out = "tkw-report.html";
    long days = 7;
    SystemTime until = SystemClock().GetLocalTime();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string value;
        const bool hasValue = i + 1 < argc;
        if (hasValue) value = argv[i + 1];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--dir") {
            if (!hasValue) return BadOption("--dir needs a directory");
            dir = value;
            ++i;
        } else if (arg == "--days") {
            char* end = nullptr;
            errno = 0;
            days = hasValue ? std::strtol(value.c_str(), &end, 10) : 0;
            if (!hasValue || value.empty() || *end != '\0' || errno != 0 || days < 1 || days > 366)
                return BadOption("--days takes a number of days from 1 to 366");
            ++i;
        } else if (arg == "--until") {
            if (!hasValue || value.size() != 10 || !ParseWithMs(value + " 00:00:00", until))
                return BadOption("--until takes a date YYYY-MM-DD");
            ++i;
        } else if (arg == "-o") {
            if (!hasValue || value.empty()) return BadOption(arg + " needs a file name");
            out = value;
            ++i;
        } else {
            return BadOption("unknown option '" + arg + "'");
        }
    }

    until.wHour = until.wMinute = until.wSecond = until.wMilliseconds = 0;
    const LocalMs last = ToLocalMs(until);
    std::vector<report::ReportDay> report;
    int found = 0;
    for (long d = days - 1; d >= 0; --d) {
        report::ReportDay day;
        day.date = FromLocalMs(last - d * kMsPerDay);
        const std::string path = JoinPath(dir, OffsetsFileName(day.date));
        const Status st = ReadOffsetsFile(path, day.data);
        day.found = static_cast<bool>(st);
        if (day.found) {
            ++found;
            std::cerr << "tkw-report: read " << path << ": " << day.data.rows.size() << " minutes";
            if (day.data.badLines > 0) std::cerr << ", " << day.data.badLines << " line(s) skipped";
            std::cerr << '\n';
        } else if (st.error != "no such file") {
            std::cerr << "tkw-report: " << path << ": " << st.error << '\n';
        }
        report.push_back(std::move(day));
    }
    const std::string where = dir.empty() ? std::string("the current directory") : "the directory " + dir;
    if (found == 0) {
        std::cerr << "tkw-report: no offsets file (YYMMDDO.csv) for any of the " << days << " day(s) up to "
                  << WithMsText(until).substr(0, 10) << " in " << where << '\n';
        return 1;
    }

    const std::string page = report::ReportPage(report, where);
    std::ofstream file(Utf8Path(out), std::ios::binary | std::ios::trunc);
    file << page;
    file.close();
    if (!file) {
        std::cerr << "tkw-report: " << out << " cannot be written\n";
        return 1;
    }
    std::cerr << "tkw-report: wrote " << out << " (" << found << " of " << days << " day(s) had a file)\n";
    return 0;
}
