// Registering the service with the service manager, removing it, and asking
// the running service for a correction. Windows builds only.
#pragma once

#include "headless/console.h"
#include "headless/options.h"

namespace tkw {

inline constexpr const wchar_t* kServiceName = L"TKW";

// install [--dir DIR] [options]: the service "TKW", started at boot as
// NT AUTHORITY\LocalService, working in DIR (default %ProgramData%\TKW, made
// and opened to LocalService), restarted 5 s after a failure. Exit status 0,
// or 3 with the reason said.
int InstallService(const HeadlessOptions& options, Console& console);
// uninstall: stops the service and removes it; its directory stays.
int UninstallService(Console& console);
// --correct-now: sends the service its control code kCorrectNowControl, on
// which it corrects the clock at its next accepted frame. Exit status 0 when
// the service took it, 1 with the reason said.
int AskServiceToCorrect(Console& console);

}  // namespace tkw
