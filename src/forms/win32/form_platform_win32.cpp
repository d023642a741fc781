#include "forms/win32/form_platform_win32.h"

#include <shellapi.h>

#include "forms/strip_form.h"
#include "forms/win32/help_file.h"
#include "platform/message_box.h"
#include "platform/win32_text.h"
#include "ui/win32/popup_menu.h"

namespace tkw {

Win32FormPlatform::Win32FormPlatform(HINSTANCE inst) : inst_(inst), trayIcon_(AppIcon(inst, IconSize::Small)) {}

Win32FormPlatform::~Win32FormPlatform() {
    hosts_.clear();
    if (trayIcon_) DestroyIcon(trayIcon_);
}

void Win32FormPlatform::CreateDialogs(std::initializer_list<ModalForm*> forms) {
    for (ModalForm* f : forms) HostOf(*f);
}

FormHost* Win32FormPlatform::HostOf(ModalForm& form) {
    for (const auto& h : hosts_)
        if (&h->Form() == &form) return h.get();
    hosts_.push_back(std::make_unique<FormHost>(form));
    hosts_.back()->Create(inst_, strip_);
    return hosts_.back().get();
}

void Win32FormPlatform::SetToolWindow() {
    if (!strip_) return;
    const LONG_PTR ex = GetWindowLongPtrW(strip_, GWL_EXSTYLE);
    SetWindowLongPtrW(strip_, GWL_EXSTYLE, ex | WS_EX_TOOLWINDOW);
}

void Win32FormPlatform::MoveWindow(int left, int top) {
    SetWindowPos(strip_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FormPlatform::SetWindowVisible(bool visible) { ShowWindow(strip_, visible ? SW_SHOWNOACTIVATE : SW_HIDE); }

void Win32FormPlatform::PopupAtCursor(Form1Menu& menu) {
    if (OnMenuOpen) OnMenuOpen(menu);
    POINT pt{};
    GetCursorPos(&pt);
    if (MenuItem* chosen = TrackMenu(strip_, menu.Items.data(), menu.Items.size(), pt)) chosen->Click();
}

// Z930.hlp is a WinHelp file, so it goes to WinHelp, opened at its contents.
// False, and the form's "help missing" box, when the file is in neither place
// or WinHelpW fails (no WinHelp viewer on the system).
bool Win32FormPlatform::OpenHelp(const std::string& file) {
    const std::wstring path = FindHelpFile(WideFromUtf8(file));
    if (path.empty()) return false;
    return WinHelpW(strip_, path.c_str(), HELP_COMMAND, reinterpret_cast<ULONG_PTR>(L"JumpID(\"\",\"\")")) != FALSE;
}

void Win32FormPlatform::OpenUrl(const std::string& url) {
    ShellExecuteW(strip_, nullptr, WideFromUtf8(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32FormPlatform::ShowModal(ModalForm& form) {
    if (open_) {
        if (open_->Handle()) SetForegroundWindow(open_->Handle());
        return;
    }
    FormHost* host = HostOf(form);
    open_ = host;
    const FormHost::ModalEnd end = host->ShowModal();
    open_ = nullptr;
    // Closed and Quit need nothing more here: a quit is already posted again
    // for the main loop.
    if (end == FormHost::ModalEnd::Missing) {
        const std::wstring text = L"无法打开对话框 " + WideFromUtf8(form.Look.Caption) + L"：" +
                                  WideFromUtf8(SystemErrorText(host->CreateError()));
        MessageBoxW(strip_, text.c_str(), WideFromUtf8(kAppTitle).c_str(), MB_OK | MB_ICONERROR);
    }
}

void Win32FormPlatform::Tray(DWORD what) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = strip_;
    nid.uID = 100;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    nid.uCallbackMessage = static_cast<UINT>(kTrayMessage);
    nid.hIcon = trayIcon_;
    wcsncpy(nid.szTip, L"串口校时", sizeof nid.szTip / sizeof nid.szTip[0] - 1);
    Shell_NotifyIconW(what, &nid);
}

}  // namespace tkw
