// UTF-8 <-> UTF-16 and the system's text for an error code, for the Win32
// code: the program keeps UTF-8 inside and talks to Windows through the wide
// (W) functions only, so that Chinese texts survive any ANSI code page.
// Windows builds only.
#pragma once

#include <string>

namespace tkw {

std::wstring WideFromUtf8(const std::string& utf8);
std::string Utf8FromWide(const wchar_t* w, int len);
// FormatMessageW's text for a GetLastError() code, without the trailing line
// break; "Error N" when the system has no text for it.
std::string SystemErrorText(unsigned long code);

}  // namespace tkw
