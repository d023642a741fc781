// What every control model has: its designer's name, its place in its
// parent, visibility, text colour, and the one observer its binding listens
// on. A model holds the state the program reads and writes and the rules that
// belong to the control itself; it knows nothing of the window system. The
// Windows binding creates the real control from the model, mirrors every
// change the observer reports, and turns the user's input into model updates
// and handler calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tkw {

struct Colour {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Colour&) const = default;
};

inline constexpr Colour kBlack{0, 0, 0};
inline constexpr Colour kBlue{0, 0, 255};
inline constexpr Colour kNavy{0, 0, 128};
inline constexpr Colour kRed{255, 0, 0};

struct Bounds {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const Bounds&) const = default;
};

inline constexpr Colour kWhite{255, 255, 255};
inline constexpr Colour kPurple{128, 0, 128};

enum class MouseButton { Left, Right, Middle };

class Control {
public:
    enum class Kind {
        Label, Panel, Bevel, Button, RadioButton, SpinEdit, ListBox, TrackBar, Edit, Memo, SpeedButton, Image, PaintBox
    };
    // A control without a parent may follow the form's client area: Top
    // keeps its height and takes the whole width; Client fills what the Top
    // ones leave below them.
    enum class Align { None, Top, Client };

    Control(Kind kind, std::string name, Bounds place) : kind(kind), Name(std::move(name)), Place(place) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const Kind kind;
    const std::string Name;  // the designer's name: "SpinEdit7", "Button3", ...
    Bounds Place;            // in the parent's client area
    // The control this one lies in (a panel); null for the form itself.
    Control* Parent = nullptr;
    bool Visible = true;
    bool Enabled = true;
    // Text colour; the default black leaves the system's colour.
    Colour FontColour = kBlack;
    bool Bold = false;
    // A font of its own (empty, 0: the form's face and height in pixels), or
    // the system font.
    std::string FontName;
    int FontHeight = 0;
    bool SystemFont = false;
    Align Alignment = Align::None;

    void SetVisible(bool visible) {
        if (visible == Visible) return;
        Visible = visible;
        Notify();
    }

    // The binding's: called after every change of the model's state.
    std::function<void()> Changed;

protected:
    void Notify() {
        if (Changed) Changed();
    }
};

}  // namespace tkw
