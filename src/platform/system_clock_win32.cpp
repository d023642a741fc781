#include <windows.h>

#include "platform/system_clock.h"
#include "platform/win32_text.h"

namespace tkw {

namespace {

SystemTime FromWin32(const SYSTEMTIME& st) {
    SystemTime t;
    t.wYear = st.wYear;
    t.wMonth = st.wMonth;
    t.wDayOfWeek = st.wDayOfWeek;
    t.wDay = st.wDay;
    t.wHour = st.wHour;
    t.wMinute = st.wMinute;
    t.wSecond = st.wSecond;
    t.wMilliseconds = st.wMilliseconds;
    return t;
}

}  // namespace

SystemTime SystemClock::GetLocalTime() {
    SYSTEMTIME st{};
    ::GetLocalTime(&st);
    return FromWin32(st);
}

// GetSystemTimePreciseAsFileTime (Windows 8 and later) where the system has
// it, for a reading finer than the tick; the plain one otherwise.
int64_t SystemClock::GetLocalMicros() {
    using PreciseFn = VOID(WINAPI*)(LPFILETIME);
    static const PreciseFn precise = reinterpret_cast<PreciseFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME utc{}, local{};
    if (precise)
        precise(&utc);
    else
        ::GetSystemTimeAsFileTime(&utc);
    SYSTEMTIME st{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st)) return 0;
    const SystemTime t = FromWin32(st);
    const uint64_t ticks = (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;  // 100 ns
    return IsValid(t) ? ToLocalMs(t) * 1000 + static_cast<int64_t>(ticks / 10 % 1000) : 0;
}

// Needs the right to change the system time (SeSystemtimePrivilege, which an
// administrator's elevated process holds); without it Windows refuses with
// ERROR_PRIVILEGE_NOT_HELD and LastError() carries its text.
bool SystemClock::SetLocalTime(const SystemTime& t) {
    if (!IsValid(t)) {
        lastError_ = SystemErrorText(ERROR_INVALID_PARAMETER);
        return false;
    }
    SYSTEMTIME st{};
    st.wYear = t.wYear;
    st.wMonth = t.wMonth;
    st.wDayOfWeek = t.wDayOfWeek;  // ignored by the system
    st.wDay = t.wDay;
    st.wHour = t.wHour;
    st.wMinute = t.wMinute;
    st.wSecond = t.wSecond;
    st.wMilliseconds = t.wMilliseconds;
    if (!::SetLocalTime(&st)) {
        lastError_ = SystemErrorText(GetLastError());
        return false;
    }
    return true;
}

}  // namespace tkw
