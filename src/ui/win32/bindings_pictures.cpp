// Speed buttons, pictures and paint boxes.
#include "platform/win32_text.h"
#include "ui/win32/bindings.h"
#include "ui/win32/fonts.h"

namespace tkw {

// ---- SpeedButton

SpeedButtonBinding::~SpeedButtonBinding() {
    if (tip_) DestroyWindow(tip_);
    if (normal_) DestroyIcon(normal_);
    if (grey_) DestroyIcon(grey_);
}

bool SpeedButtonBinding::Create(const BindingContext& ctx, int id) {
    if (!Make(ctx, id, L"BUTTON", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON | BS_ICON | BS_FLAT, 0, L"")) return false;
    const auto icon = [&](int resource) {
        return static_cast<HICON>(LoadImageW(ctx.instance, MAKEINTRESOURCEW(resource), IMAGE_ICON, 16, 16, 0));
    };
    normal_ = icon(button_.Glyph);
    grey_ = icon(button_.GreyGlyph);
    // The hint, as a tooltip the mouse brings up over the button; also what
    // a screen reader says for a button that shows only a picture.
    SetWindowTextW(hwnd_, WideFromUtf8(button_.Hint).c_str());
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                           0, ctx.form, nullptr, ctx.instance, nullptr);
    if (tip_) {
        std::wstring hint = WideFromUtf8(button_.Hint);
        TOOLINFOW ti{};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = ctx.form;
        ti.uId = reinterpret_cast<UINT_PTR>(hwnd_);
        ti.lpszText = hint.data();
        SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }
    Mirror();
    return true;
}

void SpeedButtonBinding::OnCommand(WORD code) {
    if (code == BN_CLICKED) button_.Click();
}

void SpeedButtonBinding::Mirror() {
    if (!hwnd_) return;
    HICON want = model_.Enabled || !grey_ ? normal_ : grey_;
    if (reinterpret_cast<HICON>(SendMessageW(hwnd_, BM_GETIMAGE, IMAGE_ICON, 0)) != want)
        SendMessageW(hwnd_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(want));
}

// ---- Image

ImageBinding::~ImageBinding() {
    if (picture_) picture_->Release();
}

bool ImageBinding::Create(const BindingContext& ctx, int) {
    form_ = ctx.form;
    HRSRC res = FindResourceW(ctx.instance, MAKEINTRESOURCEW(image_.Resource), MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!res) return true;  // no picture: the dialog shows without it
    HGLOBAL loaded = LoadResource(ctx.instance, res);
    const DWORD size = SizeofResource(ctx.instance, res);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return true;
    // The decoder reads from a stream over a movable copy of the bytes.
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy) return true;
    if (void* p = GlobalLock(copy)) {
        memcpy(p, bytes, size);
        GlobalUnlock(copy);
    }
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(copy, TRUE, &stream) != S_OK) {
        GlobalFree(copy);
        return true;
    }
    if (OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture, reinterpret_cast<void**>(&picture_)) !=
        S_OK)
        picture_ = nullptr;
    stream->Release();
    return true;
}

void ImageBinding::PaintOnForm(HDC dc) {
    if (!picture_ || !Showing()) return;
    OLE_XSIZE_HIMETRIC w = 0;
    OLE_YSIZE_HIMETRIC h = 0;
    picture_->get_Width(&w);
    picture_->get_Height(&h);
    const RECT r = Rect();
    // Stretched to the place; the picture's own units run upwards.
    picture_->Render(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, h, w, -h, nullptr);
}

void ImageBinding::Mirror() {
    if (!form_) return;
    RECT r = Rect();
    InvalidateRect(form_, &r, TRUE);
}

// ---- PaintBox

PaintBoxBinding::~PaintBoxBinding() {
    box_.Surface = nullptr;
    if (font_) DeleteObject(font_);
}

bool PaintBoxBinding::Create(const BindingContext& ctx, int) {
    form_ = ctx.form;
    box_.Surface = this;
    return true;
}

void PaintBoxBinding::SetFont(const std::string& face, int points) {
    if (font_) DeleteObject(font_);
    HDC dc = GetDC(form_);
    font_ = PickFont(dc, {WideFromUtf8(face).c_str()}, PointsToHeight(dc, points), false, kChineseSample);
    ReleaseDC(form_, dc);
}

int PaintBoxBinding::TextHeight(const std::string& text) {
    HDC dc = GetDC(form_);
    HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
    const std::wstring w = WideFromUtf8(text);
    SIZE sz{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &sz);
    if (old) SelectObject(dc, old);
    ReleaseDC(form_, dc);
    return sz.cy;
}

void PaintBoxBinding::Write(int x, int y, const std::string& text) {
    HDC dc = GetDC(form_);
    const RECT r = Rect();
    IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    const std::wstring w = WideFromUtf8(text);
    TextOutW(dc, r.left + x, r.top + y, w.c_str(), static_cast<int>(w.size()));
    if (old) SelectObject(dc, old);
    ReleaseDC(form_, dc);
}

}  // namespace tkw
