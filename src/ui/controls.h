// The plain controls of the strip as models: what the window shows and where.
// The binding paints them and sizes the real controls after them; handlers
// and tests only read and write these fields.
#pragma once

#include <cstdint>
#include <string>

namespace tkw {

struct Colour {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Colour&) const = default;
};

inline constexpr Colour kBlue{0, 0, 255};

struct Bounds {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const Bounds&) const = default;
};

struct Label {
    std::string Caption;
    Bounds Place;
    Colour FontColour;
    bool Bold = false;
    bool Centred = false;
    // The width follows the caption; the binding measures it.
    bool AutoSize = false;
};

struct Panel {
    Bounds Place;
    Colour Color;
    // The system's button-face colour instead of Color.
    bool ButtonFace = false;
};

struct Timer {
    int Interval = 0;  // milliseconds
    bool Enabled = false;
};

}  // namespace tkw
