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

bool RadioBinding::Create(const BindingContext& ctx, int id) {
    if (!Make(ctx, id, L"BUTTON", WS_TABSTOP | WS_GROUP | BS_RADIOBUTTON, 0, WideFromUtf8(radio_.Caption)))
        return false;
    Mirror();
    return true;
}

void RadioBinding::OnCommand(WORD code) {
    if (code == BN_CLICKED) radio_.Click();
}

void RadioBinding::Mirror() {
    if (hwnd_) SendMessageW(hwnd_, BM_SETCHECK, radio_.Checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace tkw
