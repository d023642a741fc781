#include "ui/spin_edit.h"

#include <algorithm>
#include <climits>

namespace tkw {

bool ParseInteger(const std::string& text, int& out) {
    size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    while (n > i && text[n - 1] == ' ') --n;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == n) return false;
    long long v = 0;
    for (; i < n; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        if (v <= INT_MAX) v = v * 10 + (text[i] - '0');  // past int's range it only has to stay there
    }
    if (negative) v = -v;
    out = static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    return true;
}

SpinEdit::SpinEdit(std::string name, Bounds place, int min, int max, int value)
    : Control(Kind::SpinEdit, std::move(name), place), MinValue(min), MaxValue(max),
      text_(std::to_string(std::clamp(value, min, max))) {}

int SpinEdit::Value() const {
    int v = 0;
    if (!ParseInteger(text_, v)) return MinValue;
    return std::clamp(v, MinValue, MaxValue);
}

void SpinEdit::SetValue(int v) { SetText(std::to_string(std::clamp(v, MinValue, MaxValue))); }

void SpinEdit::SetText(std::string text) {
    if (text == text_) return;
    text_ = std::move(text);
    Notify();
}

void SpinEdit::FocusLost() { SetValue(Value()); }

bool SpinEdit::AcceptsChar(char32_t c) const {
    // Ctrl+A, C, V, X and Z arrive as characters too: select, copy, paste,
    // cut and undo are editing keys.
    constexpr char32_t kCtrlA = 1, kCtrlC = 3, kCtrlV = 22, kCtrlX = 24, kCtrlZ = 26;
    return (c >= U'0' && c <= U'9') || c == U'+' || c == U'-' || c == static_cast<char32_t>(DecimalSeparator) ||
           c == U'\b' || c == kCtrlA || c == kCtrlC || c == kCtrlV || c == kCtrlX || c == kCtrlZ;
}

}  // namespace tkw
