#include <sys/stat.h>

#include <fstream>
#include <string>

#include "serial/com_map.h"
#include "serial/port_list.h"

namespace tkw {

namespace {

bool IsCharDevice(const std::string& path) {
    struct stat st{};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

// A default /dev/ttySn counts when the kernel has a port behind it: the
// 8250 driver makes nodes for UARTs that are not there, with type 0.
bool KernelHasPort(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string sys = "/sys/class/tty/" + name;
    struct stat st{};
    if (stat((sys + "/device").c_str(), &st) != 0) return false;
    std::ifstream type(sys + "/type");
    int t = -1;
    if (type >> t) return t != 0;
    return true;
}

class PosixPorts final : public SerialPortList {
public:
    std::vector<std::string> Lines() override {
        std::vector<std::string> lines;
        for (int32_t n = 1; n <= kMaxComPort; ++n) {
            const std::string path = ComPortPath(n);
            if (!IsCharDevice(path)) continue;
            if (!ComPortMapped(n) && !KernelHasPort(path)) continue;
            lines.push_back(PortLine("COM" + std::to_string(n), path));
        }
        return lines;
    }
};

}  // namespace

SerialPortList& SystemSerialPorts() {
    static PosixPorts ports;
    return ports;
}

}  // namespace tkw
