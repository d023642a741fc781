#include "ui/win32/control_binding.h"

#include "platform/win32_text.h"
#include "ui/controls.h"
#include "ui/win32/bindings.h"
#include "ui/win32/fonts.h"

namespace tkw {

COLORREF ToColorRef(const Colour& c) { return RGB(c.r, c.g, c.b); }

FormFonts::FormFonts(const std::wstring& face, int height) : face_(face), height_(height) {}

FormFonts::~FormFonts() {
    for (const Made& m : made_) DeleteObject(m.font);
}

HFONT FormFonts::For(const Control& c) {
    if (c.SystemFont) return static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
    const int height = c.FontHeight > 0 ? c.FontHeight : height_;
    if (height <= 0 && face_.empty() && c.FontName.empty() && !c.Bold)
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    return Sized(height, c.Bold, c.FontName.empty() ? face_ : WideFromUtf8(c.FontName));
}

HFONT FormFonts::Sized(int height, bool bold) { return Sized(height, bold, face_); }

HFONT FormFonts::Sized(int height, bool bold, const std::wstring& face) {
    for (const Made& m : made_)
        if (m.height == height && m.bold == bold && m.face == face) return m.font;
    HDC dc = GetDC(nullptr);
    HFONT f = PickFont(dc, {face.empty() ? L"MS Shell Dlg" : face.c_str()}, height > 0 ? -height : PointsToHeight(dc, 9),
                       bold, kChineseSample);
    ReleaseDC(nullptr, dc);
    // Kept to the form's end.
    made_.push_back({height, bold, face, f});
    return f;
}

ControlBinding::~ControlBinding() {
    if (back_) DeleteObject(back_);
}

RECT ControlBinding::Rect() const {
    int x = model_.Place.Left, y = model_.Place.Top;
    for (const Control* p = model_.Parent; p; p = p->Parent) x += p->Place.Left, y += p->Place.Top;
    return RECT{x, y, x + model_.Place.Width, y + model_.Place.Height};
}

bool ControlBinding::Showing() const {
    for (const Control* c = &model_; c; c = c->Parent)
        if (!c->Visible) return false;
    return true;
}

void ControlBinding::Relayout() {
    if (!hwnd_) return;
    const RECT r = Rect();
    SetWindowPos(hwnd_, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

COLORREF ControlBinding::BackColour() const {
    for (const Control* p = model_.Parent; p; p = p->Parent)
        if (p->kind == Control::Kind::Panel) {
            const auto* panel = static_cast<const Panel*>(p);
            if (!panel->ButtonFace) return ToColorRef(panel->Color);
        }
    return GetSysColor(COLOR_BTNFACE);
}

HBRUSH ControlBinding::OnCtlColor(HDC dc) {
    if (!(model_.FontColour == kBlack)) SetTextColor(dc, ToColorRef(model_.FontColour));
    const COLORREF back = BackColour();
    SetBkColor(dc, back);
    if (!back_) back_ = CreateSolidBrush(back);
    return back_;
}

void ControlBinding::Sync() {
    if (hwnd_) {
        const bool show = Showing();
        if ((IsWindowVisible(hwnd_) != FALSE) != show) ShowWindow(hwnd_, show ? SW_SHOWNA : SW_HIDE);
        if ((IsWindowEnabled(hwnd_) != FALSE) != model_.Enabled) EnableWindow(hwnd_, model_.Enabled);
    }
    mirroring_ = true;
    Mirror();
    mirroring_ = false;
}

HWND ControlBinding::Make(const BindingContext& ctx, int id, const wchar_t* cls, DWORD style, DWORD exStyle,
                          const std::wstring& text) {
    const RECT r = Rect();
    hwnd_ = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | style | (Showing() ? WS_VISIBLE : 0), r.left,
                            r.top, r.right - r.left, r.bottom - r.top, ctx.form,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ctx.instance, nullptr);
    if (hwnd_) {
        SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(ctx.fonts.For(model_)), FALSE);
        if (!model_.Enabled) EnableWindow(hwnd_, FALSE);
    }
    return hwnd_;
}

std::unique_ptr<ControlBinding> MakeBinding(Control& model) {
    switch (model.kind) {
        case Control::Kind::Label: return std::make_unique<LabelBinding>(static_cast<Label&>(model));
        case Control::Kind::Panel: return std::make_unique<PanelBinding>(static_cast<Panel&>(model));
        case Control::Kind::Bevel: return std::make_unique<BevelBinding>(static_cast<Bevel&>(model));
        case Control::Kind::Button: return std::make_unique<ButtonBinding>(static_cast<Button&>(model));
        case Control::Kind::RadioButton: return std::make_unique<RadioBinding>(static_cast<RadioButton&>(model));
        case Control::Kind::SpinEdit: return std::make_unique<SpinEditBinding>(static_cast<SpinEdit&>(model));
        case Control::Kind::ListBox: return std::make_unique<ListBoxBinding>(static_cast<ListBox&>(model));
        case Control::Kind::TrackBar: return std::make_unique<TrackBarBinding>(static_cast<TrackBar&>(model));
        case Control::Kind::Edit: return std::make_unique<EditBinding>(static_cast<Edit&>(model));
        case Control::Kind::Memo: return std::make_unique<MemoBinding>(static_cast<Memo&>(model));
        case Control::Kind::SpeedButton: return std::make_unique<SpeedButtonBinding>(static_cast<SpeedButton&>(model));
        case Control::Kind::Image: return std::make_unique<ImageBinding>(static_cast<Image&>(model));
        case Control::Kind::PaintBox: return std::make_unique<PaintBoxBinding>(static_cast<PaintBox&>(model));
        default: return nullptr;
    }
}

}  // namespace tkw
