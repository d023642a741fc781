// Push buttons and radio buttons.
#include "platform/win32_text.h"
#include "ui/win32/bindings.h"

namespace tkw {

bool ButtonBinding::Create(const BindingContext& ctx, int id) {
    return Make(ctx, id, L"BUTTON", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 0, WideFromUtf8(button_.Caption)) !=
           nullptr;
}

void ButtonBinding::OnCommand(WORD code) {
    if (code == BN_CLICKED) button_.Click();
}

void ButtonBinding::Mirror() {
    if (hwnd_ && WindowTextUtf8(hwnd_) != button_.Caption) SetWindowTextW(hwnd_, WideFromUtf8(button_.Caption).c_str());
}

namespace {
constexpr UINT_PTR kRadioSubclass = 1;
}

RadioBinding::~RadioBinding() {
    if (hwnd_) RemoveWindowSubclass(hwnd_, Proc, kRadioSubclass);
}

bool RadioBinding::Create(const BindingContext& ctx, int id) {
    // The group's first member opens a dialog group that the next members
    // join (they follow it in the form's order), so the arrow keys stay
    // within it; Mirror keeps the tab stop on the checked member.
    const bool first = !radio_.Group || radio_.Group->Members().front() == &radio_;
    if (!Make(ctx, id, L"BUTTON", (first ? WS_GROUP : 0) | BS_RADIOBUTTON, 0, WideFromUtf8(radio_.Caption)))
        return false;
    // Taking the focus is not a click: only the user's clicks, Space and the
    // arrow keys choose.
    SendMessageW(hwnd_, BM_SETDONTCLICK, TRUE, 0);
    SetWindowSubclass(hwnd_, Proc, kRadioSubclass, reinterpret_cast<DWORD_PTR>(this));
    Mirror();
    return true;
}

// The arrow keys move to the group's next (or previous) member and choose
// it, as in any Windows dialog; the dialog manager alone would only move
// the focus, since the button does not click itself when focused.
LRESULT CALLBACK RadioBinding::Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    switch (msg) {
        case WM_GETDLGCODE:
            return DefSubclassProc(h, msg, wp, lp) | DLGC_WANTARROWS;
        case WM_KEYDOWN:
            if (wp == VK_UP || wp == VK_DOWN || wp == VK_LEFT || wp == VK_RIGHT) {
                HWND next = GetNextDlgGroupItem(GetParent(h), h, wp == VK_UP || wp == VK_LEFT);
                if (next && next != h) SendMessageW(next, BM_CLICK, 0, 0);
                return 0;
            }
            break;
        default: break;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

void RadioBinding::OnCommand(WORD code) {
    if (code == BN_CLICKED) radio_.Click();
}

void RadioBinding::Mirror() {
    if (!hwnd_) return;
    SendMessageW(hwnd_, BM_SETCHECK, radio_.Checked ? BST_CHECKED : BST_UNCHECKED, 0);
    // After BM_SETCHECK, which moves the tab stop itself, but not to the
    // first member when none is checked.
    const bool stop = !radio_.Group || radio_.Group->TabStop() == &radio_;
    const LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE);
    const LONG_PTR want = stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    if (want != style) SetWindowLongPtrW(hwnd_, GWL_STYLE, want);
}

}  // namespace tkw
