// tkw.exe: the desktop program. One borderless, always-on-top strip window
// that paints TForm1's control models, turns its messages into TForm1's
// handler calls, and serves the reader thread's hand-offs; and the dialogs the
// form opens, made at start-up and shown modally over the strip. Built a
// second time with TKW_E2E as tkw-e2e.exe, whose clock writes the corrections
// to clock.log instead of stepping the machine's clock.
#include <windows.h>
#include <shellapi.h>

#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "app/form1.h"
#include "logs/log_writer.h"
#include "platform/single_instance.h"
#include "platform/system_clock.h"
#include "platform/win32_text.h"
#include "ui/win32/dialog_shell.h"

namespace {

using namespace tkw;

constexpr UINT kTrayId = 100;
constexpr UINT kWmSync = WM_APP;             // a reader hand-off is waiting
constexpr UINT kWmClockRefused = WM_APP + 1;  // the first refused clock step
constexpr UINT_PTR kTimerId = 1;
constexpr int kStripWidth = 185;
constexpr int kStripHeight = 17;

const wchar_t kClassName[] = L"TKW";

HWND g_wnd = nullptr;

// ---- Message boxes.

class Win32Boxes final : public MessageBoxes {
public:
    void Show(BoxKind kind, const std::string& caption, const std::string& text) override {
        UINT flags = MB_OK | MB_SETFOREGROUND;
        switch (kind) {
            case BoxKind::Plain: break;
            case BoxKind::Warning: flags |= MB_ICONWARNING; break;
            case BoxKind::Error:
            case BoxKind::Stop: flags |= MB_ICONERROR; break;
        }
        // Owned by the strip when there is one, so the box stays above it.
        MessageBoxW(g_wnd, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), flags);
    }
};

// ---- The clock.

#ifdef TKW_E2E
// Never steps the machine's clock: logs the step and from then on reads the
// system clock shifted by it, so the program carries on as after a real step.
// With TKW_E2E_REFUSE_CLOCK=1 in the environment it refuses every step (and
// logs "REFUSED ..."), as the system does for a user without the right.
class StepLogClock final : public Clock {
public:
    StepLogClock() {
        wchar_t v[8] = {};
        refuse_ = GetEnvironmentVariableW(L"TKW_E2E_REFUSE_CLOCK", v, 8) > 0 && v[0] == L'1';
    }
    SystemTime GetLocalTime() override {
        std::lock_guard<std::mutex> lk(m_);
        return FromLocalMs(ToLocalMs(real_.GetLocalTime()) + offset_);
    }
    bool SetLocalTime(const SystemTime& t) override {
        if (!IsValid(t)) return false;
        std::lock_guard<std::mutex> lk(m_);
        if (!refuse_) offset_ = ToLocalMs(t) - ToLocalMs(real_.GetLocalTime());
        if (FILE* f = _wfopen(L"clock.log", L"ab")) {
            std::fprintf(f, "%s %s\r\n", refuse_ ? "REFUSED" : "SET", WithMsText(t).c_str());
            std::fclose(f);
        }
        return !refuse_;
    }

private:
    std::mutex m_;
    SystemClock real_;
    LocalMs offset_ = 0;
    bool refuse_ = false;
};
using StepClock = StepLogClock;
#else
using StepClock = SystemClock;
#endif

// A refusal is kept from the receiver as before (it answers and stays green),
// but the user hears of it once per run: without administrator rights the
// program would otherwise look as if it worked.
class ProgramClock final : public Clock {
public:
    SystemTime GetLocalTime() override { return clock_.GetLocalTime(); }
    bool SetLocalTime(const SystemTime& t) override {
        const bool ok = clock_.SetLocalTime(t);
        // Said from the message loop, not from inside the frame's handling.
        if (!ok && !warned_ && g_wnd) {
            warned_ = true;
            PostMessageW(g_wnd, kWmClockRefused, 0, 0);
        }
        return ok;
    }

private:
    StepClock clock_;
    bool warned_ = false;
};

constexpr const char* kClockRefused = "无法设置系统时间：请以管理员身份运行本程序。";

