#include "ui/win32/fonts.h"

#include <vector>

namespace tkw {

bool HasGlyphs(HDC dc, HFONT font, const std::wstring& text) {
    if (text.empty()) return true;
    std::vector<WORD> idx(text.size());
    HGDIOBJ old = SelectObject(dc, font);
    const DWORD n = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), idx.data(),
                                     GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    if (n == GDI_ERROR) return false;
    for (WORD i : idx)
        if (i == 0xffff) return false;
    return true;
}

// A raster face may claim Chinese glyphs it draws from some other font's
// bitmaps (Wine's "System" does, badly); an outline face draws its own.
bool Outline(HDC dc, HFONT font) {
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm{};
    const bool ok = GetTextMetricsW(dc, &tm) && (tm.tmPitchAndFamily & (TMPF_TRUETYPE | TMPF_VECTOR));
    SelectObject(dc, old);
    return ok;
}

int PointsToHeight(HDC dc, int points) { return -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72); }

HFONT PickFont(HDC dc, std::initializer_list<const wchar_t*> faces, int height, bool bold, const std::wstring& sample) {
    const auto make = [&](const wchar_t* face, BYTE charset) {
        return CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, charset,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                           face);
    };
    std::vector<const wchar_t*> tries(faces);
    for (const wchar_t* f : {L"SimSun", L"宋体", L"Microsoft YaHei", L"WenQuanYi Zen Hei"}) tries.push_back(f);
    for (const wchar_t* face : tries) {
        HFONT f = make(face, DEFAULT_CHARSET);
        if (f && HasGlyphs(dc, f, sample) && Outline(dc, f)) return f;
        if (f) DeleteObject(f);
    }
    // Whatever the system maps a Chinese character set to.
    return make(nullptr, GB2312_CHARSET);
}

}  // namespace tkw
