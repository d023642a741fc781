// The popup menu, built afresh from the item models each time it opens, so
// that marks, captions and visibility are never stale. Windows builds only.
#pragma once

#include <windows.h>

#include <cstddef>

#include "ui/menu_item.h"

namespace tkw {

// Shows `items` (top to bottom, separators included) at `at` (screen
// coordinates) for `owner`, which is brought to the front first so that a
// click elsewhere closes the menu. Returns the chosen item, or null.
MenuItem* TrackMenu(HWND owner, MenuItem* const* items, size_t count, POINT at);

}  // namespace tkw