// ---- Hand-offs from the reader thread: a message to the strip, served by
// the message loop; the reader waits until it has run or the strip is gone.

class WindowMainThread final : public MainThread {
public:
    bool Synchronize(const std::function<void()>& job) override {
        std::unique_lock<std::mutex> lk(m_);
        if (!serving_ || !g_wnd) return false;
        job_ = &job;
        done_ = false;
        if (!PostMessageW(g_wnd, kWmSync, 0, 0)) {
            job_ = nullptr;
            return false;
        }
        cv_.wait(lk, [&] { return done_ || !serving_; });
        const bool ran = done_;
        job_ = nullptr;
        return ran;
    }

    // On the main thread, for kWmSync.
    void Serve() {
        const std::function<void()>* job;
        {
            std::lock_guard<std::mutex> lk(m_);
            if (!serving_ || !job_ || done_) return;
            job = job_;
        }
        (*job)();
        {
            std::lock_guard<std::mutex> lk(m_);
            done_ = true;
        }
        cv_.notify_all();
    }

    // The strip is going: a waiting reader gets false, later ones at once.
    void StopServing() {
        {
            std::lock_guard<std::mutex> lk(m_);
            serving_ = false;
        }
        cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool serving_ = true;
    const std::function<void()>* job_ = nullptr;
    bool done_ = false;
};

// ---- The window system as the form sees it.

// The dialogs the form opens by name, made in this order once the strip has
// run FormCreate and kept, hidden between uses, until the program ends.
struct NamedDialog {
    const char* name;
    DialogLook look;
};
using Frame = DialogLook::Frame;
const NamedDialog kDialogs[] = {
    {"AboutBox", {L"About", Frame::Dialog, 329, 326, true, true, 0, 0, false}},
    {"Form2", {L"校时设置", Frame::Single, 392, 419, true, false, 460, 136, false}},
    {"Form3", {L"通讯观测", Frame::Sizeable, 691, 469, false, true, 0, 0, true}},
    {"Form4", {L"Serial Port", Frame::Dialog, 300, 150, true, true, 0, 0, false}},
};
constexpr size_t kDialogCount = sizeof kDialogs / sizeof kDialogs[0];

// The help file as the program looks for it: in the working directory, then
// beside the program. Empty when it is in neither.
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

HICON AppIcon(int size) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, 0));
}

