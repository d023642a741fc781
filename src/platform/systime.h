// Local date-time values as the program uses them.
//
// SystemTime mirrors the Win32 SYSTEMTIME record: the clock is read into it and
// set from it. Arithmetic is done on whole milliseconds (LocalMs, counted from
// 1899-12-30 00:00, the epoch of the stored date-time doubles) so that adding a
// processing delay or converting back and forth never loses a millisecond.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tkw {

struct SystemTime {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;  // 0 = Sunday
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;

    bool operator==(const SystemTime&) const = default;
};

// Milliseconds since 1899-12-30 00:00:00.000 local time (negative before it).
using LocalMs = int64_t;

constexpr int64_t kMsPerDay = 86'400'000;

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// True when year 1..9999, month, day, hour, minute, second and millisecond name
// a real instant (wDayOfWeek is not looked at).
bool IsValid(const SystemTime& t);

// Exact conversions. ToLocalMs requires IsValid(t); FromLocalMs fills every
// field, the weekday included, and is defined for years 1..9999.
LocalMs ToLocalMs(const SystemTime& t);
SystemTime FromLocalMs(LocalMs ms);
constexpr LocalMs kMinLocalMs = -693'593LL * kMsPerDay;             // 0001-01-01
constexpr LocalMs kMaxLocalMs = 2'958'466LL * kMsPerDay - 1;        // 9999-12-31 23:59:59.999

// The seconds since 1970-01-01 UTC of a valid local date-time, by the
// system's time-zone rules (daylight saving included). False when the system
// cannot place it.
bool LocalToUnixSeconds(const SystemTime& t, int64_t& seconds);

// The stored date-time double (days since 1899-12-30, fraction = time of day).
double ToDateTime(LocalMs ms);

// The time of day held in a stored date-time double, rounded to the
// millisecond as the stored format's readers always have done. Returns false
// (and leaves the outputs alone) for a value that is not a usable date-time:
// NaN, infinities or a magnitude beyond the year 9999.
bool TimeOfDay(double dateTime, int& hour, int& minute, int& second);

// Text helpers. Each writes into a caller's buffer and returns the length, so
// that hot paths can format without allocating.
// "yyyy-mm-dd hh:nn:ss" (19 characters)
size_t FormatDateTime(const SystemTime& t, char* out);
// "hh:mm:ss" (8 characters)
size_t FormatHms(const SystemTime& t, char* out);
// "h:nn:ss" (7 or 8 characters)
size_t FormatHnnss(const SystemTime& t, char* out);
// "YYYY-MM-DD hh:mm:ss.zzz" (23 characters)
size_t FormatWithMs(const SystemTime& t, char* out);

std::string DateTimeText(const SystemTime& t);
std::string WithMsText(const SystemTime& t);

// Parses "YYYY-MM-DD hh:mm:ss.zzz" (the milliseconds may be left out).
bool ParseWithMs(const std::string& text, SystemTime& out);

}  // namespace tkw
