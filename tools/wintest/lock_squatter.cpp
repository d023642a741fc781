// tkw-lock-squatter.exe NAME FORM: takes Global\NAME before TKW does, as a
// local user without any privilege could, and keeps it until killed. FORM:
//   mutex  a mutex of another user's that anyone may look at (as an
//          ordinary user's program, or tkw.exe not run as administrator)
//   deny   a mutex of another user's that lets no one open it
//   event  an object of another kind under the name
// On Windows the squatter's own account would own it; Wine runs every
// program as one user and lets any owner be set, so another user's account
// is named here. Prints "ready" once the name is taken.
#include <windows.h>

#include <sddl.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tkw-lock-squatter NAME mutex|deny|event\n");
        return 2;
    }
    const std::wstring name = std::wstring(L"Global\\") + argv[1];
    const std::wstring form = argv[2];
    const wchar_t* sddl = form == L"deny" ? L"O:S-1-5-21-1-2-3-1001D:" : L"O:S-1-5-21-1-2-3-1001D:(A;;0x120000;;;WD)";
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return 1;
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    SetLastError(ERROR_SUCCESS);
    HANDLE h = form == L"event" ? CreateEventW(&sa, TRUE, FALSE, name.c_str()) : CreateMutexW(&sa, FALSE, name.c_str());
    if (h == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "could not take the name first: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
