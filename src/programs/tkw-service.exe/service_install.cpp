#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "headless/command_line.h"
#include "programs/tkw-service.exe/service_install.h"
#include "platform/win32_text.h"

namespace tkw {

namespace {

constexpr const wchar_t* kDisplayName = L"TKW 串口校时 (TKW serial time sync)";
constexpr const wchar_t* kDescription =
    L"按串口上的标准时间码接收机（GPS/北斗时钟）校准本机时钟。"
    L"Keeps this PC's clock in step with a time-code receiver (GPS/BeiDou clock) on a serial port.";
constexpr const wchar_t* kAccount = L"NT AUTHORITY\\LocalService";
constexpr int kFailed = 3;

std::string Utf8(const std::wstring& w) { return Utf8FromWide(w.c_str(), static_cast<int>(w.size())); }

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) out = path;
    CoTaskMemFree(path);
    return out;
}

bool StartsWithNoCase(const std::wstring& s, const std::wstring& prefix) {
    return !prefix.empty() && s.size() > prefix.size() &&
           CompareStringOrdinal(s.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                                static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL &&
           (s[prefix.size()] == L'\\' || s[prefix.size()] == L'/');
}

// The service writes its settings and logs there as LocalService: modify
// rights for it on the directory, inherited by everything in it (files an
// administrator makes there later with --set included).
DWORD OpenToLocalService(const std::wstring& dir) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!CreateWellKnownSid(WinLocalServiceSid, nullptr, sid, &sidSize)) return GetLastError();
    PACL oldDacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    DWORD r = GetNamedSecurityInfoW(dir.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                    &oldDacl, nullptr, &sd);
    if (r != ERROR_SUCCESS) return r;
    EXPLICIT_ACCESS_W ea{};
    ea.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    ea.grfAccessMode = GRANT_ACCESS;
    ea.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    ea.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    ea.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    ea.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid);
    PACL newDacl = nullptr;
    r = SetEntriesInAclW(1, &ea, oldDacl, &newDacl);
    if (r == ERROR_SUCCESS)
        r = SetNamedSecurityInfoW(const_cast<LPWSTR>(dir.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                  nullptr, nullptr, newDacl, nullptr);
    LocalFree(newDacl);
    LocalFree(sd);
    return r;
}

class Handle {
public:
    explicit Handle(SC_HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_) CloseServiceHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SC_HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_;
};

int Refused(Console& console, const char* what, DWORD error) {
    if (error == ERROR_ACCESS_DENIED)
        console.Err(std::string("tkw-service: ") + what +
                    " needs a console run as administrator: right-click Command Prompt, choose \"Run as "
                    "administrator\", and run it there again");
    else
        console.Err(std::string("tkw-service: ") + what + ": the service manager refused: " + SystemErrorText(error));
    return kFailed;
}

}  // namespace

