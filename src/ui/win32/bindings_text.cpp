// Labels, edits and spin fields.
#include "platform/win32_text.h"
#include "ui/win32/bindings.h"

namespace tkw {

std::string WindowTextUtf8(HWND h) {
    const int n = GetWindowTextLengthW(h);
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(h, w.data(), n + 1);
    return Utf8FromWide(w.data(), got);
}

HBRUSH WindowColours(HDC dc, const Control& model) {
    if (!(model.FontColour == kBlack)) SetTextColor(dc, ToColorRef(model.FontColour));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return GetSysColorBrush(COLOR_WINDOW);
}

// ---- Label

bool LabelBinding::Create(const BindingContext& ctx, int id) {
    font_ = ctx.fonts.For(label_);
    HDC dc = GetDC(ctx.form);
    const std::wstring text = WideFromUtf8(label_.Caption);
    const auto measure = [&](HFONT f) {
        HGDIOBJ old = SelectObject(dc, f);
        SIZE sz{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &sz);
        SelectObject(dc, old);
        return sz;
    };
    if (label_.AutoSize) {
        // As wide and high as its text in its font.
        const SIZE sz = measure(font_);
        label_.Place.Width = sz.cx;
        if (label_.Place.Height == 0) label_.Place.Height = sz.cy;
    } else if (label_.Place.Width > 0 && !label_.SystemFont) {
        // A label of a fixed width whose text the system's face draws wider
        // than the designer's did: a size smaller, rather than cut short.
        int height = label_.FontHeight > 0 ? label_.FontHeight : 13;
        while (measure(font_).cx > label_.Place.Width && height > 9) font_ = ctx.fonts.Sized(--height, label_.Bold);
    }
    ReleaseDC(ctx.form, dc);
    const DWORD align = label_.Centred ? SS_CENTER : label_.WordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP;
    // Only a label that is clicked takes the mouse; others let it through to
    // what they lie on (a panel's own press).
    const DWORD notify = label_.OnClick ? SS_NOTIFY : 0;
    if (!Make(ctx, id, L"STATIC", align | notify | SS_NOPREFIX, 0, text)) return false;
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return true;
}

void LabelBinding::OnCommand(WORD code) {
    if (code == STN_CLICKED && label_.OnClick) label_.OnClick();
}

void LabelBinding::Mirror() {
    if (!hwnd_) return;
    const std::wstring text = WideFromUtf8(label_.Caption);
    if (WindowTextUtf8(hwnd_) != label_.Caption) SetWindowTextW(hwnd_, text.c_str());
}

// ---- Edit

bool EditBinding::Create(const BindingContext& ctx, int id) {
    if (!Make(ctx, id, L"EDIT", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE,
              WideFromUtf8(edit_.Text())))
        return false;
    if (edit_.MaxLength > 0) SendMessageW(hwnd_, EM_LIMITTEXT, static_cast<WPARAM>(edit_.MaxLength), 0);
    return true;
}

void EditBinding::OnCommand(WORD code) {
    if (code == EN_CHANGE && !mirroring_) edit_.SetText(WindowTextUtf8(hwnd_));
}

HBRUSH EditBinding::OnCtlColor(HDC dc) { return WindowColours(dc, model_); }

void EditBinding::Mirror() {
    // Only a real difference is written: rewriting the same text would move
    // the caret under the user's fingers.
    if (hwnd_ && WindowTextUtf8(hwnd_) != edit_.Text()) SetWindowTextW(hwnd_, WideFromUtf8(edit_.Text()).c_str());
}

// ---- SpinEdit

namespace {
constexpr UINT_PTR kSpinSubclass = 1;
}

SpinEditBinding::~SpinEditBinding() {
    if (hwnd_) RemoveWindowSubclass(hwnd_, EditProc, kSpinSubclass);
}

bool SpinEditBinding::Create(const BindingContext& ctx, int id) {
    if (!Make(ctx, id, L"EDIT", WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, WideFromUtf8(spin_.Text())))
        return false;
    SetWindowSubclass(hwnd_, EditProc, kSpinSubclass, reinterpret_cast<DWORD_PTR>(this));
    // Its buttons on the right inside the field's place, as the designer's
    // spin field has them; not tied to the edit's text: the model owns it.
    updown_ = CreateWindowExW(0, UPDOWN_CLASSW, nullptr,
                              WS_CHILD | (Showing() ? WS_VISIBLE : 0) | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                              0, 0, 0, 0, ctx.form, nullptr, ctx.instance, nullptr);
    if (!updown_) return false;
    SendMessageW(updown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(hwnd_), 0);
    SendMessageW(updown_, UDM_SETRANGE32, static_cast<WPARAM>(spin_.MinValue), static_cast<LPARAM>(spin_.MaxValue));
    SendMessageW(updown_, UDM_SETPOS32, 0, static_cast<LPARAM>(spin_.Value()));
    return true;
}

LRESULT CALLBACK SpinEditBinding::EditProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* self = reinterpret_cast<SpinEditBinding*>(ref);
    switch (msg) {
        case WM_GETDLGCODE:
            // Enter is the field's own key (it beeps), not the dialog's.
            if (lp && reinterpret_cast<const MSG*>(lp)->message == WM_KEYDOWN && wp == VK_RETURN)
                return DefSubclassProc(h, msg, wp, lp) | DLGC_WANTMESSAGE;
            break;
        case WM_CHAR:
            if (!self->spin_.AcceptsChar(static_cast<char32_t>(wp))) {
                MessageBeep(MB_OK);
                return 0;
            }
            break;
        default: break;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

void SpinEditBinding::OnCommand(WORD code) {
    if (code == EN_CHANGE && !mirroring_) spin_.SetText(WindowTextUtf8(hwnd_));
    if (code == EN_KILLFOCUS) spin_.FocusLost();
}

HBRUSH SpinEditBinding::OnCtlColor(HDC dc) { return WindowColours(dc, model_); }

bool SpinEditBinding::OnNotify(NMHDR* h, LRESULT& result) {
    if (h->hwndFrom != updown_ || h->code != UDN_DELTAPOS) return false;
    const auto* d = reinterpret_cast<const NMUPDOWN*>(h);
    if (d->iDelta > 0) spin_.StepUp();
    if (d->iDelta < 0) spin_.StepDown();
    result = 1;  // the up-down keeps no position of its own
    return true;
}

void SpinEditBinding::Mirror() {
    if (!hwnd_) return;
    if (WindowTextUtf8(hwnd_) != spin_.Text()) SetWindowTextW(hwnd_, WideFromUtf8(spin_.Text()).c_str());
    if (updown_) {
        SendMessageW(updown_, UDM_SETPOS32, 0, static_cast<LPARAM>(spin_.Value()));
        const bool show = Showing();
        if ((IsWindowVisible(updown_) != FALSE) != show) ShowWindow(updown_, show ? SW_SHOWNA : SW_HIDE);
    }
}

}  // namespace tkw
