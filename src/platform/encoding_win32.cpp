#include "platform/encoding.h"

#include <windows.h>

namespace tkw {

std::string ToFileEncoding(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n = static_cast<int>(utf8.size());
    const int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, nullptr, 0);
    if (wide <= 0) return std::string(utf8);
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), n, w.data(), wide);
    const int bytes = WideCharToMultiByte(936, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string(utf8);
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(936, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace tkw
