#include "forms/win32/help_file.h"

#include <windows.h>

namespace tkw {

std::wstring FindHelpFile(const std::wstring& name) {
    const auto isFile = [](const std::wstring& path) {
        const DWORD a = GetFileAttributesW(path.c_str());
        return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
    };
    const auto fullPath = [](const std::wstring& path) {
        const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
        if (n == 0) return std::wstring();
        std::wstring full(n, L'\0');
        const DWORD got = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
        if (got == 0 || got >= n) return std::wstring();
        full.resize(got);
        return full;
    };
    if (name.empty()) return {};
    // WinHelp is given a full path: a bare name it would look for along its
    // own search path instead of where the program looked.
    if (const std::wstring here = fullPath(name); !here.empty() && isFile(here)) return here;
    const bool bare = name.find_first_of(L"\\/:") == std::wstring::npos;
    if (!bare) return {};
    std::wstring exe(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
        if (n == 0) return {};
        if (n < exe.size()) {
            exe.resize(n);
            break;
        }
        exe.resize(exe.size() * 2);  // a long path was cut short
    }
    const size_t slash = exe.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    const std::wstring beside = exe.substr(0, slash + 1) + name;
    return isFile(beside) ? beside : std::wstring();
}

}  // namespace tkw
