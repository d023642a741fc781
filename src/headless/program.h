// What differs between the headless programs beyond their entry points:
// their name (the start of their own lines), which rows of the option table
// are theirs, what they say when the clock cannot be set, and how a pending
// jump is corrected there.
#pragma once

#include <cstdint>
#include <string>

#include "headless/options.h"

namespace tkw {

struct HeadlessProgram {
    HeadlessSystem system = kLinux;
    std::string name = "tkw";
    // Said after the system's reason when the first step of the clock is refused.
    std::string clockHint;
    // The yellow indicator's text (a jump pending): the desktop's names its
    // menu item, this the command that asks for a correction here.
    std::string jumpText;
    // The single-instance lock's name.
    std::string lockName = "TKW";
};

// "COM1 (/dev/ttyUSB0)" on Linux, where a number stands for a device the user
// chose; "COM1" on Windows, where the number is the device's name.
std::string PortName(const HeadlessProgram& program, int32_t port);

}  // namespace tkw
