// The Win32 side of a control model: the real control made from the model,
// kept in step with it, and the user's input turned into model updates and
// handler calls. One binding per kind of control; the form host makes them
// all and routes its window's messages to them. Windows builds only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/control.h"

namespace tkw {

// The fonts of one form: its own face and size, the bold variant, the
// system font, and any other pixel height a control asks for.
class FormFonts {
public:
    FormFonts(const std::wstring& face, int height);
    ~FormFonts();
    FormFonts(const FormFonts&) = delete;
    FormFonts& operator=(const FormFonts&) = delete;
    HFONT For(const Control& c);
    // The form's face (or `face`) at `height` pixels (character height).
    HFONT Sized(int height, bool bold);
    HFONT Sized(int height, bool bold, const std::wstring& face);

private:
    struct Made {
        int height = 0;
        bool bold = false;
        std::wstring face;
        HFONT font = nullptr;
    };
    std::wstring face_;
    int height_;
    std::vector<Made> made_;  // every font made, each freed with the form
};

struct BindingContext {
    HWND form;
    HINSTANCE instance;
    FormFonts& fonts;
};

class ControlBinding {
public:
    explicit ControlBinding(Control& model) : model_(model) {}
    virtual ~ControlBinding();
    ControlBinding(const ControlBinding&) = delete;
    ControlBinding& operator=(const ControlBinding&) = delete;

    // Makes the real control (or nothing, for what is only drawn on the form).
    virtual bool Create(const BindingContext& ctx, int id) = 0;
    // The model changed: show it.
    void Sync();

    // The form's window got these for this control.
    virtual void OnCommand(WORD) {}
    virtual bool OnNotify(NMHDR*, LRESULT&) { return false; }
    virtual void OnScroll() {}
    // WM_CTLCOLOR*: the text colour into `dc`; the background brush, or null
    // for the system's.
    virtual HBRUSH OnCtlColor(HDC dc);
    // Drawn on the form itself (panels, bevels), in the form's WM_PAINT.
    virtual void PaintOnForm(HDC) {}

    Control& Model() const { return model_; }
    HWND Handle() const { return hwnd_; }
    // The place in the form's client area (a control in a panel lies at the
    // panel's place plus its own).
    RECT Rect() const;
    // Shown: the model and every panel it lies in are visible.
    bool Showing() const;
    // The model's place changed (the form was resized): the control follows.
    virtual void Relayout();

protected:
    virtual void Mirror() = 0;
    HWND Make(const BindingContext& ctx, int id, const wchar_t* cls, DWORD style, DWORD exStyle,
              const std::wstring& text);
    // The colour behind the control: the panel it lies on, or the face colour.
    COLORREF BackColour() const;

    Control& model_;
    HWND hwnd_ = nullptr;
    // Made on the first WM_CTLCOLOR* and kept: no panel of a dialog changes
    // its colour once shown.
    HBRUSH back_ = nullptr;
    // Set while the binding writes into its own control, so that the change
    // notification it causes is not taken for the user's input.
    bool mirroring_ = false;
};

std::unique_ptr<ControlBinding> MakeBinding(Control& model);

COLORREF ToColorRef(const Colour& c);

}  // namespace tkw
