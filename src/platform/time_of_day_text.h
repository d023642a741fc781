// The text of a time of day as the user's system writes it, both ways: the
// daily correction points are shown and read back in it. On Windows it is the
// user's long time format; elsewhere hours:minutes:seconds ("7:30:00").
#pragma once

#include <memory>
#include <string>

namespace tkw {

class TimeOfDayText {
public:
    virtual ~TimeOfDayText() = default;
    virtual std::string Format(int hour, int minute, int second) = 0;
    // False (outputs untouched) for a text the format does not read.
    virtual bool Parse(const std::string& text, int& hour, int& minute, int& second) = 0;
};

// A time format picture as Windows writes them: h and hh (12-hour clock), H
// and HH (24-hour), m, mm, s, ss, t and tt (the AM/PM designator, or its first
// character), text in single quotes, anything else as it stands. Formatting
// and parsing follow the same picture, so every time of day it formats reads
// back as itself (a picture without seconds reads them as 0).
class PatternTimeText final : public TimeOfDayText {
public:
    explicit PatternTimeText(std::string pattern, std::string am = "AM", std::string pm = "PM")
        : pattern_(std::move(pattern)), am_(std::move(am)), pm_(std::move(pm)) {}
    std::string Format(int hour, int minute, int second) override;
    bool Parse(const std::string& text, int& hour, int& minute, int& second) override;

private:
    std::string pattern_, am_, pm_;
};

// The system's: Windows' user long time format, "H:mm:ss" elsewhere.
std::unique_ptr<TimeOfDayText> SystemTimeOfDayText();

}  // namespace tkw
