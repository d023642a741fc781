#include "forms/win32/strip_window.h"

#include <dbt.h>

#include <array>
#include <string>

#include "engine/time_service_check.h"
#include "platform/win32_text.h"
#include "ui/win32/bindings.h"
#include "ui/win32/fonts.h"

namespace tkw {

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr int kStripWidth = 185;
constexpr int kStripHeight = 17;
const wchar_t kClassName[] = L"TKW";
constexpr const char* kClockRefused = "无法设置系统时间：请以管理员身份运行本程序。";

RECT RectOf(const Bounds& b) { return RECT{b.Left, b.Top, b.Left + b.Width, b.Top + b.Height}; }

// The strip's models whose every change repaints it.
std::array<Control*, 3> RepaintingModels(TForm1& f) { return {&f.Panel2, &f.Label1, &f.Label2}; }

void DrawLabel(HDC dc, HFONT font, const Label& l, const RECT& r) {
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, ToColorRef(l.FontColour));
    const std::wstring text = WideFromUtf8(l.Caption);
    RECT rc = r;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc,
              (l.Centred ? DT_CENTER : DT_LEFT) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

}  // namespace

StripWindow::~StripWindow() {
    if (wnd_) DestroyWindow(wnd_);
    if (dateFont_) DeleteObject(dateFont_);
    if (timeFont_) DeleteObject(timeFont_);
}

bool StripWindow::Create(HINSTANCE inst) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = Proc;
    wc.hInstance = inst;
    wc.hIcon = AppIcon(inst, IconSize::Large);
    wc.hIconSm = AppIcon(inst, IconSize::Small);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return false;
    wnd_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"TKW", WS_POPUP, 0, 0, kStripWidth,
                           kStripHeight, nullptr, nullptr, inst, this);
    if (!wnd_) return false;
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    CreateFonts();
    return true;
}

void StripWindow::Attach(TForm1& form, Win32FormPlatform& platform, WindowMainThread& mainThread,
                         MessageBoxes& boxes) {
    form_ = &form;
    platform_ = &platform;
    mainThread_ = &mainThread;
    boxes_ = &boxes;
    for (Control* c : RepaintingModels(form)) c->Changed = [this] { InvalidateRect(wnd_, nullptr, FALSE); };
}

void StripWindow::Start() {
    if (form_->Visible) ShowWindow(wnd_, SW_SHOWNOACTIVATE);
    if (form_->Timer1.Enabled) SetTimer(wnd_, kTimerId, static_cast<UINT>(form_->Timer1.Interval), nullptr);
}

void StripWindow::Detach() {
    if (form_)
        for (Control* c : RepaintingModels(*form_)) c->Changed = nullptr;
    form_ = nullptr;
}

void StripWindow::PostClockRefused() const {
    if (wnd_) PostMessageW(wnd_, kWmClockRefused, 0, 0);
}

void StripWindow::PostTimeServiceNotice() const {
    if (wnd_) PostMessageW(wnd_, kWmTimeService, 0, 0);
}

// The date label shows the weekday in Chinese, which MS Sans Serif cannot
// draw: a font with Chinese glyphs is taken in its place.
void StripWindow::CreateFonts() {
    HDC dc = GetDC(wnd_);
    const int height = PointsToHeight(dc, 8);
    timeFont_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                            CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
    dateFont_ = PickFont(dc, {L"MS Sans Serif"}, height, true, L"星期一二三四五六日");
    ReleaseDC(wnd_, dc);
}

void StripWindow::Paint(HDC target) {
    TForm1& f = *form_;
    RECT client{0, 0, kStripWidth, kStripHeight};
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bmp = CreateCompatibleBitmap(target, kStripWidth, kStripHeight);
    HGDIOBJ oldBmp = SelectObject(dc, bmp);
    SetBkMode(dc, TRANSPARENT);

    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    DrawPanel(dc, RectOf(f.Panel1.Place), f.Panel1);
    DrawPanel(dc, RectOf(f.Panel2.Place), f.Panel2);

    // Label2 sizes itself to the date; Label1 takes the rest up to 184.
    {
        HGDIOBJ old = SelectObject(dc, dateFont_);
        const std::wstring date = WideFromUtf8(f.Label2.Caption);
        SIZE sz{};
        GetTextExtentPoint32W(dc, date.c_str(), static_cast<int>(date.size()), &sz);
        SelectObject(dc, old);
        f.Label2.Place.Width = sz.cx;
        f.Label1.Place.Left = f.Label2.Place.Left + f.Label2.Place.Width;
        f.Label1.Place.Width = 184 - f.Label1.Place.Left;
    }
    DrawLabel(dc, dateFont_, f.Label2, RectOf(f.Label2.Place));
    DrawLabel(dc, f.Label1.Bold ? dateFont_ : timeFont_, f.Label1, RectOf(f.Label1.Place));

    BitBlt(target, 0, 0, kStripWidth, kStripHeight, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBmp);
    DeleteObject(bmp);
    DeleteDC(dc);
}

LRESULT CALLBACK StripWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<StripWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<StripWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->form_) {
        if (msg == WM_NCDESTROY && self) self->wnd_ = nullptr;
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    return self->OnMessage(msg, wp, lp);
}

LRESULT StripWindow::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    TForm1& f = *form_;
    HWND hwnd = wnd_;
    if (taskbarCreated_ && msg == taskbarCreated_) {
        f.TaskbarCreated();
        return 0;
    }
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            Paint(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_TIMER:
            if (wp == kTimerId) f.Timer1Timer();
            return 0;
        // The three controls share the mouse handlers; client coordinates do
        // as well as the control's, since only differences count. Any button
        // anchors a drag; only the left one moves the strip.
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            const MouseButton b = msg == WM_LBUTTONDOWN   ? MouseButton::Left
                                  : msg == WM_RBUTTONDOWN ? MouseButton::Right
                                                          : MouseButton::Middle;
            if (b == MouseButton::Left) SetCapture(hwnd);
            f.Panel2MouseDown(b, static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            return 0;
        }
        case WM_MOUSEMOVE:
            f.Panel2MouseMove(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() == hwnd) ReleaseCapture();
            return 0;
        case WM_LBUTTONDBLCLK: f.Panel2DblClick(); return 0;
        case WM_RBUTTONUP: platform_->PopupAtCursor(f.PopupMenu1); return 0;
        // Both come to every top-level window. A port that went away with a
        // sleep, or whose adapter is plugged in again, is tried at once
        // rather than at its next turn.
        case WM_POWERBROADCAST:
            if (wp == PBT_APMRESUMEAUTOMATIC) f.SystemResumed();
            return TRUE;
        case WM_DEVICECHANGE:
            if (wp == DBT_DEVICEARRIVAL && lp != 0 &&
                reinterpret_cast<const DEV_BROADCAST_HDR*>(lp)->dbch_devicetype == DBT_DEVTYP_PORT)
                f.PortArrived();
            return TRUE;
        case kWmSync: mainThread_->Serve(); return 0;
        case kWmClockRefused: boxes_->Show(BoxKind::Warning, kAppTitle, kClockRefused); return 0;
        case kWmTimeService: boxes_->Show(BoxKind::Warning, kAppTitle, TimeServiceBoxText()); return 0;
        case WM_CLOSE:
            f.FormClose();
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, kTimerId);
            if (f.InTray) platform_->TrayDelete();
            mainThread_->StopServing();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            wnd_ = nullptr;
            break;
        default:
            if (msg == static_cast<UINT>(kTrayMessage)) return f.TrayIconNotify(wp, lp);
            break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tkw
