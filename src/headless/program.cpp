#include "headless/program.h"

#include "serial/com_map.h"

namespace tkw {

std::string PortName(const HeadlessProgram& program, int32_t port) {
    const std::string com = "COM" + std::to_string(port);
    if (program.system == kWindows) return com;
    const std::string path = ComPortPath(port);
    return com + " (" + (path.empty() ? "no device" : path) + ")";
}

}  // namespace tkw
