#include "platform/systime.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace tkw {
namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
constexpr int64_t kEpochDays = -25569;

void Put2(char* out, unsigned v) {
    out[0] = static_cast<char>('0' + (v / 10) % 10);
    out[1] = static_cast<char>('0' + v % 10);
}

void Put4(char* out, unsigned v) {
    Put2(out, (v / 100) % 100);
    Put2(out + 2, v % 100);
}

}  // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValid(const SystemTime& t) {
    return t.wYear >= 1 && t.wYear <= 9999 && t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 &&
           t.wDay <= DaysInMonth(t.wYear, t.wMonth) && t.wHour <= 23 && t.wMinute <= 59 &&
           t.wSecond <= 59 && t.wMilliseconds <= 999;
}

LocalMs ToLocalMs(const SystemTime& t) {
    const int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kEpochDays;
    return days * kMsPerDay + ((t.wHour * 60LL + t.wMinute) * 60 + t.wSecond) * 1000 + t.wMilliseconds;
}

SystemTime FromLocalMs(LocalMs ms) {
    int64_t days = ms / kMsPerDay;
    int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    int y = 0, m = 0, d = 0;
    const int64_t unixDays = days + kEpochDays;
    CivilFromDays(unixDays, y, m, d);
    SystemTime t;
    t.wYear = static_cast<uint16_t>(y);
    t.wMonth = static_cast<uint16_t>(m);
    t.wDay = static_cast<uint16_t>(d);
    // 1970-01-01 was a Thursday.
    t.wDayOfWeek = static_cast<uint16_t>(((unixDays % 7) + 11) % 7);
    t.wHour = static_cast<uint16_t>(rest / 3'600'000);
    t.wMinute = static_cast<uint16_t>(rest / 60'000 % 60);
    t.wSecond = static_cast<uint16_t>(rest / 1000 % 60);
    t.wMilliseconds = static_cast<uint16_t>(rest % 1000);
    return t;
}

double ToDateTime(LocalMs ms) {
    return static_cast<double>(ms) / static_cast<double>(kMsPerDay);
}

bool TimeOfDay(double dateTime, int& hour, int& minute, int& second) {
    // Beyond 9999-12-31 a date-time value means nothing; the bound also keeps
    // the conversion to an integer defined.
    if (!std::isfinite(dateTime) || std::fabs(dateTime) > 2'958'466.0) return false;
    const int64_t ms = std::llround(dateTime * static_cast<double>(kMsPerDay));
    const int64_t tod = (ms < 0 ? -ms : ms) % kMsPerDay;
    hour = static_cast<int>(tod / 3'600'000);
    minute = static_cast<int>(tod / 60'000 % 60);
    second = static_cast<int>(tod / 1000 % 60);
    return true;
}

size_t FormatDateTime(const SystemTime& t, char* out) {
    Put4(out, t.wYear);
    out[4] = '-';
    Put2(out + 5, t.wMonth);
    out[7] = '-';
    Put2(out + 8, t.wDay);
    out[10] = ' ';
    FormatHms(t, out + 11);
    return 19;
}

size_t FormatHms(const SystemTime& t, char* out) {
    Put2(out, t.wHour);
    out[2] = ':';
    Put2(out + 3, t.wMinute);
    out[5] = ':';
    Put2(out + 6, t.wSecond);
    return 8;
}

size_t FormatHnnss(const SystemTime& t, char* out) {
    size_t n = 0;
    if (t.wHour >= 10) out[n++] = static_cast<char>('0' + (t.wHour / 10) % 10);
    out[n++] = static_cast<char>('0' + t.wHour % 10);
    out[n++] = ':';
    Put2(out + n, t.wMinute);
    n += 2;
    out[n++] = ':';
    Put2(out + n, t.wSecond);
    return n + 2;
}

size_t FormatWithMs(const SystemTime& t, char* out) {
    FormatDateTime(t, out);
    out[19] = '.';
    out[20] = static_cast<char>('0' + (t.wMilliseconds / 100) % 10);
    Put2(out + 21, t.wMilliseconds % 100);
    return 23;
}

std::string DateTimeText(const SystemTime& t) {
    char buf[19];
    return std::string(buf, FormatDateTime(t, buf));
}

std::string WithMsText(const SystemTime& t) {
    char buf[23];
    return std::string(buf, FormatWithMs(t, buf));
}

bool ParseWithMs(const std::string& text, SystemTime& out) {
    auto digits = [&](size_t pos, size_t count, uint16_t& value) {
        if (pos + count > text.size()) return false;
        unsigned v = 0;
        for (size_t i = pos; i < pos + count; ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            v = v * 10 + static_cast<unsigned>(text[i] - '0');
        }
        value = static_cast<uint16_t>(v);
        return true;
    };
    if (text.size() != 19 && text.size() != 23) return false;
    SystemTime t;
    if (!digits(0, 4, t.wYear) || text[4] != '-' || !digits(5, 2, t.wMonth) || text[7] != '-' ||
        !digits(8, 2, t.wDay) || text[10] != ' ' || !digits(11, 2, t.wHour) || text[13] != ':' ||
        !digits(14, 2, t.wMinute) || text[16] != ':' || !digits(17, 2, t.wSecond))
        return false;
    if (text.size() == 23 && (text[19] != '.' || !digits(20, 3, t.wMilliseconds))) return false;
    if (!IsValid(t)) return false;
    out = FromLocalMs(ToLocalMs(t));
    return true;
}

bool LocalToUnixSeconds(const SystemTime& t, int64_t& seconds) {
    if (!IsValid(t)) return false;
    std::tm local{};
    local.tm_year = t.wYear - 1900;
    local.tm_mon = t.wMonth - 1;
    local.tm_mday = t.wDay;
    local.tm_hour = t.wHour;
    local.tm_min = t.wMinute;
    local.tm_sec = t.wSecond;
    local.tm_isdst = -1;  // the zone's rules say whether daylight saving is in force
    errno = 0;
    const std::time_t s = std::mktime(&local);
    // -1 is also 1969-12-31 23:59:59 UTC: only errno tells a failure.
    if (s == static_cast<std::time_t>(-1) && errno != 0) return false;
    seconds = static_cast<int64_t>(s);
    return true;
}

}  // namespace tkw
