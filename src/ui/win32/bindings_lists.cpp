// List boxes and sliders.
#include "platform/win32_text.h"
#include "ui/win32/bindings.h"

namespace tkw {

bool ListBoxBinding::Create(const BindingContext& ctx, int id) {
    if (!Make(ctx, id, L"LISTBOX", WS_TABSTOP | WS_GROUP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
              WS_EX_CLIENTEDGE, L""))
        return false;
    Mirror();
    return true;
}

void ListBoxBinding::OnCommand(WORD code) {
    if (code != LBN_SELCHANGE || mirroring_) return;
    const LRESULT i = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
    list_.Click(i == LB_ERR ? -1 : static_cast<int>(i));
}

HBRUSH ListBoxBinding::OnCtlColor(HDC dc) { return WindowColours(dc, model_); }

void ListBoxBinding::Mirror() {
    if (!hwnd_) return;
    const auto& items = list_.Items();
    // The lines are written again only when they differ from what is shown.
    bool same = SendMessageW(hwnd_, LB_GETCOUNT, 0, 0) == static_cast<LRESULT>(items.size());
    for (size_t i = 0; same && i < items.size(); ++i) {
        const LRESULT n = SendMessageW(hwnd_, LB_GETTEXTLEN, i, 0);
        std::wstring w(static_cast<size_t>(n > 0 ? n : 0) + 1, L'\0');
        SendMessageW(hwnd_, LB_GETTEXT, i, reinterpret_cast<LPARAM>(w.data()));
        same = Utf8FromWide(w.data(), static_cast<int>(n)) == items[i];
    }
    if (!same) {
        SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
        SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
        for (const std::string& line : items)
            SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(line).c_str()));
        SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
    if (SendMessageW(hwnd_, LB_GETCURSEL, 0, 0) != list_.ItemIndex())
        SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(list_.ItemIndex()), 0);
}

bool TrackBarBinding::Create(const BindingContext& ctx, int id) {
    if (!Make(ctx, id, TRACKBAR_CLASSW, WS_TABSTOP | WS_GROUP | TBS_HORZ | TBS_BOTTOM | TBS_NOTICKS, 0, L""))
        return false;
    SendMessageW(hwnd_, TBM_SETRANGEMIN, FALSE, bar_.Min);
    SendMessageW(hwnd_, TBM_SETRANGEMAX, FALSE, bar_.Max);
    SendMessageW(hwnd_, TBM_SETPAGESIZE, 0, 10);
    Mirror();
    return true;
}

void TrackBarBinding::OnScroll() {
    if (!mirroring_) bar_.SetPosition(static_cast<int>(SendMessageW(hwnd_, TBM_GETPOS, 0, 0)));
}

void TrackBarBinding::Mirror() {
    if (hwnd_ && SendMessageW(hwnd_, TBM_GETPOS, 0, 0) != bar_.Position())
        SendMessageW(hwnd_, TBM_SETPOS, TRUE, bar_.Position());
}

}  // namespace tkw
