// Registering the service with the service manager, and removing it.
// Windows builds only.
#pragma once

#include "app/headless/console.h"
#include "app/headless/options.h"

namespace tkw {

inline constexpr const wchar_t* kServiceName = L"TKW";

// install [--dir DIR] [options]: the service "TKW", started at boot as
// NT AUTHORITY\LocalService, working in DIR (default %ProgramData%\TKW, made
// and opened to LocalService), restarted 5 s after a failure. Exit status 0,
// or 3 with the reason said.
int InstallService(const HeadlessOptions& options, Console& console);
// uninstall: stops the service and removes it; its directory stays.
int UninstallService(Console& console);

}  // namespace tkw
