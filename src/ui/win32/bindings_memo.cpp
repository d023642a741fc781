// Memos: an edit of their own text, or of the newest lines of the monitor text.
#include <algorithm>

#include "platform/win32_text.h"
#include "ui/win32/bindings.h"

namespace tkw {

namespace {

// An edit control counts a line break as two characters (CR LF).
constexpr DWORD kBreak = 2;

DWORD TextLength(HWND h) { return static_cast<DWORD>(GetWindowTextLengthW(h)); }

// Characters a line takes in the control (UTF-16 units, as selections count).
uint32_t Units(std::string_view utf8) { return static_cast<uint32_t>(WideFromUtf8(std::string(utf8)).size()); }

}  // namespace

MemoBinding::~MemoBinding() {
    if (hwnd_) RemoveWindowSubclass(hwnd_, Proc, 1);
    if (memo_.Source) {
        memo_.Source->OnAppend = nullptr;
        memo_.Source->OnClear = nullptr;
    }
}

bool MemoBinding::Create(const BindingContext& ctx, int id) {
    DWORD style = WS_TABSTOP | WS_GROUP | ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL | ES_NOHIDESEL;
    if (memo_.ReadOnly) style |= ES_READONLY;
    // A horizontal bar asked for with wrapping is added once the edit has
    // taken its wrapping style: created with it, an edit does not wrap.
    const bool lateBar = memo_.WordWrap && memo_.ScrollBars == Memo::Bars::Both;
    if (!memo_.WordWrap) style |= WS_HSCROLL | ES_AUTOHSCROLL;
    if (!Make(ctx, id, L"EDIT", style, WS_EX_CLIENTEDGE, L"")) return false;
    SendMessageW(hwnd_, EM_SETLIMITTEXT, 0, 0);
    if (lateBar) {
        SetWindowLongPtrW(hwnd_, GWL_STYLE, GetWindowLongPtrW(hwnd_, GWL_STYLE) | WS_HSCROLL);
        SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        // Lines wrap at the width: there is never anything to scroll sideways.
        EnableScrollBar(hwnd_, SB_HORZ, ESB_DISABLE_BOTH);
    }
    if (memo_.Source) {
        SetWindowSubclass(hwnd_, Proc, 1, reinterpret_cast<DWORD_PTR>(this));
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

// The whole view afresh, when it is made (at start-up, the text empty) and
// after a clear; a long text goes in a piece at a time.
void MemoBinding::Rebuild() {
    pending_ = false;
    const MonitorLog& log = *memo_.Source;
    const size_t n = log.Count();
    const size_t first = tail_.Reset(n);
    shown_.clear();
    header_ = 0;
    std::string head;
    if (first > 0) {
        head = TailWindow::HiddenText(first);
        header_ = Units(head);
    }
    SetWindowTextW(hwnd_, WideFromUtf8(head).c_str());
    for (size_t from = first; from < n; from += 500) AppendLines(from, std::min(n, from + 500));
    ScrollToEnd();
}

void MemoBinding::ScrollToEnd() {
    const DWORD len = TextLength(hwnd_);
    SendMessageW(hwnd_, EM_SETSEL, len, len);
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

// Lines [from, to) of the store at the end of the control.
void MemoBinding::AppendLines(size_t from, size_t to) {
    const MonitorLog& log = *memo_.Source;
    std::string text;
    for (size_t i = from; i < to; ++i) {
        if (header_ > 0 || !shown_.empty()) text += "\r\n";
        text += log.Line(i);
        shown_.push_back(Units(log.Line(i)));
    }
    if (text.empty()) return;
    const std::wstring w = WideFromUtf8(text);
    const DWORD len = TextLength(hwnd_);
    SendMessageW(hwnd_, EM_SETSEL, len, len);
    SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
}

// The oldest `count` shown lines out, the first line saying how many the
// store keeps beyond the view. Returns how many characters the top of the
// text lost (the user's selection moves up by as many).
long MemoBinding::DropLines(size_t count) {
    count = std::min(count, shown_.size());
    DWORD cut = 0;
    for (size_t i = 0; i < count; ++i) cut += shown_[i] + kBreak;  // each with the break after it
    DWORD start = header_ > 0 ? header_ + kBreak : 0;
    if (count == shown_.size() && count > 0) {
        // The last line has no break after it: the one before the first goes
        // instead (the header's), or none when there is no header.
        if (header_ > 0)
            start = header_;
        else
            cut -= kBreak;
    }
    shown_.erase(shown_.begin(), shown_.begin() + static_cast<long>(count));
    SendMessageW(hwnd_, EM_SETSEL, start, start + cut);
    SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    const std::string head = TailWindow::HiddenText(tail_.First());
    const uint32_t units = Units(head);
    const std::wstring w = WideFromUtf8(header_ > 0 || shown_.empty() ? head : head + "\r\n");
    SendMessageW(hwnd_, EM_SETSEL, 0, header_);
    SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
    const long lost = static_cast<long>(cut) + static_cast<long>(header_) - static_cast<long>(units) -
                      (header_ > 0 || shown_.empty() ? 0 : static_cast<long>(kBreak));
    header_ = units;
    return lost;
}

// A line came: it is written in with the others that come before the message
// loop turns again (a burst after a reconnection costs one update, not one
// each).
void MemoBinding::AppendOne(size_t index) {
    if (pending_) return;
    pending_ = true;
    pendingFrom_ = index;
    PostMessageW(hwnd_, kWmFlush, 0, 0);
}

// The lines that came since the last flush go in at the end, and when the
// view has grown past its bound the oldest go out at the top, without
// touching the rest; the user's selection and place stay unless they were at
// the end, which then follows the newest line.
void MemoBinding::Flush() {
    if (!pending_) return;
    pending_ = false;
    const MonitorLog& log = *memo_.Source;
    const size_t n = log.Count();
    if (pendingFrom_ >= n) return;
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(hwnd_, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    const bool follow = selStart == selEnd && selEnd >= TextLength(hwnd_);
    const LRESULT top = SendMessageW(hwnd_, EM_GETFIRSTVISIBLELINE, 0, 0);

    long lost = 0;
    if (const size_t drop = tail_.Appended(n)) lost = DropLines(drop);
    AppendLines(std::max(pendingFrom_, tail_.First()), n);

    if (follow) {
        ScrollToEnd();
    } else {
        const auto moved = [lost](DWORD at) { return at > static_cast<DWORD>(std::max(lost, 0L)) ? at - lost : 0; };
        SendMessageW(hwnd_, EM_SETSEL, moved(selStart), moved(selEnd));
        // Back to the lines the user was reading (as near as the cut allows).
        const LRESULT nowTop = SendMessageW(hwnd_, EM_GETFIRSTVISIBLELINE, 0, 0);
        SendMessageW(hwnd_, EM_LINESCROLL, 0, top - nowTop);
    }
}

LRESULT CALLBACK MemoBinding::Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    if (msg == kWmFlush) {
        reinterpret_cast<MemoBinding*>(ref)->Flush();
        return 0;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace tkw
