// The window system as the strip's form sees it: the strip window's place and
// visibility, the tray icon, the popup menu, help and the modal dialogs.
// Windows builds only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

#include "forms/form_platform.h"
#include "ui/win32/form_host.h"

namespace tkw {

class Win32FormPlatform final : public FormPlatform {
public:
    explicit Win32FormPlatform(HINSTANCE inst);
    ~Win32FormPlatform() override;
    Win32FormPlatform(const Win32FormPlatform&) = delete;
    Win32FormPlatform& operator=(const Win32FormPlatform&) = delete;

    // The strip window, once made.
    void Attach(HWND strip) { strip_ = strip; }
    // Makes the dialogs' windows in this order (the program makes them right
    // after the strip), so that opening one later costs nothing.
    void CreateDialogs(std::initializer_list<ModalForm*> forms);
    // Lets go of the dialogs before their forms go.
    void ReleaseDialogs() { hosts_.clear(); }
    // Hears of the menu's items each time it opens (the test build writes
    // their marks to a file, where the end-to-end test reads them).
    std::function<void(const Form1Menu&)> OnMenuOpen;

    void SetToolWindow() override;
    int ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
    void MoveWindow(int left, int top) override;
    void SetWindowVisible(bool visible) override;
    void TrayAdd() override { Tray(NIM_ADD); }
    void TrayDelete() override { Tray(NIM_DELETE); }
    void PopupAtCursor(Form1Menu& menu) override;
    bool OpenHelp(const std::string& file) override;
    void ShowModal(ModalForm& form) override;
    void OpenUrl(const std::string& url) override;
    void CloseMainWindow() override { PostMessageW(strip_, WM_CLOSE, 0, 0); }
    bool LeftButtonHeld() override { return (GetKeyState(VK_LBUTTON) & 0x8000) != 0; }

private:
    void Tray(DWORD what);
    FormHost* HostOf(ModalForm& form);

    HINSTANCE inst_;
    HWND strip_ = nullptr;
    HICON trayIcon_ = nullptr;  // loaded once, freed at the end
    std::vector<std::unique_ptr<FormHost>> hosts_;
    // Only one dialog is up at a time: a second request (the tray menu still
    // works while one is open) brings the open one to the front instead of
    // nesting another modal loop inside the first.
    FormHost* open_ = nullptr;
};

}  // namespace tkw
