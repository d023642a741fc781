#include <cstdint>
#include <string>

#include "serial/com_map.h"
#include "serial/port_table.h"

namespace tkw {

// Windows names a serial port by its COM number already; the map has nothing
// to do, and a mapping given on a command line is taken and ignored.
void MapComPort(int32_t, const std::string&) {}
bool ComPortMapped(int32_t) { return false; }

std::string ComPortPath(int32_t port) {
    if (!ValidComPort(port)) return {};
    return "\\\\.\\COM" + std::to_string(port);
}

}  // namespace tkw
