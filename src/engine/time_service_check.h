// Whether the Windows Time service fights TKW over this PC's clock, and what
// each program says about it (once, at start): the desktop program in a box,
// the service in its log, both with the commands that end the fight.
#pragma once

#include <string>

#include "platform/windows_time_service.h"

namespace tkw {

// It runs or starts at boot, and synchronises with something (its Type is not
// NoSync; a Type that cannot be read counts as the default, which does).
bool TimeServiceSetsTheClock(const WindowsTimeService& s);

// One line for the service's log, naming what was found.
std::string TimeServiceLogLine(const WindowsTimeService& s, const std::string& program);
// The desktop program's box.
std::string TimeServiceBoxText();

}  // namespace tkw
