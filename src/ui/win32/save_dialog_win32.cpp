#include "ui/win32/save_dialog_win32.h"

#include <windows.h>

#include <commdlg.h>

#include <string>

#include "platform/win32_text.h"

namespace tkw {

std::optional<std::string> Win32SaveDialog::AskSavePath(const std::string& filterLabel, const std::string& pattern,
                                                        const std::string& defaultExt) {
    // "label\0pattern\0\0"
    std::wstring filter = WideFromUtf8(filterLabel);
    filter.push_back(L'\0');
    filter += WideFromUtf8(pattern);
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring ext = WideFromUtf8(defaultExt);
    std::wstring file(32768, L'\0');

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrDefExt = ext.c_str();
    // No question before replacing a file; and the working directory stays
    // where it is, since the settings and the logs are named relative to it.
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn)) return std::nullopt;
    return Utf8FromWide(file.c_str(), -1);
}

}  // namespace tkw
