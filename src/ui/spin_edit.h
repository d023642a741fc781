// An integer field with up and down buttons and bounds.
//
// The text is what the user typed and may for a while be out of range or no
// number at all; the value is what the program reads: text that is not an
// integer reads as the minimum, and a number beyond a bound reads as that
// bound. On focus loss the text becomes the value it reads as, and every value
// set is brought into the bounds first, so what is shown and what is applied
// never differ once the user has left the field.
#pragma once

#include <cstdint>
#include <string>

#include "ui/control.h"

namespace tkw {

class SpinEdit final : public Control {
public:
    SpinEdit(std::string name, Bounds place, int min, int max, int value = 0);

    int MinValue, MaxValue;

    const std::string& Text() const { return text_; }
    int Value() const;
    // Brought into the bounds.
    void SetValue(int v);
    // The field's text as the user left it after an edit (the binding passes
    // every change of the real control's text).
    void SetText(std::string text);
    void FocusLost();
    // The up and down buttons and arrow keys: one step, stopping at the bounds.
    void StepUp() { SetValue(Value() < MaxValue ? Value() + 1 : MaxValue); }
    void StepDown() { SetValue(Value() > MinValue ? Value() - 1 : MinValue); }

    // Whether a typed character is taken: digits, a sign, the decimal
    // separator and the editing keys (Backspace). Anything else, Enter
    // included, is refused and the binding beeps.
    bool AcceptsChar(char32_t c) const;
    char DecimalSeparator = '.';

private:
    std::string text_;
};

// Reads a whole decimal integer (blanks around it and a sign allowed). A
// number beyond int's range reads as the nearer end of it. False for anything
// else, an empty text included.
bool ParseInteger(const std::string& text, int& out);

}  // namespace tkw
