#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "platform/single_instance.h"
#include "platform/win32_text.h"

namespace tkw {

// The claim is a named mutex in the global namespace, so that one lock holds
// across the sessions: the service (session 0) and tkw.exe in any user's
// session. The system deletes it when the last handle goes, so a crashed copy
// never leaves a stale lock. Our handle stays open as long as this object,
// which the program keeps for its whole run.
//
// Any local user may create a mutex there (only file mappings and symbolic
// links need SeCreateGlobalPrivilege): of our name, before us, with an access
// list that shuts everyone out, or an object of another kind under that name.
// The name alone cannot tell a running copy from such a squatter; the
// object's owner can. The system takes a new object's owner from the
// creator's token only: its user, or a group the token may assign as owner
// (SE_GROUP_OWNER). So an object owned by SYSTEM, LocalService,
// NetworkService or the Administrators group was made by a service or an
// elevated administrator's program, never by an ordinary user. Our copies
// make the mutex owned by the most privileged of those their token holds,
// open to everyone for SYNCHRONIZE and READ_CONTROL (any other copy, any
// user's, can look at its owner), labelled medium integrity (so that an
// administrator's copy is not kept from looking by the integrity of the
// service that made it). A copy that finds the name taken reads the holder's
// owner, and DecideLock says what to do.
namespace {

// All a copy asks of the mutex: enough to hold it and to read its owner.
constexpr DWORD kLookAccess = SYNCHRONIZE | READ_CONTROL;

std::vector<BYTE> TokenInfo(HANDLE token, TOKEN_INFORMATION_CLASS what) {
    DWORD size = 0;
    GetTokenInformation(token, what, nullptr, 0, &size);
    std::vector<BYTE> info(size);
    if (size == 0 || !GetTokenInformation(token, what, info.data(), size, &size)) info.clear();
    return info;
}

struct OurRights {
    // SeSystemtimePrivilege in the token, enabled or not (the clock enables
    // it when it steps): administrators elevated, LocalService, SYSTEM.
    bool maySetClock = false;
    // The owner our mutex gets, as an SDDL alias; empty: the token's default.
    std::wstring owner;
};

OurRights ReadOurRights() {
    OurRights rights;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return rights;
    LUID systemtime{};
    const std::vector<BYTE> privileges = TokenInfo(token, TokenPrivileges);
    if (!privileges.empty() && LookupPrivilegeValueW(nullptr, SE_SYSTEMTIME_NAME, &systemtime)) {
        const auto* list = reinterpret_cast<const TOKEN_PRIVILEGES*>(privileges.data());
        for (DWORD i = 0; i < list->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& p = list->Privileges[i];
            if (p.Luid.LowPart == systemtime.LowPart && p.Luid.HighPart == systemtime.HighPart &&
                (p.Attributes & SE_PRIVILEGE_REMOVED) == 0)
                rights.maySetClock = true;
        }
    }
    const std::vector<BYTE> user = TokenInfo(token, TokenUser);
    if (!user.empty()) {
        PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
        if (IsWellKnownSid(sid, WinLocalSystemSid))
            rights.owner = L"SY";
        else if (IsWellKnownSid(sid, WinLocalServiceSid))
            rights.owner = L"LS";
        else if (IsWellKnownSid(sid, WinNetworkServiceSid))
            rights.owner = L"NS";
    }
    // An elevated administrator: the group enabled and assignable as owner.
    // Not so in an administrator's filtered token (deny-only there), nor in
    // anyone else's.
    const std::vector<BYTE> groups = TokenInfo(token, TokenGroups);
    if (rights.owner.empty() && !groups.empty()) {
        const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
        for (DWORD i = 0; i < list->GroupCount; ++i) {
            const DWORD a = list->Groups[i].Attributes;
            if (IsWellKnownSid(list->Groups[i].Sid, WinBuiltinAdministratorsSid) && (a & SE_GROUP_OWNER) &&
                (a & SE_GROUP_ENABLED) && !(a & SE_GROUP_USE_FOR_DENY_ONLY))
                rights.owner = L"BA";
        }
    }
    CloseHandle(token);
    return rights;
}

// Creates the mutex, or opens the one of that name; `error` is
// GetLastError()'s word on it (ERROR_ALREADY_EXISTS: opened). Where the
// system refuses a part of the description (an owner or a label it will not
// take), again with the plainest one, owned by the token's default.
HANDLE CreateLock(const std::wstring& name, const std::wstring& owner, DWORD& error) {
    const std::wstring full = (owner.empty() ? L"" : L"O:" + owner) + L"D:(A;;0x120000;;;WD)S:(ML;;NW;;;ME)";
    for (const wchar_t* form : {full.c_str(), L"D:(A;;0x120000;;;WD)"}) {
        PSECURITY_DESCRIPTOR sd = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(form, SDDL_REVISION_1, &sd, nullptr)) {
            error = GetLastError();
            continue;
        }
        SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
        SetLastError(ERROR_SUCCESS);
        HANDLE h = CreateMutexExW(&sa, name.c_str(), 0, kLookAccess);
        error = GetLastError();
        LocalFree(sd);
        // Refused access, or an object of another kind: the name is taken.
        if (h != nullptr || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_HANDLE) return h;
    }
    return nullptr;
}

bool IsClockSetter(PSID owner) {
    for (WELL_KNOWN_SID_TYPE kind :
         {WinLocalSystemSid, WinLocalServiceSid, WinNetworkServiceSid, WinBuiltinAdministratorsSid})
        if (IsWellKnownSid(owner, kind)) return true;
    return false;
}

// The account's name and SID, for a message that lets an administrator find
// the program.
std::string AccountText(PSID sid) {
    std::string text;
    LPWSTR sidText = nullptr;
    if (ConvertSidToStringSidW(sid, &sidText)) {
        text = Utf8FromWide(sidText, -1);
        LocalFree(sidText);
    }
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        text = (domain[0] ? Utf8FromWide(domain, -1) + "\\" : std::string()) + Utf8FromWide(name, -1) + " (" + text + ")";
    return text.empty() ? "an account that cannot be named" : text;
}

// Who made the mutex we opened, and in words.
LockHolder HolderOf(HANDLE mutex, std::string& who) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &sd) != ERROR_SUCCESS ||
        owner == nullptr) {
        if (sd) LocalFree(sd);
        who = "held by a program whose account cannot be read";
        return LockHolder::Other;
    }
    const LockHolder holder = IsClockSetter(owner) ? LockHolder::ClockSetter : LockHolder::Other;
    who = "held by " + AccountText(owner);
    LocalFree(sd);
    return holder;
}

}  // namespace

