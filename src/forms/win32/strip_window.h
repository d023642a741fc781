// The strip's window: a borderless, always-on-top popup that paints TForm1's
// control models, turns its messages into TForm1's handler calls, and serves
// the reader thread's hand-offs. Windows builds only.
#pragma once

#include <windows.h>

#include "forms/strip_form.h"
#include "forms/win32/form_platform_win32.h"
#include "platform/main_thread_win32.h"
#include "platform/message_box.h"

namespace tkw {

class StripWindow {
public:
    static constexpr UINT kWmSync = WM_APP;             // a reader hand-off is waiting
    static constexpr UINT kWmClockRefused = WM_APP + 1;  // the first refused clock step
    static constexpr UINT kWmTimeService = WM_APP + 2;   // the Windows Time service sets the clock too

    StripWindow() = default;
    ~StripWindow();
    StripWindow(const StripWindow&) = delete;
    StripWindow& operator=(const StripWindow&) = delete;

    // Makes the window, hidden; it ignores everything until Attach.
    bool Create(HINSTANCE inst);
    HWND Handle() const { return wnd_; }

    // What the window serves from now on. All of it outlives the window's use.
    void Attach(TForm1& form, Win32FormPlatform& platform, WindowMainThread& mainThread, MessageBoxes& boxes);
    // Shows the strip (when the form wants it shown) and starts its timer.
    void Start();
    // Once the message loop has ended: no more handler calls.
    void Detach();

    // From any thread: the user hears once that the clock cannot be set.
    void PostClockRefused() const;
    // The user hears that the Windows Time service sets the clock too, and how to stop it.
    void PostTimeServiceNotice() const;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void Paint(HDC target);
    void CreateFonts();

    HWND wnd_ = nullptr;
    TForm1* form_ = nullptr;
    Win32FormPlatform* platform_ = nullptr;
    WindowMainThread* mainThread_ = nullptr;
    MessageBoxes* boxes_ = nullptr;
    HFONT dateFont_ = nullptr;
    HFONT timeFont_ = nullptr;
    UINT taskbarCreated_ = 0;
};

}  // namespace tkw
