#include "ui/win32/form_host.h"

#include "platform/win32_text.h"
#include "ui/controls.h"

namespace tkw {

namespace {

const wchar_t kHostClass[] = L"TKWForm";

bool RegisterHostClass(HINSTANCE inst, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExW(inst, kHostClass, &wc)) return true;
    wc.lpfnWndProc = proc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kHostClass;
    // The program's icon for the frames that show one.
    wc.hIconSm = AppIcon(inst, IconSize::Small);
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

DWORD StyleOf(const FormLook& look) {
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (look.Border == FormLook::Frame::Sizeable) style |= WS_THICKFRAME;
    return style;
}

DWORD ExStyleOf(const FormLook& look) {
    DWORD ex = WS_EX_CONTROLPARENT;
    if (look.Border == FormLook::Frame::Dialog) ex |= WS_EX_DLGMODALFRAME;
    if (look.Topmost) ex |= WS_EX_TOPMOST;
    return ex;
}

// The smallest client area a resizable form may be dragged to.
constexpr int kMinClientWidth = 220;
constexpr int kMinClientHeight = 100;

bool SameProcess(HWND other) {
    if (!other) return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(other, &pid);
    return pid == GetCurrentProcessId();
}

}  // namespace

HICON AppIcon(HINSTANCE inst, IconSize size) {
    const bool little = size == IconSize::Small;
    return static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                         GetSystemMetrics(little ? SM_CXSMICON : SM_CXICON),
                                         GetSystemMetrics(little ? SM_CYSMICON : SM_CYICON), 0));
}

FormHost::~FormHost() {
    form_.OnVisibleChange = nullptr;
    form_.Pause = nullptr;
    for (Control* c : form_.Controls) c->Changed = nullptr;
    if (wnd_) DestroyWindow(wnd_);
    bindings_.clear();
}

bool FormHost::Create(HINSTANCE inst, HWND owner) {
    owner_ = owner;
    const FormLook& look = form_.Look;
    if (!RegisterHostClass(inst, Proc)) {
        createError_ = GetLastError();
        return false;
    }
    const DWORD style = StyleOf(look), ex = ExStyleOf(look);
    RECT r{0, 0, look.Width, look.Height};
    if (look.ClientSize) AdjustWindowRectEx(&r, style, FALSE, ex);
    CreateWindowExW(ex, kHostClass, WideFromUtf8(look.Caption).c_str(), style, look.Left, look.Top, r.right - r.left,
                    r.bottom - r.top, owner, nullptr, inst, this);
    if (!wnd_) {
        createError_ = GetLastError();
        return false;
    }
    fonts_ = std::make_unique<FormFonts>(WideFromUtf8(look.FontName), look.FontHeight);
    const BindingContext ctx{wnd_, inst, *fonts_};
    int id = 100;
    for (Control* c : form_.Controls) {
        std::unique_ptr<ControlBinding> b = MakeBinding(*c);
        if (!b) continue;
        if (!b->Create(ctx, id++)) {
            createError_ = GetLastError();
            DestroyWindow(wnd_);
            return false;
        }
        ControlBinding* raw = b.get();
        const bool container = c->kind == Control::Kind::Panel;
        c->Changed = [this, raw, container] {
            raw->Sync();
            // What lies in a panel shows and hides with it.
            if (container)
                for (const auto& other : bindings_) other->Sync();
        };
        bindings_.push_back(std::move(b));
    }
    form_.OnVisibleChange = [this] {
        if (!form_.Visible) Hide();
    };
    form_.Pause = [this](int ms) { return PauseServing(ms); };
    Layout();
    if (look.Centred) PlaceOnScreen();
    return true;
}

// Controls that follow the client area: the Top ones in order down from the
// top, a Client one filling the rest.
void FormHost::Layout() {
    RECT c{};
    GetClientRect(wnd_, &c);
    int top = 0;
    for (Control* ctl : form_.Controls) {
        if (ctl->Parent || ctl->Alignment == Control::Align::None) continue;
        if (ctl->Alignment == Control::Align::Top) {
            ctl->Place = {0, top, c.right, ctl->Place.Height};
            top += ctl->Place.Height;
        } else {
            ctl->Place = {0, top, c.right, c.bottom > top ? c.bottom - top : 0};
        }
    }
    for (const auto& b : bindings_) b->Relayout();
    InvalidateRect(wnd_, nullptr, TRUE);
}