bool SingleInstance::Acquire(const std::string& name) {
    weakness_.clear();
    const std::string fullName = "Global\\" + name;
    const OurRights rights = ReadOurRights();
    DWORD error = ERROR_SUCCESS;
    HANDLE h = CreateLock(WideFromUtf8(fullName), rights.owner, error);
    LockHolder holder = LockHolder::Unknown;
    std::string who;
    if (h != nullptr && error != ERROR_ALREADY_EXISTS) {
        holder = LockHolder::Nobody;
    } else if (h != nullptr) {
        holder = HolderOf(h, who);
    } else if (error == ERROR_ACCESS_DENIED) {
        // None of our copies shuts anyone out.
        holder = LockHolder::Other;
        who = "held by a program that lets no other program open it";
    } else if (error == ERROR_INVALID_HANDLE) {
        holder = LockHolder::Other;
        who = "taken by an object of another kind than ours";
    }

    switch (DecideLock(holder, rights.maySetClock)) {
        case LockVerdict::Acquire: break;
        case LockVerdict::Refuse:
            if (h) CloseHandle(h);
            return false;
        case LockVerdict::RunWeak:
            weakness_ = holder == LockHolder::Unknown
                            ? fullName + ": " + SystemErrorText(error) + "; running without the single-instance lock"
                            : "the single-instance lock " + fullName + " is " + who +
                                  ", not by a program that can set the clock: running all the same, though while "
                                  "it stays a second clock-setting copy would not be stopped";
            break;
    }
    // Kept open when another's too: the name stays taken for the ordinary
    // users' copies after that program ends.
    if (h) handle_ = reinterpret_cast<intptr_t>(h);
    return true;
}

SingleInstance::~SingleInstance() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

// The service is asked through its service manager instead.
void SingleInstance::Announce() {}
void SingleInstance::DropCallers() {}

}  // namespace tkw
