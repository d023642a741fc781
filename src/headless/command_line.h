// A Windows command line from separate arguments, quoted so that the C
// runtime (and CommandLineToArgvW) split it back into the same arguments:
// what install registers as the service's command line. A path such as
// "C:\Program Files\TKW\" needs it: its spaces, and the backslash before the
// closing quote, which would otherwise escape it.
#pragma once

#include <string>
#include <vector>

namespace tkw {

std::string QuoteWindowsArgument(const std::string& arg);
std::string WindowsCommandLine(const std::vector<std::string>& args);

}  // namespace tkw