class Win32FormPlatform final : public FormPlatform {
public:
    void SetToolWindow() override {
        if (!g_wnd) return;
        const LONG_PTR ex = GetWindowLongPtrW(g_wnd, GWL_EXSTYLE);
        SetWindowLongPtrW(g_wnd, GWL_EXSTYLE, ex | WS_EX_TOOLWINDOW);
    }
    int ScreenWidth() override { return GetSystemMetrics(SM_CXSCREEN); }
    void MoveWindow(int left, int top) override {
        SetWindowPos(g_wnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void SetWindowVisible(bool visible) override { ShowWindow(g_wnd, visible ? SW_SHOWNOACTIVATE : SW_HIDE); }

    void TrayAdd() override { Tray(NIM_ADD); }
    void TrayDelete() override { Tray(NIM_DELETE); }

    void PopupAtCursor(Form1Menu& menu) override {
        HMENU h = CreatePopupMenu();
        if (!h) return;
        // Built afresh from the models each time, so marks and visibility are
        // never stale. Ids are the item's place plus one (0 is "none").
        for (size_t i = 0; i < menu.Items.size(); ++i) {
            const MenuItem& it = *menu.Items[i];
            if (!it.Visible) continue;
            if (it.IsLine()) {
                AppendMenuW(h, MF_SEPARATOR, 0, nullptr);
                continue;
            }
            std::wstring text = WideFromUtf8(it.Caption);
            MENUITEMINFOW mi{};
            mi.cbSize = sizeof mi;
            mi.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
            mi.fType = MFT_STRING | (it.RadioItem ? MFT_RADIOCHECK : 0);
            mi.fState = (it.Checked ? MFS_CHECKED : MFS_UNCHECKED) | (it.Enabled ? MFS_ENABLED : MFS_DISABLED);
            mi.wID = static_cast<UINT>(i + 1);
            mi.dwTypeData = text.data();
            InsertMenuItemW(h, GetMenuItemCount(h), TRUE, &mi);
        }
        POINT pt{};
        GetCursorPos(&pt);
        // In front first, or the menu stays open when the user clicks elsewhere.
        SetForegroundWindow(g_wnd);
        const UINT cmd = static_cast<UINT>(
            TrackPopupMenu(h, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, pt.x, pt.y, 0, g_wnd, nullptr));
        PostMessageW(g_wnd, WM_NULL, 0, 0);
        DestroyMenu(h);
        if (cmd >= 1 && cmd <= menu.Items.size()) menu.Items[cmd - 1]->Click();
    }

    // Z930.hlp is a WinHelp file, so it goes to WinHelp, opened at its
    // contents. False, and the form's "help missing" box, when the file is in
    // neither place or WinHelpW fails (no WinHelp viewer on the system).
    bool OpenHelp(const std::string& file) override {
        const std::wstring path = FindHelpFile(WideFromUtf8(file));
        if (path.empty()) return false;
        return WinHelpW(g_wnd, path.c_str(), HELP_COMMAND, reinterpret_cast<ULONG_PTR>(L"JumpID(\"\",\"\")")) != FALSE;
    }

    // Made after the strip and its FormCreate, in kDialogs' order.
    void CreateDialogs(HINSTANCE inst) {
        for (size_t i = 0; i < kDialogCount; ++i) dialogs_[i].Create(inst, g_wnd, kDialogs[i].look);
    }

    void ShowModal(const std::string& form) override {
        for (size_t i = 0; i < kDialogCount; ++i) {
            if (form != kDialogs[i].name) continue;
            // Closed, Quit and Busy need nothing more here: a quit is already
            // posted again for the main loop, and a busy request brought the
            // open shell to the front.
            if (dialogs_[i].ShowModal() == DialogShell::ModalEnd::Missing) {
                const std::wstring text = L"无法打开对话框 " + WideFromUtf8(form) + L"：" +
                                          WideFromUtf8(SystemErrorText(dialogs_[i].CreateError()));
                MessageBoxW(g_wnd, text.c_str(), WideFromUtf8(kAppTitle).c_str(), MB_OK | MB_ICONERROR);
            }
            return;
        }
        const std::wstring text = L"没有名为 " + WideFromUtf8(form) + L" 的对话框。";
        MessageBoxW(g_wnd, text.c_str(), WideFromUtf8(kAppTitle).c_str(), MB_OK | MB_ICONERROR);
    }

    void CloseMainWindow() override { PostMessageW(g_wnd, WM_CLOSE, 0, 0); }

    bool LeftButtonHeld() override { return (GetKeyState(VK_LBUTTON) & 0x8000) != 0; }

private:
    void Tray(DWORD what) {
        NOTIFYICONDATAW nid{};
        nid.cbSize = sizeof nid;
        nid.hWnd = g_wnd;
        nid.uID = kTrayId;
        nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        nid.uCallbackMessage = static_cast<UINT>(kTrayMessage);
        nid.hIcon = AppIcon(GetSystemMetrics(SM_CXSMICON));
        wcsncpy(nid.szTip, L"串口校时", sizeof nid.szTip / sizeof nid.szTip[0] - 1);
        Shell_NotifyIconW(what, &nid);
    }

    DialogShell dialogs_[kDialogCount];
};

// ---- Everything the strip talks to, and the form.

struct App {
    Win32Boxes boxes;
    ProgramClock clock;
    RealSerialApi serial;
    WindowMainThread mainThread;
    MonitorText monitor;
    LogWriter logs{RealFileSystem(), clock, boxes};
    Win32FormPlatform platform;
    TForm1 form{Form1Seams{platform, clock, serial, boxes, RealFileSystem(), mainThread, monitor, logs}};
    HFONT dateFont = nullptr;
    HFONT timeFont = nullptr;
    UINT taskbarCreated = 0;
};

App* g_app = nullptr;

COLORREF Rgb(const Colour& c) { return RGB(c.r, c.g, c.b); }
RECT RectOf(const Bounds& b) { return RECT{b.Left, b.Top, b.Left + b.Width, b.Top + b.Height}; }

// 8 pt as the system's DPI makes it.
int PointsToHeight(HDC dc, int pt) { return -MulDiv(pt, GetDeviceCaps(dc, LOGPIXELSY), 72); }

HFONT MakeFont(HDC dc, const wchar_t* face, bool bold, BYTE charset) {
    return CreateFontW(PointsToHeight(dc, 8), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, charset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

// Whether the font selected can draw every character of `text`.
bool HasGlyphs(HDC dc, HFONT font, const std::wstring& text) {
    HGDIOBJ old = SelectObject(dc, font);
    std::wstring idx(text.size(), L'\0');
    WORD* out = reinterpret_cast<WORD*>(idx.data());
    const DWORD n = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), out, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    if (n == GDI_ERROR) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (out[i] == 0xffff) return false;
    return true;
}

// The date label shows the weekday in Chinese, which MS Sans Serif cannot
// draw: a font with Chinese glyphs is taken in its place.
void CreateFonts(App& app) {
    HDC dc = GetDC(g_wnd);
    app.timeFont = MakeFont(dc, L"MS Sans Serif", false, DEFAULT_CHARSET);
    const std::wstring sample = L"星期一二三四五六日";
    const struct {
        const wchar_t* face;
        BYTE charset;
    } tries[] = {{L"MS Sans Serif", DEFAULT_CHARSET},
                 {L"SimSun", GB2312_CHARSET},
                 {L"宋体", GB2312_CHARSET},
                 {L"Microsoft YaHei", GB2312_CHARSET},
                 {L"WenQuanYi Zen Hei", DEFAULT_CHARSET}};
    for (const auto& t : tries) {
        HFONT f = MakeFont(dc, t.face, true, t.charset);
        if (f && HasGlyphs(dc, f, sample)) {
            app.dateFont = f;
            break;
        }
        if (f) DeleteObject(f);
    }
    if (!app.dateFont) app.dateFont = MakeFont(dc, nullptr, true, GB2312_CHARSET);
    ReleaseDC(g_wnd, dc);
}

void DrawLabel(HDC dc, HFONT font, const Label& l, const RECT& r) {
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, Rgb(l.FontColour));
    const std::wstring text = WideFromUtf8(l.Caption);
    RECT rc = r;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc,
              (l.Centred ? DT_CENTER : DT_LEFT) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

void Paint(App& app, HDC target) {
    TForm1& f = app.form;
    RECT client{0, 0, kStripWidth, kStripHeight};
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bmp = CreateCompatibleBitmap(target, kStripWidth, kStripHeight);
    HGDIOBJ oldBmp = SelectObject(dc, bmp);
    SetBkMode(dc, TRANSPARENT);

    // Panel1: button face, raised bevel.
    RECT p1 = RectOf(f.Panel1.Place);
    FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &p1, BDR_RAISEDOUTER, BF_RECT);

    // Panel2: the indicator, with its own raised bevel.
    RECT p2 = RectOf(f.Panel2.Place);
    HBRUSH ind = CreateSolidBrush(f.Panel2.ButtonFace ? GetSysColor(COLOR_BTNFACE) : Rgb(f.Panel2.Color));
    FillRect(dc, &p2, ind);
    DeleteObject(ind);
    DrawEdge(dc, &p2, BDR_RAISEDOUTER, BF_RECT);

    // Label2 sizes itself to the date; Label1 takes the rest up to 184.
    {
        HGDIOBJ old = SelectObject(dc, app.dateFont);
        const std::wstring date = WideFromUtf8(f.Label2.Caption);
        SIZE sz{};
        GetTextExtentPoint32W(dc, date.c_str(), static_cast<int>(date.size()), &sz);
        SelectObject(dc, old);
        f.Label2.Place.Width = sz.cx;
        f.Label1.Place.Left = f.Label2.Place.Left + f.Label2.Place.Width;
        f.Label1.Place.Width = 184 - f.Label1.Place.Left;
    }
    DrawLabel(dc, app.dateFont, f.Label2, RectOf(f.Label2.Place));
    DrawLabel(dc, f.Label1.Bold ? app.dateFont : app.timeFont, f.Label1, RectOf(f.Label1.Place));

    BitBlt(target, 0, 0, kStripWidth, kStripHeight, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBmp);
    DeleteObject(bmp);
    DeleteDC(dc);
}

void OnTimer(App& app) {
    TForm1& f = app.form;
    const std::string time = f.Label1.Caption, date = f.Label2.Caption;
    const Colour colour = f.Panel2.Color;
    f.Timer1Timer();
    if (f.Label1.Caption != time || f.Label2.Caption != date || !(f.Panel2.Color == colour))
        InvalidateRect(g_wnd, nullptr, FALSE);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    App* app = g_app;
    if (!app) return DefWindowProcW(hwnd, msg, wp, lp);
    TForm1& f = app->form;
    if (app->taskbarCreated && msg == app->taskbarCreated) {
        f.TaskbarCreated();
        return 0;
    }
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            Paint(*app, dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_TIMER:
            if (wp == kTimerId) OnTimer(*app);
            return 0;
        // The three controls share the mouse handlers; client coordinates do
        // as well as the control's, since only differences count.
        case WM_LBUTTONDOWN:
            SetCapture(hwnd);
            f.Panel2MouseDown(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            return 0;
        case WM_MOUSEMOVE:
            f.Panel2MouseMove(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
            return 0;
        case WM_LBUTTONUP:
            if (GetCapture() == hwnd) ReleaseCapture();
            return 0;
        case WM_LBUTTONDBLCLK: f.Panel2DblClick(); return 0;
        case WM_RBUTTONUP: app->platform.PopupAtCursor(f.PopupMenu1); return 0;
        case kWmSync: app->mainThread.Serve(); return 0;
        case kWmClockRefused: app->boxes.Show(BoxKind::Warning, kAppTitle, kClockRefused); return 0;
        case WM_CLOSE:
            f.FormClose();
            DestroyWindow(hwnd);
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd, kTimerId);
            if (f.InTray) app->platform.TrayDelete();
            app->mainThread.StopServing();
            PostQuitMessage(0);
            return 0;
        default:
            if (msg == static_cast<UINT>(kTrayMessage)) return f.TrayIconNotify(wp, lp);
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    SingleInstance instance;
    if (!instance.Acquire("TKW")) {
        MessageBoxW(nullptr, L"串口校时程序已经在运行！", L"警告", MB_OK);
        return 0;
    }

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hIcon = AppIcon(GetSystemMetrics(SM_CXICON));
    wc.hIconSm = AppIcon(GetSystemMetrics(SM_CXSMICON));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExW(&wc)) return 1;

    g_wnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, L"TKW", WS_POPUP, 0, 0, kStripWidth,
                            kStripHeight, nullptr, nullptr, inst, nullptr);
    if (!g_wnd) return 1;

    int exitCode = 0;
    {
        App app;
        app.taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
        CreateFonts(app);
        g_app = &app;
        app.form.FormCreate();
        app.platform.CreateDialogs(inst);
        if (app.form.Visible) ShowWindow(g_wnd, SW_SHOWNOACTIVATE);
        if (app.form.Timer1.Enabled) SetTimer(g_wnd, kTimerId, static_cast<UINT>(app.form.Timer1.Interval), nullptr);

        MSG m;
        while (GetMessageW(&m, nullptr, 0, 0) > 0) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        exitCode = static_cast<int>(m.wParam);
        // No more hand-offs, then the form (and its reader) may go.
        app.mainThread.StopServing();
        g_app = nullptr;
        g_wnd = nullptr;
        DeleteObject(app.dateFont);
        DeleteObject(app.timeFont);
    }
    return exitCode;
}
