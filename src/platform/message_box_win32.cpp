#include "platform/message_box_win32.h"

#include "platform/win32_text.h"

namespace tkw {

void Win32Boxes::Show(BoxKind kind, const std::string& caption, const std::string& text) {
    UINT flags = MB_OK | MB_SETFOREGROUND;
    switch (kind) {
        case BoxKind::Plain: break;
        case BoxKind::Warning: flags |= MB_ICONWARNING; break;
        case BoxKind::Error:
        case BoxKind::Stop: flags |= MB_ICONERROR; break;
    }
    // Owned by the program's active window (an open dialog, which the box then
    // holds off until it is closed), else by the strip, so that it stays above
    // them.
    HWND owner = GetActiveWindow();
    if (!owner && fallbackOwner_) owner = fallbackOwner_();
    MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(caption).c_str(), flags);
}

}  // namespace tkw
