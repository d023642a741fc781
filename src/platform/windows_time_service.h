// What the Windows Time service (W32Time) is set to do: whether it runs or
// starts at boot, and whom it synchronises this PC's clock with. Two
// programs stepping one clock fight each other, so TKW looks at start.
#pragma once

#include <string>

namespace tkw {

struct WindowsTimeService {
    bool installed = false;
    bool running = false;    // running, or on its way
    bool automatic = false;  // starts at boot
    bool typeRead = false;
    // W32Time\Parameters\Type: "NTP", "NT5DS", "AllSync" or "NoSync".
    std::string type;
};

// Asks the service manager and the registry. Windows builds only.
WindowsTimeService ReadWindowsTimeService();

}  // namespace tkw
