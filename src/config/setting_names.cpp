#include "config/setting_names.h"

#include <algorithm>

#include "platform/systime.h"
#include "platform/time_of_day_text.h"

namespace tkw {

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A whole decimal number and nothing else.
bool Number(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

bool InRange(const std::string& value, const SettingRange& r, int& out, std::string& why) {
    if (!Number(value, out)) {
        why = "'" + value + "' is not a whole number";
        return false;
    }
    if (!r.Contains(out)) {
        why = std::to_string(out) + " is outside " + std::to_string(r.Min) + " to " + std::to_string(r.Max);
        return false;
    }
    return true;
}

PatternTimeText& PointText() {
    static PatternTimeText text("H:mm:ss");
    return text;
}

// The mode's name (as --set takes it) and what it means.
std::pair<std::string, std::string> Mode(const Settings& s) {
    switch (s.CorrectionMode) {
        case kModeEveryMinute: return {"minute", "correct " + ScheduleTimes(s)};
        case kModeEveryHour: return {"hour", "correct " + ScheduleTimes(s)};
        case kModeDailyPoints: return {"daily", "correct at the daily points"};
        default: return {std::to_string(s.CorrectionMode), "no correction by schedule (not a mode the editors set)"};
    }
}

}  // namespace

std::string ScheduleTimes(const Settings& s) {
    if (s.CorrectionMode == kModeEveryMinute) return "every minute at second " + std::to_string(s.CorrectionSecond);
    if (s.CorrectionMode == kModeEveryHour)
        return "every hour at minute " + std::to_string(s.CorrectionMinute) + ", second " +
               std::to_string(s.CorrectionSecond);
    return {};
}

std::vector<std::string> DailyPointTexts(const Settings& s, TimeOfDayText& text) {
    std::vector<std::string> texts;
    // A damaged file may claim more points than the table holds.
    const int count = std::min<int>(s.DailyPointCount, kDailyPointSlots);
    for (int i = 0; i < count; ++i) {
        int h = 0, m = 0, sec = 0;
        TimeOfDay(s.DailyPoints[i], h, m, sec);
        texts.push_back(text.Format(h, m, sec));
    }
    return texts;
}

void SetDailyPoints(Settings& s, const std::vector<int>& secondsOfDay) {
    const int count = std::min<int>(static_cast<int>(secondsOfDay.size()), kMaxDailyPoints);
    s.DailyPointCount = static_cast<uint8_t>(count);
    for (int i = 0; i < count; ++i) s.DailyPoints[i] = ToDateTime(secondsOfDay[static_cast<size_t>(i)] * 1000LL);
}

std::string FormatText(int format) {
    return kCodeFormatRange.Contains(format) ? kCodeFormatNames[format - 1] : std::to_string(format);
}

std::string BaudText(int32_t code) {
    if (code == kBaudCode4800) return "4800";
    if (code == kBaudCode9600) return "9600";
    return "baud code " + std::to_string(code);
}

void SetCodeFormat(Settings& s, int format) {
    s.CodeFormat = static_cast<uint8_t>(format);
    s.BaudCode = BaudCodeForFormat(format);
}

const std::vector<std::string>& SettingNames() {
    static const std::vector<std::string> names{"port",  "baud", "format", "mode",  "second",
                                                "minute", "points", "jump", "fine", "no-correct-on-jump"};
    return names;
}

bool ApplySetting(const std::string& assignment, Settings& s, std::string& why) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos) {
        why = "'" + assignment + "' is not NAME=VALUE";
        return false;
    }
    const std::string name = Lower(assignment.substr(0, eq));
    const std::string value = assignment.substr(eq + 1);
    const std::string low = Lower(value);
    Settings next = s;
    int v = 0;
    if (name == "port") {
        // "3" or "COM3"
        const std::string digits = low.rfind("com", 0) == 0 ? value.substr(3) : value;
        if (!InRange(digits, kPortRange, v, why)) return false;
        next.PortNumber = v;
    } else if (name == "baud") {
        if (value == "4800")
            next.BaudCode = kBaudCode4800;
        else if (value == "9600")
            next.BaudCode = kBaudCode9600;
        else {
            why = "the bit rate is 4800 or 9600";
            return false;
        }
    } else if (name == "format") {
        int format = 0;
        for (int i = 0; i < 3; ++i)
            if (Lower(kCodeFormatNames[i]) == low || std::to_string(i + 1) == value) format = i + 1;
        if (!format) {
            why = "the format is KRW_CODE, PL_CODE or MN_CODE (or 1, 2, 3)";
            return false;
        }
        SetCodeFormat(next, format);
    } else if (name == "mode") {
        if (low == "minute" || value == "1")
            next.CorrectionMode = kModeEveryMinute;
        else if (low == "hour" || value == "2")
            next.CorrectionMode = kModeEveryHour;
        else if (low == "daily" || value == "3")
            next.CorrectionMode = kModeDailyPoints;
        else {
            why = "the mode is minute, hour or daily";
            return false;
        }
    } else if (name == "second" || name == "minute") {
        if (!InRange(value, name == "second" ? kSecondRange : kMinuteRange, v, why)) return false;
        (name == "second" ? next.CorrectionSecond : next.CorrectionMinute) = static_cast<uint8_t>(v);
    } else if (name == "points") {
        std::vector<int> points;
        for (size_t at = 0; at < value.size();) {
            const size_t comma = std::min(value.find(',', at), value.size());
            const std::string one = value.substr(at, comma - at);
            int h = 0, m = 0, sec = 0;
            if (!PointText().Parse(one, h, m, sec)) {
                why = "'" + one + "' is not a time of day H:mm:ss";
                return false;
            }
            points.push_back(h * 3600 + m * 60 + sec);
            at = comma + 1;
        }
        if (static_cast<int>(points.size()) > kMaxDailyPoints) {
            why = std::to_string(points.size()) + " points; at most " + std::to_string(kMaxDailyPoints);
            return false;
        }
        SetDailyPoints(next, points);
    } else if (name == "jump" || name == "fine") {
        if (!InRange(value, name == "jump" ? kJumpThresholdRange : kFineAdjustRange, v, why)) return false;
        if (name == "jump")
            next.JumpThreshold = static_cast<uint8_t>(v);
        else
            next.FineAdjustMs = static_cast<uint16_t>(v);
    } else if (name == "no-correct-on-jump") {
        if (low == "on" || low == "yes" || low == "true" || value == "1")
            next.NoCorrectOnJump = true;
        else if (low == "off" || low == "no" || low == "false" || value == "0")
            next.NoCorrectOnJump = false;
        else {
            why = "no-correct-on-jump is on or off";
            return false;
        }
    } else {
        std::string names;
        for (const std::string& n : SettingNames()) names += (names.empty() ? "" : ", ") + n;
        why = "no setting is called '" + name + "' (there are: " + names + ")";
        return false;
    }
    s = next;
    return true;
}

