// A list of text lines with at most one selected.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace tkw {

class ListBox final : public Control {
public:
    ListBox(std::string name, Bounds place) : Control(Kind::ListBox, std::move(name), place) {}

    const std::vector<std::string>& Items() const { return items_; }
    // The selected line, -1 for none.
    int ItemIndex() const { return index_; }

    void Add(std::string line);
    void Clear();
    // Removes line `i` (nothing for a line that is not there); the selection
    // goes with it.
    void Delete(int i);
    void SetItemIndex(int i);
    // As a click on line `i` of the real list: selects it, then OnClick.
    void Click(int i);

    std::function<void()> OnClick;

private:
    std::vector<std::string> items_;
    int index_ = -1;
};

}  // namespace tkw
