#include <windows.h>

#include <cstdio>

#include "programs/e2e/e2e_clock.h"

namespace tkw {

long long HostNs() {
    FILETIME ft{};
    GetSystemTimePreciseAsFileTime(&ft);
    const long long t = (static_cast<long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (t - 116444736000000000LL) * 100;
}

bool LogClockStep(const SystemTime& t, bool refuse) {
    const long long at = HostNs();
    if (FILE* f = _wfopen(L"clock.log", L"ab")) {
        std::fprintf(f, "%s %s %lld\r\n", refuse ? "REFUSED" : "SET", WithMsText(t).c_str(), at);
        std::fclose(f);
    }
    return !refuse;
}

}  // namespace tkw