std::vector<std::string> DescribeSettings(const Settings& s, const std::function<std::string(int)>& device) {
    const auto row = [](const char* name, const std::string& value, const std::string& meaning) {
        std::string line = name;
        line.resize(20, ' ');
        line += value;
        line.resize(std::max<size_t>(line.size() + 2, 38), ' ');
        return line + meaning;
    };
    const std::string baud = s.BaudCode == kBaudCode4800   ? "4800"
                             : s.BaudCode == kBaudCode9600 ? "9600"
                                                           : "code " + std::to_string(s.BaudCode);
    const std::string format = FormatText(s.CodeFormat);
    std::string points;
    for (const std::string& p : DailyPointTexts(s, PointText())) points += (points.empty() ? "" : ",") + p;
    const auto [mode, modeMeaning] = Mode(s);
    return {
        row("port", std::to_string(s.PortNumber), "COM" + std::to_string(s.PortNumber) + ", " + device(s.PortNumber)),
        row("baud", baud, "bit/s on the line"),
        row("format", format, "the receiver's time-code format"),
        row("mode", mode, modeMeaning),
        row("second", std::to_string(s.CorrectionSecond), "second of the minute (modes minute and hour)"),
        row("minute", std::to_string(s.CorrectionMinute), "minute of the hour (mode hour)"),
        row("points", points.empty() ? "(none)" : points, "daily correction times (mode daily)"),
        row("jump", std::to_string(s.JumpThreshold), "seconds: a larger difference is a jump"),
        row("fine", std::to_string(s.FineAdjustMs), "milliseconds added to the frame's second"),
        row("no-correct-on-jump", s.NoCorrectOnJump ? "on" : "off",
            s.NoCorrectOnJump ? "a jump is logged, not corrected (but at start and on request)"
                              : "a jump is corrected too"),
    };
}

}  // namespace tkw
