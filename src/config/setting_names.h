// The stored settings by name, as the Linux program shows them
// (--show-settings) and takes them (--set NAME=VALUE), with the same ranges and
// rules as the desktop program's menu and dialogs: those and these go
// through the functions below and the ranges beside the record.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/time_of_day_text.h"

namespace tkw {

// The daily points as the settings dialog stores them: at most
// kMaxDailyPoints (more are dropped), slot i the i-th time of day (seconds
// since midnight); slots after the last keep what they held.
void SetDailyPoints(Settings& s, const std::vector<int>& secondsOfDay);

// The stored daily points as texts of `text`'s format, in slot order (never
// more than the table holds, whatever a damaged file claims).
std::vector<std::string> DailyPointTexts(const Settings& s, TimeOfDayText& text);

// When the minute and hour modes correct, in words ("every minute at second
// 31", "every hour at minute 0, second 31"); empty for the other modes.
std::string ScheduleTimes(const Settings& s);

// A code format and, as the menu does, the bit rate its receivers talk at.
void SetCodeFormat(Settings& s, int format);

// A code format's name, "KRW_CODE"; its number for one a damaged file holds.
std::string FormatText(int format);

// A baud code's bit rate, "4800" or "9600" (as baud= takes it); "baud code
// N" for any other code a damaged file may hold.
std::string BaudText(int32_t baudCode);

// The setting names --set takes, in the order --show-settings prints them.
const std::vector<std::string>& SettingNames();

// Applies one "NAME=VALUE" to `s`. False, `s` untouched and `why` saying
// what is wrong (an unknown name, a value out of range or of the wrong kind)
// otherwise.
bool ApplySetting(const std::string& assignment, Settings& s, std::string& why);

// One line per setting: its name (as --set takes it), its value and what it
// means. `device` names the device a port number stands for.
std::vector<std::string> DescribeSettings(const Settings& s, const std::function<std::string(int)>& device);

}  // namespace tkw
