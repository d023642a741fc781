#include "ui/win32/popup_menu.h"

#include <string>

#include "platform/win32_text.h"

namespace tkw {

MenuItem* TrackMenu(HWND owner, MenuItem* const* items, size_t count, POINT at) {
    HMENU h = CreatePopupMenu();
    if (!h) return nullptr;
    // Ids are the item's place plus one (0 is "none").
    for (size_t i = 0; i < count; ++i) {
        const MenuItem& it = *items[i];
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
    // In front first, or the menu stays open when the user clicks elsewhere.
    SetForegroundWindow(owner);
    const UINT cmd = static_cast<UINT>(
        TrackPopupMenu(h, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, owner, nullptr));
    PostMessageW(owner, WM_NULL, 0, 0);
    DestroyMenu(h);
    return cmd >= 1 && cmd <= count ? items[cmd - 1] : nullptr;
}

}  // namespace tkw
