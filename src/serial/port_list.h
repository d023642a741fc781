// The serial ports the system reports, for the port chooser (and the Linux
// program's --list-ports): one line each, "COMn......DEVICE", the port's name
// first so that the chooser can read the number back from the line.
#pragma once

#include <string>
#include <vector>

namespace tkw {

class SerialPortList {
public:
    virtual ~SerialPortList() = default;
    // Asked afresh at every call: ports come and go (USB adapters).
    virtual std::vector<std::string> Lines() = 0;
};

// Windows: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, read-only, in
// the order the registry gives them ("COM3......\Device\Serial2").
// Elsewhere: the COM numbers whose device exists, in number order, each with
// the device the COM map gives it ("COM1....../dev/ttyS0"): ports mapped to a
// device, and the serial ports the kernel knows under their default numbers.
SerialPortList& SystemSerialPorts();

inline std::string PortLine(const std::string& portName, const std::string& device) {
    return portName + "......" + device;
}

}  // namespace tkw
