// The simple control models: labels, panels, bevels, buttons, radio buttons,
// the timer. The ones with rules of their own (spin field, list, slider, edit)
// have their own headers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/control.h"

namespace tkw {

class Label final : public Control {
public:
    Label(std::string name, std::string caption, Bounds place, Colour colour = kBlack, bool bold = false)
        : Control(Kind::Label, std::move(name), place), Caption(std::move(caption)) {
        FontColour = colour;
        Bold = bold;
    }
    void SetCaption(std::string text) {
        if (text == Caption) return;
        Caption = std::move(text);
        Notify();
    }

    std::string Caption;
    bool Centred = false;
    // The width follows the caption; the binding measures it.
    bool AutoSize = false;
    // Long text breaks into lines within the width.
    bool WordWrap = false;
    // A label that is a link: the hand cursor over it, and a click.
    bool HandCursor = false;
    std::function<void()> OnClick;
};

enum class BevelCut { None, Raised, Lowered };

class Panel final : public Control {
public:
    Panel(std::string name, Bounds place, Colour colour = {}, bool buttonFace = true)
        : Control(Kind::Panel, std::move(name), place), Color(colour), ButtonFace(buttonFace) {}
    void SetColor(Colour c) {
        if (c == Color && !ButtonFace) return;
        Color = c;
        ButtonFace = false;
        Notify();
    }

    Colour Color;
    // The system's button-face colour instead of Color.
    bool ButtonFace = true;
    BevelCut BevelOuter = BevelCut::Raised;
    BevelCut BevelInner = BevelCut::None;
    // A one-pixel frame outside the bevels.
    bool SingleBorder = false;
    // A mouse button pressed on the panel itself (not on a control in it);
    // x and y relative to the panel.
    std::function<void(MouseButton, bool shift, int x, int y)> OnMouseDown;
};

// A flat button showing a 16 x 16 picture (a normal one, and a greyed one for
// when it is disabled) and a hint as its tooltip.
class SpeedButton final : public Control {
public:
    SpeedButton(std::string name, Bounds place, int glyph, int greyGlyph, std::string hint)
        : Control(Kind::SpeedButton, std::move(name), place), Glyph(glyph), GreyGlyph(greyGlyph),
          Hint(std::move(hint)) {}
    void Click() {
        if (OnClick) OnClick();
    }

    const int Glyph, GreyGlyph;  // the program's icon resources
    const std::string Hint;
    std::function<void()> OnClick;
};

// A picture from the program's resources (a JPEG), decoded when the window is
// made and drawn stretched to the control's place; nothing when it cannot be
// decoded.
class Image final : public Control {
public:
    Image(std::string name, Bounds place, int resource)
        : Control(Kind::Image, std::move(name), place), Resource(resource) {}
    const int Resource;
};

// What a paint box draws on, given by its binding.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void SetFont(const std::string& face, int points) = 0;
    virtual int TextHeight(const std::string& text) = 0;
    // Drawn on an opaque background of the surface's colour.
    virtual void Write(int x, int y, const std::string& text) = 0;
};

// A surface to draw on, for a handler; it keeps nothing of its own.
class PaintBox final : public Control {
public:
    PaintBox(std::string name, Bounds place) : Control(Kind::PaintBox, std::move(name), place) {}
    Canvas* Surface = nullptr;  // null until the binding has made the window
};

// A frame drawn around other controls; it takes no input.
class Bevel final : public Control {
public:
    Bevel(std::string name, Bounds place, BevelCut cut = BevelCut::Lowered)
        : Control(Kind::Bevel, std::move(name), place), Style(cut) {}
    BevelCut Style;
};

class Button final : public Control {
public:
    Button(std::string name, std::string caption, Bounds place)
        : Control(Kind::Button, std::move(name), place), Caption(std::move(caption)) {}
    // As a click on the real button.
    void Click() {
        if (OnClick) OnClick();
    }

    std::string Caption;
    std::function<void()> OnClick;
};

class RadioButton;

// The radio buttons that uncheck each other. The keyboard reaches the group
// at one member only, the checked one (the first while none is): focus never
// lands on an unchecked member unless the user moves it there, so taking the
// focus cannot change the choice (Windows clicks a radio button that gets the
// focus unchecked). The window lists the members one after another, so that
// the arrow keys step through them.
class RadioGroup {
public:
    RadioGroup(std::initializer_list<RadioButton*> members);
    const std::vector<RadioButton*>& Members() const { return members_; }
    // The member that takes the keyboard: the checked one, else the first.
    RadioButton* TabStop() const;

private:
    std::vector<RadioButton*> members_;
};

class RadioButton final : public Control {
public:
    RadioButton(std::string name, std::string caption, Bounds place)
        : Control(Kind::RadioButton, std::move(name), place), Caption(std::move(caption)) {}
    // Checking one unchecks the others of its group.
    void SetChecked(bool checked);
    // As a click on the real button: it checks it.
    void Click() {
        SetChecked(true);
        if (OnClick) OnClick();
    }

    std::string Caption;
    bool Checked = false;
    RadioGroup* Group = nullptr;
    std::function<void()> OnClick;
};

struct Timer {
    int Interval = 0;  // milliseconds
    bool Enabled = false;
};

}  // namespace tkw
