#include <windows.h>

#include <vector>

#include "platform/win32_text.h"
#include "platform/windows_time_service.h"

namespace tkw {

// Only the rights to look are asked for: any user may query a service's
// state and configuration and read its parameters.
WindowsTimeService ReadWindowsTimeService() {
    WindowsTimeService s;
    if (SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT)) {
        if (SC_HANDLE svc = OpenServiceW(scm, L"W32Time", SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG)) {
            s.installed = true;
            SERVICE_STATUS status{};
            if (QueryServiceStatus(svc, &status)) s.running = status.dwCurrentState != SERVICE_STOPPED;
            DWORD need = 0;
            QueryServiceConfigW(svc, nullptr, 0, &need);
            std::vector<unsigned char> buf(need);
            auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf.data());
            if (need && QueryServiceConfigW(svc, config, need, &need))
                s.automatic = config->dwStartType == SERVICE_AUTO_START;
            CloseServiceHandle(svc);
        }
        CloseServiceHandle(scm);
    }
    wchar_t type[64] = {};
    DWORD size = sizeof type;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters", L"Type",
                     RRF_RT_REG_SZ, nullptr, type, &size) == ERROR_SUCCESS) {
        s.typeRead = true;
        s.type = Utf8FromWide(type, -1);
    }
    return s;
}

}  // namespace tkw
