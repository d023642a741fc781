// The COM number map's declarations moved to serial/com_map.h, shared by both
// backends; this name stays for the POSIX code that includes it.
#pragma once

#include "serial/com_map.h"
