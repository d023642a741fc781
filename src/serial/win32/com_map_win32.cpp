#include <cstdint>
#include <string>

#include "serial/com_map.h"

namespace tkw {
namespace {

bool ValidPort(int32_t port) { return port >= 1 && port <= 255; }

}  // namespace

// Windows names a serial port by its COM number already; the map has nothing
// to do, and a mapping given on a command line is taken and ignored.
void MapComPort(int32_t, const std::string&) {}

std::string ComPortPath(int32_t port) {
    if (!ValidPort(port)) return {};
    return "\\\\.\\COM" + std::to_string(port);
}

bool MapComPortSpec(const std::string& spec) {
    const size_t eq = spec.find('=');
    if (eq == std::string::npos || eq < 4 || eq > 6 || eq + 1 == spec.size()) return false;
    const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    if (lower(spec[0]) != 'c' || lower(spec[1]) != 'o' || lower(spec[2]) != 'm') return false;
    int32_t n = 0;
    for (size_t i = 3; i < eq; ++i) {
        if (spec[i] < '0' || spec[i] > '9') return false;
        n = n * 10 + (spec[i] - '0');
    }
    return ValidPort(n);
}

}  // namespace tkw
