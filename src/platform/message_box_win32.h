// Message boxes as real modal Windows boxes. Windows builds only.
#pragma once

#include <windows.h>

#include <functional>

#include "platform/message_box.h"

namespace tkw {

class Win32Boxes final : public MessageBoxes {
public:
    // `fallbackOwner` gives the window a box belongs to when none of the
    // program's windows is active (the strip); null: no owner.
    explicit Win32Boxes(std::function<HWND()> fallbackOwner = {}) : fallbackOwner_(std::move(fallbackOwner)) {}
    void Show(BoxKind kind, const std::string& caption, const std::string& text) override;

private:
    std::function<HWND()> fallbackOwner_;
};

}  // namespace tkw
