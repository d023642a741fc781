// A popup menu item as the program sees it: caption, check mark, visibility,
// tag and click handler. The Windows binding builds the real menu from these
// models each time it opens, so the marks are never stale; on Linux and in
// tests the models are all there is.
#pragma once

#include <functional>
#include <string>

namespace tkw {

class MenuItem {
public:
    MenuItem(std::string name, std::string caption, int tag = 0)
        : Name(std::move(name)), Caption(std::move(caption)), Tag(tag) {}

    // Runs the click handler, as a click on the real item would.
    void Click() {
        if (OnClick) OnClick(*this);
    }

    const std::string Name;  // the designer's name: "com11", "N21", ...
    std::string Caption;
    int Tag = 0;
    bool Checked = false;
    bool Visible = true;
    bool Enabled = true;
    // As the menu defines them: the group the item belongs to, and whether
    // it shows a radio dot rather than a tick when checked.
    int GroupIndex = 0;
    bool RadioItem = false;
    // A caption of "-" makes the item a separator line.
    bool IsLine() const { return Caption == "-"; }
    std::function<void(MenuItem&)> OnClick;
};

}  // namespace tkw
