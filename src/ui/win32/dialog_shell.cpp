#include "ui/win32/dialog_shell.h"

#include <initializer_list>

namespace tkw {

namespace {

const wchar_t kShellClass[] = L"TKWDialogShell";
const wchar_t kNote[] = L"此对话框将在以后的版本中提供。";

constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
// The smallest client area a resizable shell may be dragged to: the note and
// the button must stay readable.
constexpr int kMinClientWidth = 220;
constexpr int kMinClientHeight = 100;

// Only one shell is up at a time: a second request (the tray menu still works
// while a shell is open) brings the open one to the front instead of nesting
// another modal loop inside the first.
DialogShell* g_open = nullptr;

bool RegisterShellClass(HINSTANCE inst, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(inst, kShellClass, &wc)) return true;
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kShellClass;
    // The program's icon (resource 1) for the frames that show one.
    wc.hIconSm = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(1), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), 0));
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool HasGlyphs(HDC dc, HFONT font, const wchar_t* text) {
    const int len = lstrlenW(text);
    WORD idx[64];
    if (len > 64) return false;
    HGDIOBJ old = SelectObject(dc, font);
    const DWORD n = GetGlyphIndicesW(dc, text, len, idx, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    if (n == GDI_ERROR) return false;
    for (int i = 0; i < len; ++i)
        if (idx[i] == 0xffff) return false;
    return true;
}

// 9 pt SimSun when the system has it (or, under another name, a font with the
// same Chinese glyphs); otherwise the default GUI font, which on a Chinese
// system draws Chinese as well.
HFONT PickFont(bool& own) {
    HDC dc = GetDC(nullptr);
    const int height = -MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72);
    HFONT chosen = nullptr;
    for (const wchar_t* face : {L"宋体", L"SimSun"}) {
        HFONT f = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET, OUT_DEFAULT_PRECIS,
                              CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
        if (f && HasGlyphs(dc, f, kNote)) {
            chosen = f;
            break;
        }
        if (f) DeleteObject(f);
    }
    ReleaseDC(nullptr, dc);
    own = chosen != nullptr;
    return chosen ? chosen : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

DWORD StyleOf(const DialogLook& look) {
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (look.frame == DialogLook::Frame::Sizeable) style |= WS_THICKFRAME;
    return style;
}

DWORD ExStyleOf(const DialogLook& look) {
    DWORD ex = WS_EX_CONTROLPARENT;
    if (look.frame == DialogLook::Frame::Dialog) ex |= WS_EX_DLGMODALFRAME;
    if (look.topmost) ex |= WS_EX_TOPMOST;
    return ex;
}

}  // namespace

DialogShell::~DialogShell() {
    if (g_open == this) g_open = nullptr;
    if (wnd_) DestroyWindow(wnd_);
    // After the window: its controls draw with the font until they are gone.
    if (ownFont_ && font_) DeleteObject(font_);
}

bool DialogShell::Create(HINSTANCE inst, HWND owner, const DialogLook& look) {
    look_ = look;
    owner_ = owner;
    if (!RegisterShellClass(inst, Proc)) {
        createError_ = GetLastError();
        return false;
    }
    const DWORD style = StyleOf(look), ex = ExStyleOf(look);
    RECT r{0, 0, look.width, look.height};
    if (look.clientSize) AdjustWindowRectEx(&r, style, FALSE, ex);
    CreateWindowExW(ex, kShellClass, look.caption, style, look.left, look.top, r.right - r.left, r.bottom - r.top,
                    owner, nullptr, inst, this);
    if (!wnd_) {
        createError_ = GetLastError();
        return false;
    }
    font_ = PickFont(ownFont_);
    note_ = CreateWindowExW(0, L"STATIC", kNote, WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, 0,
                            0, 0, 0, wnd_, nullptr, inst, nullptr);
    // IDCANCEL, so that Esc closes the shell as it does a dialog box.
    button_ = CreateWindowExW(0, L"BUTTON", L"关闭", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                              wnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), inst, nullptr);
    if (!note_ || !button_) {
        createError_ = GetLastError();
        DestroyWindow(wnd_);
        return false;
    }
    for (HWND c : {note_, button_}) SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    Layout();
    if (look.centred) PlaceOnScreen();
    return true;
}

