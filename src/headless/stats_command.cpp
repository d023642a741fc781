#include "headless/stats_command.h"

#include <filesystem>

#include "logs/offsets_summary.h"

namespace tkw {

int PrintStats(const HeadlessOptions& options, const HeadlessProgram& program, Clock& clock, Console& console) {
    SystemTime day = clock.GetLocalTime();
    if (!options.statsDay.empty()) {
        const std::string& d = options.statsDay;
        day = SystemTime{};
        day.wYear = static_cast<uint16_t>(2000 + std::stoi(d.substr(0, 2)));
        day.wMonth = static_cast<uint16_t>(std::stoi(d.substr(2, 2)));
        day.wDay = static_cast<uint16_t>(std::stoi(d.substr(4, 2)));
    }
    const std::string file = OffsetsFileName(day);
    char dayText[19];
    FormatDateTime(day, dayText);
    const std::string date(dayText, 10);

    OffsetsDay read;
    if (const Status st = ReadOffsetsFile(file, read); !st) {
        std::error_code ec;
        const std::string where = std::filesystem::current_path(ec).string();
        console.Err(program.name + ": no offsets for " + date + ": " + file + " in " + where + ": " + st.error +
                    " (a running " + program.name + " writes one a day, a row a minute)");
        return 1;
    }
    if (read.badLines > 0)
        console.Err(program.name + ": " + file + ": " + std::to_string(read.badLines) +
                    " line(s) that are not whole rows left out");
    std::string text = FormatStats(Summarize(read.rows), date);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    console.Out(text);
    return 0;
}

}  // namespace tkw
