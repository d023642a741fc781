// The line as the receivers expect it: 8N1, no flow control, DTR and RTS
// raised. Never stored and never shown; SetFixed() gives the values again
// wherever the port is taken into use afresh.
#pragma once

#include <cstdint>

#include "serial/sio.h"

namespace tkw {

struct LineSettings {
    int32_t ParityCode = kParityNone;
    int32_t DataBitsCode = kData8;
    int32_t StopBitsCode = kStop1;
    bool HardwareFlow = false;
    bool SoftwareFlow = false;
    bool DtrOn = true;
    bool RtsOn = true;

    void SetFixed() { *this = LineSettings{}; }
    int32_t LineMode() const { return ParityCode | DataBitsCode | StopBitsCode; }
    int32_t FlowMode() const { return (HardwareFlow ? kFlowHardware : 0) | (SoftwareFlow ? kFlowSoftware : 0); }

    bool operator==(const LineSettings&) const = default;
};

// The total write time-out for a port running at `bitRate` bit/s: 10 ms per
// started millisecond a byte takes, at least 10 ms (also for a rate the port
// could not report, 0 or less).
int32_t WriteTimeoutMs(int32_t bitRate);

}  // namespace tkw