DialogShell::ModalEnd DialogShell::ShowModal() {
    if (!wnd_) return ModalEnd::Missing;
    if (g_open) {
        if (g_open->wnd_) SetForegroundWindow(g_open->wnd_);
        return ModalEnd::Busy;
    }
    g_open = this;
    modal_ = true;
    ownerDisabled_ = owner_ && IsWindow(owner_) && IsWindowEnabled(owner_);
    if (ownerDisabled_) EnableWindow(owner_, FALSE);
    if (look_.centred) PlaceOnScreen();
    ShowWindow(wnd_, SW_SHOW);
    SetForegroundWindow(wnd_);
    SetFocus(button_);

    ModalEnd end = ModalEnd::Closed;
    MSG m;
    while (modal_) {
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending (e.g. 关闭退出 from the tray menu): the
            // outer loop must see the quit too.
            PostQuitMessage(static_cast<int>(m.wParam));
            end = ModalEnd::Quit;
            break;
        }
        if (got == -1) break;
        if (wnd_ && IsDialogMessageW(wnd_, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    // Left early: the shell does not stay up over a program that is ending.
    if (modal_) Close();
    EndModal();
    RestoreOwner();
    g_open = nullptr;
    return end;
}

void DialogShell::Close() {
    // The owner first: hidden while the owner is still disabled, the shell
    // would hand activation to some other program's window.
    RestoreOwner();
    if (wnd_) ShowWindow(wnd_, SW_HIDE);
}

void DialogShell::EndModal() {
    if (!modal_) return;
    modal_ = false;
    RestoreOwner();
    // Wakes the modal loop should the hide have come inside GetMessage (a
    // message sent from another thread) rather than from a dispatch.
    PostMessageW(nullptr, WM_NULL, 0, 0);
}

void DialogShell::RestoreOwner() {
    if (!ownerDisabled_) return;
    ownerDisabled_ = false;
    if (IsWindow(owner_)) EnableWindow(owner_, TRUE);
}

void DialogShell::Layout() {
    if (!wnd_) return;
    RECT c{};
    GetClientRect(wnd_, &c);
    const int w = c.right - c.left, h = c.bottom - c.top;
    const int buttonTop = h - kMargin - kButtonHeight;
    SetWindowPos(button_, nullptr, (w - kButtonWidth) / 2, buttonTop, kButtonWidth, kButtonHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The note fills the space above the button and centres itself in it.
    const int noteHeight = buttonTop - 2 * kMargin;
    SetWindowPos(note_, nullptr, kMargin, kMargin, w - 2 * kMargin > 0 ? w - 2 * kMargin : 0,
                 noteHeight > 0 ? noteHeight : 0, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(note_, nullptr, TRUE);
}

void DialogShell::PlaceOnScreen() {
    RECT r{};
    GetWindowRect(wnd_, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    // A window taller or wider than the screen keeps its caption on it.
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    SetWindowPos(wnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK DialogShell::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<DialogShell*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->wnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<DialogShell*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->OnMessage(msg, wp, lp);
}

LRESULT DialogShell::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = wnd_;
    switch (msg) {
        case WM_CLOSE: Close(); return 0;  // hidden, never destroyed: the shell lives until the program ends
        case WM_COMMAND:
            if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) Close();
            return 0;
        case WM_SETFOCUS:
            if (button_) SetFocus(button_);
            return 0;
        case WM_SIZE: Layout(); return 0;
        case WM_GETMINMAXINFO:
            if (look_.frame == DialogLook::Frame::Sizeable) {
                RECT r{0, 0, kMinClientWidth, kMinClientHeight};
                AdjustWindowRectEx(&r, StyleOf(look_), FALSE, ExStyleOf(look_));
                auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
                mm->ptMinTrackSize.x = r.right - r.left;
                mm->ptMinTrackSize.y = r.bottom - r.top;
                return 0;
            }
            break;
        case WM_WINDOWPOSCHANGED:
            // However the shell came to be hidden, its modal loop is over.
            if (reinterpret_cast<const WINDOWPOS*>(lp)->flags & SWP_HIDEWINDOW) EndModal();
            break;
        case WM_NCDESTROY:
            // Destroyed with its owner when the program ends, maybe while
            // shown: the loop ends and nothing is left pointing at the window.
            EndModal();
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            wnd_ = note_ = button_ = nullptr;
            return DefWindowProcW(hwnd, msg, wp, lp);
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tkw
