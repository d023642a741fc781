#include "serial/com_map.h"

namespace tkw {

// "COMn=PATH": the same syntax on every platform, so that a command line
// written for one works (or is refused) the same way on the other.
bool ParseComPortSpec(const std::string& spec, int32_t& port, std::string& path) {
    const size_t eq = spec.find('=');
    if (eq == std::string::npos || eq < 4 || eq > 6 || eq + 1 == spec.size()) return false;
    const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    if (lower(spec[0]) != 'c' || lower(spec[1]) != 'o' || lower(spec[2]) != 'm') return false;
    int32_t n = 0;
    for (size_t i = 3; i < eq; ++i) {
        if (spec[i] < '0' || spec[i] > '9') return false;
        n = n * 10 + (spec[i] - '0');
    }
    if (n < 1 || n > kMaxComPort) return false;
    port = n;
    path = spec.substr(eq + 1);
    return true;
}

bool ParseComPortName(const std::string& name, int32_t& port) {
    const auto lower = [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); };
    size_t i = name.size() > 3 && lower(name[0]) == 'c' && lower(name[1]) == 'o' && lower(name[2]) == 'm' ? 3 : 0;
    if (i == name.size() || name.size() - i > 3) return false;
    int32_t n = 0;
    for (; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        n = n * 10 + (name[i] - '0');
    }
    if (n < 1 || n > kMaxComPort) return false;
    port = n;
    return true;
}

bool MapComPortSpec(const std::string& spec) {
    int32_t port = 0;
    std::string path;
    if (!ParseComPortSpec(spec, port, path)) return false;
    MapComPort(port, path);
    return true;
}

}  // namespace tkw
