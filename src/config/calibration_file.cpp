#include "config/calibration_file.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "config/setting_names.h"
#include "config/settings.h"

namespace tkw {

namespace {

std::string CalibrationLine(const Calibration& c) {
    return "fine=" + std::to_string(c.fineMs) + " format=" + FormatText(c.codeFormat) + " baud=" +
           BaudText(c.baudCode) + " date=" + c.date;
}

// Through --set's own rules: the same names and ranges, the format before the
// rate (the format brings its usual rate, which the rate then replaces).
bool ParseCalibrationLine(const std::string& line, Calibration& c) {
    Settings s;
    std::istringstream in(line);
    std::string word, date;
    int seen = 0;
    while (in >> word) {
        std::string why;
        if (word.rfind("date=", 0) == 0) {
            date = word.substr(5);
        } else if (word.rfind("fine=", 0) == 0 || word.rfind("format=", 0) == 0 || word.rfind("baud=", 0) == 0) {
            if (!ApplySetting(word, s, why)) return false;
        } else {
            return false;
        }
        ++seen;
    }
    if (seen != 4 || date.size() != 10) return false;
    c = {s.FineAdjustMs, s.CodeFormat, s.BaudCode, date};
    return true;
}

}  // namespace

int FineAdjustForDelay(double delayMs) {
    return static_cast<int>(std::clamp<long>(std::lround(delayMs), kFineAdjustRange.Min, kFineAdjustRange.Max));
}

bool LoadCalibration(FileSystem& fs, const std::string& path, Calibration& c) {
    if (!fs.Exists(path)) return false;
    OpenResult opened = fs.Open(path, OpenMode::ReadWriteExisting);
    if (!opened.file) return false;
    char buf[256];
    size_t got = 0;
    const bool read = opened.file->Read(buf, sizeof buf, got).ok;
    opened.file->Close();
    if (!read) return false;
    std::string text(buf, got);
    if (const size_t end = text.find_first_of("\r\n"); end != std::string::npos) text.resize(end);
    return ParseCalibrationLine(text, c);
}

Status SaveCalibration(FileSystem& fs, const std::string& path, const Calibration& c) {
    const std::string line = CalibrationLine(c) + "\n";
    return ReplaceWholeFile(fs, path, [&line](File& file) { return file.Write(line); });
}

}  // namespace tkw
