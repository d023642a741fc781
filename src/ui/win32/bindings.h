// The binding of each kind of control. Windows builds only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <ocidl.h>

#include <deque>
#include <olectl.h>

#include "ui/controls.h"
#include "ui/list_box.h"
#include "ui/memo.h"
#include "ui/spin_edit.h"
#include "ui/track_bar.h"
#include "ui/win32/control_binding.h"

namespace tkw {

// A static text.
class LabelBinding final : public ControlBinding {
public:
    explicit LabelBinding(Label& m) : ControlBinding(m), label_(m) {}
    bool Create(const BindingContext& ctx, int id) override;
    void OnCommand(WORD code) override;
    bool HandCursor() const { return label_.HandCursor; }

private:
    void Mirror() override;
    Label& label_;
    HFONT font_ = nullptr;
};

// Drawn on the form: its colour and bevels; what lies in it is the form's.
class PanelBinding final : public ControlBinding {
public:
    explicit PanelBinding(Panel& m) : ControlBinding(m), panel_(m) {}
    bool Create(const BindingContext& ctx, int id) override;
    void PaintOnForm(HDC dc) override;

private:
    void Mirror() override;
    Panel& panel_;
    HWND form_ = nullptr;
};

// Drawn on the form: an etched (lowered) or bumped (raised) frame.
class BevelBinding final : public ControlBinding {
public:
    explicit BevelBinding(Bevel& m) : ControlBinding(m), bevel_(m) {}
    bool Create(const BindingContext& ctx, int id) override;
    void PaintOnForm(HDC dc) override;

private:
    void Mirror() override {}
    Bevel& bevel_;
};

class ButtonBinding final : public ControlBinding {
public:
    explicit ButtonBinding(Button& m) : ControlBinding(m), button_(m) {}
    bool Create(const BindingContext& ctx, int id) override;
    void OnCommand(WORD code) override;

private:
    void Mirror() override;
    Button& button_;
};

// A plain (not automatic) radio button: the model's group decides the marks
// and which member takes the keyboard.
class RadioBinding final : public ControlBinding {
public:
    explicit RadioBinding(RadioButton& m) : ControlBinding(m), radio_(m) {}
    ~RadioBinding() override;
    bool Create(const BindingContext& ctx, int id) override;
    void OnCommand(WORD code) override;

private:
    void Mirror() override;
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    RadioButton& radio_;
};

// An edit with an up-down control beside it. The model owns the value: the
// up-down only reports its clicks and arrow keys, and every typed character
// is asked of the model first (refused ones beep).
class SpinEditBinding final : public ControlBinding {
public:
    explicit SpinEditBinding(SpinEdit& m) : ControlBinding(m), spin_(m) {}
    ~SpinEditBinding() override;
    bool Create(const BindingContext& ctx, int id) override;
    void OnCommand(WORD code) override;
    bool OnNotify(NMHDR* h, LRESULT& result) override;
    HBRUSH OnCtlColor(HDC dc) override;

private:
    void Mirror() override;
    static LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    SpinEdit& spin_;
    HWND updown_ = nullptr;
};

class ListBoxBinding final : public ControlBinding {
public:
    explicit ListBoxBinding(ListBox& m) : ControlBinding(m), list_(m) {}
    bool Create(const BindingContext& ctx, int id) override;
    void OnCommand(WORD code) override;
    HBRUSH OnCtlColor(HDC dc) override;

private:
    void Mirror() override;
    ListBox& list_;
};

class TrackBarBinding final : public ControlBinding {
public:
    explicit TrackBarBinding(TrackBar& m) : ControlBinding(m), bar_(m) {}
    bool Create(const BindingContext& ctx, int id) override;
    void OnScroll() override;

private:
    void Mirror() override;
    TrackBar& bar_;
};

class EditBinding final : public ControlBinding {
public:
    explicit EditBinding(Edit& m) : ControlBinding(m), edit_(m) {}
    bool Create(const BindingContext& ctx, int id) override;
    void OnCommand(WORD code) override;
    HBRUSH OnCtlColor(HDC dc) override;

private:
    void Mirror() override;
    Edit& edit_;
};

// A panel's frame, bevels and colour in `r`.
void DrawPanel(HDC dc, RECT r, const Panel& panel);

// A flat push button with an icon and a tooltip.
class SpeedButtonBinding final : public ControlBinding {
public:
    explicit SpeedButtonBinding(SpeedButton& m) : ControlBinding(m), button_(m) {}
    ~SpeedButtonBinding() override;
    bool Create(const BindingContext& ctx, int id) override;
    void OnCommand(WORD code) override;

private:
    void Mirror() override;
    SpeedButton& button_;
    HICON normal_ = nullptr, grey_ = nullptr;
    HWND tip_ = nullptr;
};

// The picture, decoded from the JPEG resource by the system's own decoder
// (OleLoadPicture) and drawn stretched on the form.
class ImageBinding final : public ControlBinding {
public:
    explicit ImageBinding(Image& m) : ControlBinding(m), image_(m) {}
    ~ImageBinding() override;
    bool Create(const BindingContext& ctx, int id) override;
    void PaintOnForm(HDC dc) override;

private:
    void Mirror() override;
    Image& image_;
    IPicture* picture_ = nullptr;
    HWND form_ = nullptr;
};

// Draws straight on the form within its place; keeps nothing.
class PaintBoxBinding final : public ControlBinding, public Canvas {
public:
    explicit PaintBoxBinding(PaintBox& m) : ControlBinding(m), box_(m) {}
    ~PaintBoxBinding() override;
    bool Create(const BindingContext& ctx, int id) override;
    void SetFont(const std::string& face, int points) override;
    int TextHeight(const std::string& text) override;
    void Write(int x, int y, const std::string& text) override;

private:
    void Mirror() override {}
    PaintBox& box_;
    HWND form_ = nullptr;
    HFONT font_ = nullptr;
};

// A memo: an edit of its own text, or one showing the newest lines of the
// monitor text, kept in step as lines come (the oldest shown are cut at the
// top once in a while, never the whole text rewritten per line).
class MemoBinding final : public ControlBinding {
public:
    explicit MemoBinding(Memo& m) : ControlBinding(m), memo_(m) {}
    ~MemoBinding() override;
    bool Create(const BindingContext& ctx, int id) override;
    HBRUSH OnCtlColor(HDC dc) override;
    // Posted to the memo when lines come; taking it in shows them. Public so
    // that a measurement can pump exactly this message and nothing else.
    static constexpr UINT kWmFlush = WM_APP + 0x40;

private:
    void Mirror() override {}
    void Rebuild();
    void AppendOne(size_t index);
    void Flush();
    void AppendLines(size_t from, size_t to);
    long DropLines(size_t count);
    void ScrollToEnd();
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    Memo& memo_;
    TailWindow tail_;
    bool pending_ = false;     // lines wait for the flush message
    size_t pendingFrom_ = 0;   // the first of them
    std::deque<uint32_t> shown_;  // the characters of each line shown, oldest first
    uint32_t header_ = 0;         // the characters of the first line that counts the hidden ones
};

// The text of a window, as UTF-8.
std::string WindowTextUtf8(HWND h);
// The text colour of `model` on the window background, for the controls
// that show a white field (edits, lists).
HBRUSH WindowColours(HDC dc, const Control& model);

}  // namespace tkw
