#include <cerrno>
#include <cstring>
#include <ctime>

#include "platform/system_clock.h"

namespace tkw {

namespace {

SystemTime LocalTimeOf(const timespec& ts) {
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    SystemTime t;
    t.wYear = static_cast<uint16_t>(local.tm_year + 1900);
    t.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    t.wDay = static_cast<uint16_t>(local.tm_mday);
    t.wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
    t.wHour = static_cast<uint16_t>(local.tm_hour);
    t.wMinute = static_cast<uint16_t>(local.tm_min);
    t.wSecond = static_cast<uint16_t>(local.tm_sec > 59 ? 59 : local.tm_sec);  // a leap second reads as :59
    t.wMilliseconds = static_cast<uint16_t>(ts.tv_nsec / 1'000'000);
    return t;
}

}  // namespace

SystemTime SystemClock::GetLocalTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return LocalTimeOf(ts);
}

int64_t SystemClock::GetLocalMicros() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const SystemTime t = LocalTimeOf(ts);
    return IsValid(t) ? ToLocalMs(t) * 1000 + ts.tv_nsec / 1000 % 1000 : 0;
}

bool SystemClock::SetLocalTime(const SystemTime& t) {
    if (!IsValid(t)) {
        lastError_ = std::strerror(EINVAL);
        return false;
    }
    int64_t seconds = 0;
    if (!LocalToUnixSeconds(t, seconds)) {
        lastError_ = std::strerror(errno != 0 ? errno : EOVERFLOW);
        return false;
    }
    const timespec ts{static_cast<time_t>(seconds), static_cast<long>(t.wMilliseconds) * 1'000'000};
    if (clock_settime(CLOCK_REALTIME, &ts) != 0) {
        lastError_ = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace tkw
