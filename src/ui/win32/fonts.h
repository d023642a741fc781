// Fonts for the program's windows: the designer's faces where the system has
// them with Chinese glyphs, else a face that has them. Windows builds only.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace tkw {

// Whether `font` can draw every character of `text`.
bool HasGlyphs(HDC dc, HFONT font, const std::wstring& text);

// A font `height` pixels high (negative: character height, as the designer
// gives it) of the first face in `faces` that draws `sample`; the faces
// tried after them are the Chinese ones Windows and Wine carry. Never null.
HFONT PickFont(HDC dc, std::initializer_list<const wchar_t*> faces, int height, bool bold, const std::wstring& sample);

// `points` at the screen's resolution, as a (negative) character height.
int PointsToHeight(HDC dc, int points);

// What the program shows in Chinese: enough to tell a face with the glyphs.
inline constexpr wchar_t kChineseSample[] = L"星期一二三四五六日校时设置端口";

}  // namespace tkw
