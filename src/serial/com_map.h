// Which device a COM number stands for on this machine.
//
// POSIX: COMn is /dev/ttyS(n-1) by default; any number can be mapped to any
// path (a USB adapter, a /dev/serial/by-id link, a pseudo-terminal) at run
// time.
// Windows: the COM number is the device's own name, \\.\COMn; a mapping is
// accepted and has no effect.
#pragma once

#include <cstdint>
#include <string>

namespace tkw {

inline constexpr int32_t kMaxComPort = 255;

void MapComPort(int32_t port, const std::string& path);
std::string ComPortPath(int32_t port);
// Whether `port` was given a device of its own (always false on Windows).
bool ComPortMapped(int32_t port);
// Parses "COMn=PATH" (n 1..255, case-insensitive COM); false for a malformed
// text, and then `port` and `path` are untouched.
bool ParseComPortSpec(const std::string& spec, int32_t& port, std::string& path);
// Parses a port's name, "COMn" (case-insensitive COM) or plain "n", n 1..255;
// false for anything else, and then `port` is untouched.
bool ParseComPortName(const std::string& name, int32_t& port);
// Parses "COMn=PATH" and maps it; false for a malformed text.
bool MapComPortSpec(const std::string& spec);

}  // namespace tkw
