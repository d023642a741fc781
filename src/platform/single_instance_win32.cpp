#include <windows.h>

#include "platform/single_instance.h"
#include "platform/win32_text.h"

namespace tkw {

// A named mutex in the global namespace, so that one lock holds across the
// sessions: the service (session 0) and tkw.exe in any user's session. Any
// user may create a mutex there (only file mappings and symbolic links need
// SeCreateGlobalPrivilege). The system deletes it when the last handle goes,
// so a crashed copy never leaves a stale lock. Our handle stays open as long
// as this object, which the program keeps for its whole run.
bool SingleInstance::Acquire(const std::string& name) {
    HANDLE h = CreateMutexW(nullptr, FALSE, WideFromUtf8("Global\\" + name).c_str());
    if (h == nullptr) {
        // Refused access: the mutex exists and belongs to a copy running under
        // other rights (the service as LocalService, an elevated tkw.exe).
        // Anything else: cannot tell, and rather run than refuse.
        return GetLastError() != ERROR_ACCESS_DENIED;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(h);
        return false;
    }
    handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

SingleInstance::~SingleInstance() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace tkw
