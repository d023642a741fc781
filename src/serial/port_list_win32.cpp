#include <windows.h>

#include <string>

#include "platform/win32_text.h"
#include "serial/port_list.h"

namespace tkw {

namespace {

// The key is the system's, and every account may read it: it is opened for
// reading only (asking for more refuses an ordinary user) and never created.
class RegistryPorts final : public SerialPortList {
public:
    std::vector<std::string> Lines() override {
        std::vector<std::string> lines;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
            return lines;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD nameLen = 256;
            wchar_t port[256];
            DWORD portBytes = sizeof port - sizeof(wchar_t);
            DWORD type = 0;
            const LONG r =
                RegEnumValueW(key, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(port), &portBytes);
            if (r == ERROR_NO_MORE_ITEMS) break;
            if (r != ERROR_SUCCESS || type != REG_SZ) continue;  // too long, or not text: skipped
            // Stored text need not end with its terminator.
            port[portBytes / sizeof(wchar_t)] = 0;
            lines.push_back(PortLine(Utf8FromWide(port, -1), Utf8FromWide(name, static_cast<int>(nameLen))));
        }
        RegCloseKey(key);
        return lines;
    }
};

}  // namespace

SerialPortList& SystemSerialPorts() {
    static RegistryPorts ports;
    return ports;
}

}  // namespace tkw
