// A slider over a range, and a one-line text field. Each reports a change
// (OnChange) only when its position or text really changes, so two of them
// that mirror each other settle after one round instead of calling each
// other without end.
#pragma once

#include <algorithm>
#include <functional>
#include <string>

#include "ui/control.h"

namespace tkw {

class TrackBar final : public Control {
public:
    TrackBar(std::string name, Bounds place, int min, int max)
        : Control(Kind::TrackBar, std::move(name), place), Min(min), Max(max), position_(min) {}

    const int Min, Max;
    int Position() const { return position_; }
    // Brought into the range.
    void SetPosition(int p) {
        p = std::clamp(p, Min, Max);
        if (p == position_) return;
        position_ = p;
        Notify();
        if (OnChange) OnChange();
    }

    std::function<void()> OnChange;

private:
    int position_;
};

class Edit final : public Control {
public:
    Edit(std::string name, Bounds place, int maxLength = 0)
        : Control(Kind::Edit, std::move(name), place), MaxLength(maxLength) {}

    // What the user may type at most (0: no limit); text the program sets is
    // taken whole.
    const int MaxLength;
    const std::string& Text() const { return text_; }
    void SetText(std::string text) {
        if (text == text_) return;
        text_ = std::move(text);
        Notify();
        if (OnChange) OnChange();
    }

    std::function<void()> OnChange;

private:
    std::string text_;
};

}  // namespace tkw
