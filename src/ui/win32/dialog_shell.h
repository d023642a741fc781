// A dialog window made once at start-up and kept until the program ends:
// closing it only hides it, and showing it again brings back the same window.
// For now each one holds a centred note and a "关闭" button; the real contents
// are laid over the same window later. Windows builds only.
#pragma once

#include <windows.h>

namespace tkw {

struct DialogLook {
    enum class Frame {
        Dialog,    // thick dialog border, close box only
        Single,    // thin border, close box only
        Sizeable,  // resizable border, close box only
    };

    const wchar_t* caption;
    Frame frame;
    int width, height;
    // width and height are the client area's, not the whole window's.
    bool clientSize;
    // Centred on the screen each time it is shown; otherwise at left, top.
    bool centred;
    int left, top;
    bool topmost;
};

class DialogShell {
public:
    enum class ModalEnd {
        Closed,   // the user closed it
        Quit,     // WM_QUIT came meanwhile; it has been posted again
        Busy,     // another shell was already open: that one came to the front
        Missing,  // the window could not be made at start-up
    };

    DialogShell() = default;
    ~DialogShell();
    DialogShell(const DialogShell&) = delete;
    DialogShell& operator=(const DialogShell&) = delete;

    // Makes the hidden window, owned by `owner`. False with GetLastError()
    // kept in CreateError() when Windows refuses.
    bool Create(HINSTANCE inst, HWND owner, const DialogLook& look);
    HWND Handle() const { return wnd_; }
    unsigned long CreateError() const { return createError_; }

    // Shows the shell with its owner disabled and returns once it is hidden
    // again. Everything meanwhile is dispatched as in the main loop, so the
    // owner's timers and posted messages keep being served.
    ModalEnd ShowModal();

    // Hides the shell (the close box, "关闭", Esc and Enter come here).
    void Close();

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    void Layout();
    void PlaceOnScreen();
    void EndModal();
    void RestoreOwner();

    HWND wnd_ = nullptr;
    HWND owner_ = nullptr;
    HWND note_ = nullptr;
    HWND button_ = nullptr;
    HFONT font_ = nullptr;
    bool ownFont_ = false;  // made here, not the stock GUI font
    DialogLook look_{};
    unsigned long createError_ = 0;
    bool modal_ = false;
    bool ownerDisabled_ = false;  // by this shell, so it must enable it again
};

}  // namespace tkw
