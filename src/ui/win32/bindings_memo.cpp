// Memos: an edit of their own text, or a rich edit over the monitor text.
#include <richedit.h>

#include "platform/win32_text.h"
#include "ui/win32/bindings.h"

namespace tkw {

namespace {

// The rich edit's class, its library loaded once for the program's life
// (Msftedit, else the older riched20); null when neither is there.
const wchar_t* RichEditClass() {
    static const wchar_t* cls = [] {
        if (LoadLibraryW(L"Msftedit.dll")) return L"RICHEDIT50W";
        if (LoadLibraryW(L"riched20.dll")) return RICHEDIT_CLASSW;
        return static_cast<const wchar_t*>(nullptr);
    }();
    return cls;
}

// Characters in the control as its selection counts them (a rich edit counts
// a line break as one).
DWORD TextLength(HWND h, bool rich) {
    if (!rich) return static_cast<DWORD>(GetWindowTextLengthW(h));
    GETTEXTLENGTHEX q{GTL_NUMCHARS | GTL_PRECISE, 1200};
    return static_cast<DWORD>(SendMessageW(h, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&q), 0));
}

}  // namespace

MemoBinding::~MemoBinding() {
    if (memo_.Source) {
        memo_.Source->OnAppend = nullptr;
        memo_.Source->OnClear = nullptr;
    }
}

bool MemoBinding::Create(const BindingContext& ctx, int id) {
    DWORD style = WS_TABSTOP | WS_GROUP | ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL;
    if (memo_.ReadOnly) style |= ES_READONLY;
    const wchar_t* cls = L"EDIT";
    if (memo_.Source && RichEditClass()) {
        cls = RichEditClass();
        rich_ = true;
        // Both bars always there; lines still wrap at the width.
        if (memo_.ScrollBars == Memo::Bars::Both) style |= WS_HSCROLL | ES_DISABLENOSCROLL;
    } else if (!memo_.WordWrap) {
        style |= WS_HSCROLL | ES_AUTOHSCROLL;
    }
    if (!Make(ctx, id, cls, style, WS_EX_CLIENTEDGE, L"")) return false;
    if (rich_) {
        SendMessageW(hwnd_, EM_SETTEXTMODE, TM_PLAINTEXT, 0);
        SendMessageW(hwnd_, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
        SendMessageW(hwnd_, EM_SETTARGETDEVICE, 0, 0);  // wrap at the window's width
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(ctx.fonts.For(memo_)), FALSE);
    } else {
        SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);
    }
    if (memo_.Source) {
        memo_.Source->OnAppend = [this](size_t i) { AppendOne(i); };
        memo_.Source->OnClear = [this] { Rebuild(); };
        Rebuild();
    } else {
        std::string text;
        for (size_t i = 0; i < memo_.Lines.size(); ++i) text += (i ? "\r\n" : "") + memo_.Lines[i];
        SetWindowTextW(hwnd_, WideFromUtf8(text).c_str());
    }
    return true;
}

HBRUSH MemoBinding::OnCtlColor(HDC dc) { return WindowColours(dc, model_); }

// The whole view afresh: on making it, after a clear, and once in a long
// while when the oldest shown lines are dropped.
void MemoBinding::Rebuild() {
    const MonitorLog& log = *memo_.Source;
    const size_t n = log.Count();
    const size_t first = tail_.Reset(n);
    std::string text;
    if (first > 0) text = TailWindow::HiddenText(first);
    for (size_t i = first; i < n; ++i) {
        if (!text.empty() || i > first) text += "\r\n";
        text += log.Line(i);
    }
    SetWindowTextW(hwnd_, WideFromUtf8(text).c_str());
    // The newest line in view.
    const DWORD len = TextLength(hwnd_, rich_);
    SendMessageW(hwnd_, EM_SETSEL, len, len);
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

// One line at the end, without touching what is already there; the user's
// selection and scroll position stay unless they were at the end.
void MemoBinding::AppendOne(size_t index) {
    const MonitorLog& log = *memo_.Source;
    if (tail_.Appended(log.Count())) {
        Rebuild();
        return;
    }
    const bool first = index == tail_.First() && tail_.First() == 0;
    std::string text = first ? "" : "\r\n";
    text.append(log.Line(index));
    const std::wstring line = WideFromUtf8(text);
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    const DWORD len = TextLength(hwnd_, rich_);
    const bool follow = selStart == selEnd && selEnd >= len;
    POINT scroll{};
    if (rich_ && !follow) SendMessageW(hwnd_, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(len), static_cast<LPARAM>(len));
    SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
    if (follow) {
        SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
    } else {
        SendMessageW(hwnd_, EM_SETSEL, selStart, selEnd);
        if (rich_) SendMessageW(hwnd_, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    }
}

}  // namespace tkw
