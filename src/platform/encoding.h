// The program's texts are UTF-8 in memory. Files it writes for people (logs)
// use the platform's customary encoding: GBK (code page 936) on Windows, where
// the users' other tools expect it, and UTF-8 elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace tkw {

std::string ToFileEncoding(std::string_view utf8);

}  // namespace tkw
