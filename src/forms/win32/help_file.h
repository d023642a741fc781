// Where the program finds its help file. Windows builds only.
#pragma once

#include <string>

namespace tkw {

// The help file as the program looks for it: in the working directory, then
// beside the program, as a full path (WinHelp would search its own path for a
// bare name). Empty when it is in neither.
std::wstring FindHelpFile(const std::wstring& name);

}  // namespace tkw