// A wait that keeps the dialog alive: what comes meanwhile is served as in
// the modal loop. A quit is posted again for the loops outside and ends the
// wait early.
bool FormHost::PauseServing(int ms) {
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(ms > 0 ? ms : 0);
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(m.wParam));
                return false;
            }
            if (wnd_ && IsDialogMessageW(wnd_, &m)) continue;
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= until) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    }
}

// A press on the form itself lands on the topmost panel under it, if any.
void FormHost::MouseDown(MouseButton button, WPARAM keys, LPARAM at) {
    const POINT pt{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it) {
        Control& c = (*it)->Model();
        if (c.kind != Control::Kind::Panel || !(*it)->Showing()) continue;
        const RECT r = (*it)->Rect();
        if (!PtInRect(&r, pt)) continue;
        auto& panel = static_cast<Panel&>(c);
        if (panel.OnMouseDown) panel.OnMouseDown(button, (keys & MK_SHIFT) != 0, pt.x - r.left, pt.y - r.top);
        return;
    }
}

FormHost::ModalEnd FormHost::ShowModal() {
    if (!wnd_) return ModalEnd::Missing;
    modal_ = true;
    form_.Visible = true;
    ownerDisabled_ = owner_ && IsWindow(owner_) && IsWindowEnabled(owner_);
    if (ownerDisabled_) EnableWindow(owner_, FALSE);
    if (form_.Look.Centred) PlaceOnScreen();
    activatePending_ = true;
    fromOtherProgram_ = false;
    ShowWindow(wnd_, SW_SHOW);
    SetForegroundWindow(wnd_);
    // The activation that showing brings may not come (another program keeps
    // the foreground): the form is filled all the same.
    if (activatePending_) Activated();
    // The first control that takes the keyboard.
    focus_ = GetNextDlgTabItem(wnd_, nullptr, FALSE);
    if (focus_) SetFocus(focus_);

    ModalEnd end = ModalEnd::Closed;
    MSG m;
    while (modal_) {
        const BOOL got = GetMessageW(&m, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending (关闭退出 from the tray menu): the outer
            // loop must see the quit too.
            PostQuitMessage(static_cast<int>(m.wParam));
            end = ModalEnd::Quit;
            break;
        }
        if (got == -1) break;
        if (wnd_ && IsDialogMessageW(wnd_, &m)) continue;
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    // Left early: the dialog does not stay up over a program that is ending.
    // (Every other way out has ended the modal state already.)
    if (modal_) Hide();
    return end;
}

void FormHost::Activated() {
    activatePending_ = false;
    form_.FormActivate();
}

void FormHost::Hide() {
    // The owner first: hidden while the owner is still disabled, the dialog
    // would hand activation to some other program's window.
    EndModal();
    if (wnd_) ShowWindow(wnd_, SW_HIDE);
}

// The one way the modal state ends, whatever ends it: the owner is enabled
// again (it was disabled only while modal) and the loop is woken to see it.
void FormHost::EndModal() {
    if (!modal_) return;
    modal_ = false;
    form_.Visible = false;
    RestoreOwner();
    // Wakes the modal loop should the end have come from outside it.
    PostMessageW(nullptr, WM_NULL, 0, 0);
}

void FormHost::RestoreOwner() {
    if (!ownerDisabled_) return;
    ownerDisabled_ = false;
    if (IsWindow(owner_)) EnableWindow(owner_, TRUE);
}

void FormHost::PlaceOnScreen() {
    RECT r{};
    GetWindowRect(wnd_, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    // A window taller or wider than the screen keeps its caption on it.
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    SetWindowPos(wnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

ControlBinding* FormHost::BindingOf(HWND control) const {
    if (!control) return nullptr;
    for (const auto& b : bindings_)
        if (b->Handle() == control) return b.get();
    return nullptr;
}

LRESULT CALLBACK FormHost::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<FormHost*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->wnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    return self->OnMessage(msg, wp, lp);
}

LRESULT FormHost::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    HWND hwnd = wnd_;
    switch (msg) {
        case WM_CLOSE:
            // Hidden, never destroyed: the form lives until the program ends.
            form_.FormClose();
            form_.Close();
            return 0;
        case WM_ACTIVATEAPP:
            if (wp) fromOtherProgram_ = true;
            break;
        case WM_ACTIVATE:
            if (LOWORD(wp) != WA_INACTIVE) {
                // Opening: the form is filled anew and ShowModal gives the
                // keyboard to its first control, not to where it was last time.
                const bool opening = activatePending_;
                if (activatePending_ || !fromOtherProgram_) Activated();
                fromOtherProgram_ = false;
                // Back from a box: the keyboard goes back where it was, as in a dialog box.
                if (!opening && focus_ && IsWindow(focus_) && IsChild(hwnd, focus_) && IsWindowVisible(focus_)) {
                    SetFocus(focus_);
                    return 0;
                }
            } else {
                HWND f = GetFocus();
                focus_ = f && IsChild(hwnd, f) ? f : nullptr;
                // Another window of the program (a box over the dialog);
                // going to another program is not the dialog's business.
                if (SameProcess(reinterpret_cast<HWND>(lp)) && form_.Visible) form_.FormDeactivate();
            }
            break;
        case WM_COMMAND:
            if (ControlBinding* b = BindingOf(reinterpret_cast<HWND>(lp))) {
                b->OnCommand(HIWORD(wp));
            } else if (LOWORD(wp) == IDOK) {
                // Enter: the forms have no default button, so the dialog
                // manager sends IDOK; it presses the push button that has the
                // focus, and nothing else. Esc (IDCANCEL) does nothing.
                HWND f = GetFocus();
                if (ControlBinding* focused = BindingOf(f);
                    focused && (SendMessageW(f, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
                    focused->OnCommand(BN_CLICKED);
            }
            return 0;
        case WM_NOTIFY: {
            LRESULT result = 0;
            for (const auto& b : bindings_)
                if (b->OnNotify(reinterpret_cast<NMHDR*>(lp), result)) return result;
            break;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (ControlBinding* b = BindingOf(reinterpret_cast<HWND>(lp))) {
                b->OnScroll();
                return 0;
            }
            break;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
            if (ControlBinding* b = BindingOf(reinterpret_cast<HWND>(lp)))
                if (HBRUSH brush = b->OnCtlColor(reinterpret_cast<HDC>(wp)))
                    return reinterpret_cast<LRESULT>(brush);
            break;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO:
            if (form_.Look.Border == FormLook::Frame::Sizeable) {
                RECT r{0, 0, kMinClientWidth, kMinClientHeight};
                AdjustWindowRectEx(&r, StyleOf(form_.Look), FALSE, ExStyleOf(form_.Look));
                auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
                mm->ptMinTrackSize.x = r.right - r.left;
                mm->ptMinTrackSize.y = r.bottom - r.top;
                return 0;
            }
            break;
        case WM_LBUTTONDOWN: MouseDown(MouseButton::Left, wp, lp); return 0;
        case WM_RBUTTONDOWN: MouseDown(MouseButton::Right, wp, lp); return 0;
        case WM_MBUTTONDOWN: MouseDown(MouseButton::Middle, wp, lp); return 0;
        case WM_SETCURSOR:
            // A link shows the hand.
            if (ControlBinding* b = BindingOf(reinterpret_cast<HWND>(wp));
                b && b->Model().kind == Control::Kind::Label && static_cast<Label&>(b->Model()).HandCursor) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            for (const auto& b : bindings_) b->PaintOnForm(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_WINDOWPOSCHANGED:
            // However the dialog came to be hidden, its modal loop is over.
            if (reinterpret_cast<const WINDOWPOS*>(lp)->flags & SWP_HIDEWINDOW) EndModal();
            break;
        case WM_NCDESTROY:
            // Destroyed with its owner when the program ends, maybe while
            // shown: the loop ends and nothing is left pointing at the window.
            EndModal();
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            wnd_ = nullptr;
            return DefWindowProcW(hwnd, msg, wp, lp);
        default: break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tkw