int InstallService(const HeadlessOptions& options, Console& console) {
    // Before anything is made: without an administrator's rights nothing is.
    Handle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!scm) return Refused(console, "install", GetLastError());

    std::wstring dir = options.dir.empty() ? KnownFolder(FOLDERID_ProgramData) + L"\\TKW" : WideFromUtf8(options.dir);
    wchar_t full[MAX_PATH * 4];
    const DWORD n = GetFullPathNameW(dir.c_str(), MAX_PATH * 4, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 4) {
        console.Err("tkw-service: install: the directory " + Utf8(dir) + " cannot be used: " +
                    SystemErrorText(GetLastError()));
        return kFailed;
    }
    dir = full;
    while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    const int made = SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS && made != ERROR_FILE_EXISTS) {
        console.Err("tkw-service: install: the directory " + Utf8(dir) + " cannot be made: " +
                    SystemErrorText(static_cast<DWORD>(made)));
        return kFailed;
    }
    if (const DWORD r = OpenToLocalService(dir); r != ERROR_SUCCESS)
        console.Err("tkw-service: install: LocalService could not be given the right to write in " + Utf8(dir) +
                    " (" + SystemErrorText(r) + "); give it modify rights there, or the service cannot save");

    wchar_t exe[MAX_PATH * 4];
    const DWORD exeLen = GetModuleFileNameW(nullptr, exe, MAX_PATH * 4);
    if (exeLen == 0 || exeLen >= MAX_PATH * 4) {
        console.Err("tkw-service: install: this program's own path cannot be read: " + SystemErrorText(GetLastError()));
        return kFailed;
    }
    // LocalService cannot read inside the users' folders.
    if (StartsWithNoCase(exe, KnownFolder(FOLDERID_UserProfiles)))
        console.Err("tkw-service: install: " + Utf8(exe) +
                    " lies in a user's folder, which the service's account cannot read; copy it to a folder such "
                    "as C:\\Program Files\\TKW and install from there");

    std::vector<std::string> args{Utf8(exe), "service", "--dir", Utf8(dir)};
    args.insert(args.end(), options.runArgs.begin(), options.runArgs.end());
    const std::wstring commandLine = WideFromUtf8(WindowsCommandLine(args));

    Handle svc(CreateServiceW(scm.get(), kServiceName, kDisplayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
                              nullptr, kAccount, nullptr));
    if (!svc) {
        const DWORD error = GetLastError();
        if (error == ERROR_SERVICE_EXISTS || error == ERROR_DUPLICATE_SERVICE_NAME) {
            console.Err("tkw-service: install: a service named TKW is installed already; \"tkw-service uninstall\" "
                        "removes it");
            return kFailed;
        }
        return Refused(console, "install", error);
    }
    SERVICE_DESCRIPTIONW description{const_cast<LPWSTR>(kDescription)};
    ChangeServiceConfig2W(svc.get(), SERVICE_CONFIG_DESCRIPTION, &description);
    // Restarted 5 s after each failure (the last action repeats for every
    // failure after it); the count starts again after a day without one.
    SC_ACTION restart{SC_ACTION_RESTART, 5000};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 24 * 60 * 60;
    failure.cActions = 1;
    failure.lpsaActions = &restart;
    if (!ChangeServiceConfig2W(svc.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &failure))
        console.Err("tkw-service: install: the restart after a failure could not be set: " +
                    SystemErrorText(GetLastError()));

    const std::string d = QuoteWindowsArgument(Utf8(dir));
    console.Out("tkw-service: installed the service \"TKW\": it starts at boot as NT AUTHORITY\\LocalService, "
                "working in " + Utf8(dir));
    console.Out("  its command line: " + Utf8(commandLine));
    console.Out("  set the port and format first:  tkw-service --dir " + d + " --set port=N format=KRW_CODE");
    console.Out("  then start it now:              sc start TKW");
    return 0;
}

int UninstallService(Console& console) {
    Handle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!scm) return Refused(console, "uninstall", GetLastError());
    Handle svc(OpenServiceW(scm.get(), kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (!svc) {
        const DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            console.Out("tkw-service: no service named TKW is installed; nothing to remove");
            return 0;
        }
        return Refused(console, "uninstall", error);
    }
    SERVICE_STATUS status{};
    if (QueryServiceStatus(svc.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
        ControlService(svc.get(), SERVICE_CONTROL_STOP, &status);
        // It stops within a second or two; a service stuck on its way is
        // removed all the same, once it ends.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (QueryServiceStatus(svc.get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        if (status.dwCurrentState != SERVICE_STOPPED)
            console.Err("tkw-service: uninstall: the service has not stopped yet; it is removed once it does");
    }
    if (!DeleteService(svc.get())) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_MARKED_FOR_DELETE) return Refused(console, "uninstall", error);
    }
    console.Out("tkw-service: removed the service \"TKW\"; its directory, with the settings and logs, stays");
    return 0;
}

int AskServiceToCorrect(Console& console) {
    // A service's default access list lets every user send it its own
    // control codes: no administrator's console is needed, unless that list
    // was narrowed.
    Handle scm(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    Handle svc(scm ? OpenServiceW(scm.get(), kServiceName, SERVICE_USER_DEFINED_CONTROL) : nullptr);
    SERVICE_STATUS status{};
    if (svc && ControlService(svc.get(), kCorrectNowControl, &status)) {
        console.Out("tkw-service: asked the service TKW to correct the clock at its next accepted frame");
        return 0;
    }
    const DWORD error = GetLastError();
    std::string why;
    switch (error) {
        case ERROR_SERVICE_DOES_NOT_EXIST: why = "no service named TKW is installed"; break;
        case ERROR_SERVICE_NOT_ACTIVE: why = "the service TKW is not running (sc start TKW starts it)"; break;
        case ERROR_SERVICE_CANNOT_ACCEPT_CTRL: why = "the service TKW is starting or stopping; ask again in a moment"; break;
        case ERROR_INVALID_SERVICE_CONTROL:
            why = "the service TKW does not take this request (a version before --correct-now?)";
            break;
        case ERROR_ACCESS_DENIED:
            why = "this account may not ask the service TKW: run it in a console run as administrator";
            break;
        default: why = "the service manager refused: " + SystemErrorText(error);
    }
    console.Err("tkw-service: --correct-now: " + why);
    return 1;
}

}  // namespace tkw
