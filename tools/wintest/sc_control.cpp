// tkw-sc-control.exe NAME CODE: what `sc control NAME CODE` does on Windows,
// for the Wine tests (Wine's sc.exe has no "control"): sends the service NAME
// the control code CODE and says what the service manager answered. Exit 0
// when the service took it, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tkw-sc-control NAME CODE\n");
        return 2;
    }
    const DWORD code = std::wcstoul(argv[2], nullptr, 10);
    SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = scm ? OpenServiceW(scm, argv[1], SERVICE_USER_DEFINED_CONTROL) : nullptr;
    SERVICE_STATUS status{};
    const bool taken = service && ControlService(service, code, &status);
    const DWORD error = taken ? 0 : GetLastError();
    if (service) CloseServiceHandle(service);
    if (scm) CloseServiceHandle(scm);
    if (!taken) {
        std::printf("[SC] ControlService FAILED %lu\n", static_cast<unsigned long>(error));
        return 1;
    }
    std::printf("[SC] ControlService SUCCESS: state %lu\n", static_cast<unsigned long>(status.dwCurrentState));
    return 0;
}
