#include "app/headless/program.h"

#include "serial/com_map.h"

namespace tkw {

std::string PortName(const HeadlessProgram& program, int32_t port) {
    const std::string com = "COM" + std::to_string(port);
    return program.system == kWindows ? com : com + " (" + ComPortPath(port) + ")";
}

}  // namespace tkw
