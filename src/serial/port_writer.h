// The one thing the time-code engine and the tick need of the serial port:
// writing bytes to it. The serial link implements it over sio_write; tests and
// tkw-replay record what would have been sent.
#pragma once

#include <cstdint>

namespace tkw {

class PortWriter {
public:
    virtual ~PortWriter() = default;
    // Same contract as sio_write: the port number first, bytes written or a
    // negative error. Callers here never look at the result: a frame that
    // could not be sent is simply not sent.
    virtual int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) = 0;
};

}  // namespace tkw
