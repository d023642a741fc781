#include "ui/list_box.h"

namespace tkw {

void ListBox::Add(std::string line) {
    items_.push_back(std::move(line));
    Notify();
}

void ListBox::Clear() {
    if (items_.empty() && index_ == -1) return;
    items_.clear();
    index_ = -1;
    Notify();
}

void ListBox::Delete(int i) {
    if (i < 0 || i >= static_cast<int>(items_.size())) return;
    items_.erase(items_.begin() + i);
    index_ = -1;
    Notify();
}

void ListBox::SetItemIndex(int i) {
    if (i < -1 || i >= static_cast<int>(items_.size())) i = -1;
    if (i == index_) return;
    index_ = i;
    Notify();
}

void ListBox::Click(int i) {
    SetItemIndex(i);
    if (OnClick) OnClick();
}

}  // namespace tkw
