// The port contract as an object, so that everything above it (port
// switching, the reader, the tick, the correction feedback) can be driven by
// a scripted fake in tests. RealSerial() forwards to the sio_* functions of
// the backend linked in.
#pragma once

#include <chrono>
#include <thread>

#include "serial/port_writer.h"
#include "serial/sio.h"

namespace tkw {

class SerialApi : public PortWriter {
public:
    virtual int32_t sio_open(int32_t port) = 0;
    virtual int32_t sio_close(int32_t port) = 0;
    virtual int32_t sio_flush(int32_t port, int32_t func) = 0;
    virtual int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode) = 0;
    virtual int32_t sio_flowctrl(int32_t port, int32_t mode) = 0;
    virtual int32_t sio_DTR(int32_t port, int32_t mode) = 0;
    virtual int32_t sio_RTS(int32_t port, int32_t mode) = 0;
    virtual int32_t sio_getbaud(int32_t port) = 0;
    virtual int32_t sio_SetWriteTimeouts(int32_t port, int32_t totalMs) = 0;
    virtual int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) = 0;
    // sio_write comes from PortWriter.

    // A port that cannot be waited on (the fakes of tests that do not care)
    // answers as a polled one would: after a short sleep, "look".
    virtual int32_t sio_wait(int32_t, int32_t timeoutMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs >= 0 && timeoutMs < 10 ? timeoutMs : 10));
        return 1;
    }
    virtual int32_t sio_wake(int32_t) { return 0; }
};

// Another SerialApi, passed through: a port seen through a wrapper overrides
// only the calls it watches or changes.
class ForwardingSerialApi : public SerialApi {
public:
    explicit ForwardingSerialApi(SerialApi& inner) : inner_(inner) {}
    int32_t sio_open(int32_t port) override { return inner_.sio_open(port); }
    int32_t sio_close(int32_t port) override { return inner_.sio_close(port); }
    int32_t sio_flush(int32_t port, int32_t func) override { return inner_.sio_flush(port, func); }
    int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode) override { return inner_.sio_ioctl(port, baud, mode); }
    int32_t sio_flowctrl(int32_t port, int32_t mode) override { return inner_.sio_flowctrl(port, mode); }
    int32_t sio_DTR(int32_t port, int32_t mode) override { return inner_.sio_DTR(port, mode); }
    int32_t sio_RTS(int32_t port, int32_t mode) override { return inner_.sio_RTS(port, mode); }
    int32_t sio_getbaud(int32_t port) override { return inner_.sio_getbaud(port); }
    int32_t sio_SetWriteTimeouts(int32_t port, int32_t ms) override { return inner_.sio_SetWriteTimeouts(port, ms); }
    int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) override { return inner_.sio_read(port, buf, len); }
    int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) override {
        return inner_.sio_write(port, buf, len);
    }
    int32_t sio_wait(int32_t port, int32_t timeoutMs) override { return inner_.sio_wait(port, timeoutMs); }
    int32_t sio_wake(int32_t port) override { return inner_.sio_wake(port); }

protected:
    SerialApi& inner_;
};

class RealSerialApi final : public SerialApi {
public:
    int32_t sio_open(int32_t port) override { return tkw::sio_open(port); }
    int32_t sio_close(int32_t port) override { return tkw::sio_close(port); }
    int32_t sio_flush(int32_t port, int32_t func) override { return tkw::sio_flush(port, func); }
    int32_t sio_ioctl(int32_t port, int32_t baud, int32_t mode) override { return tkw::sio_ioctl(port, baud, mode); }
    int32_t sio_flowctrl(int32_t port, int32_t mode) override { return tkw::sio_flowctrl(port, mode); }
    int32_t sio_DTR(int32_t port, int32_t mode) override { return tkw::sio_DTR(port, mode); }
    int32_t sio_RTS(int32_t port, int32_t mode) override { return tkw::sio_RTS(port, mode); }
    int32_t sio_getbaud(int32_t port) override { return tkw::sio_getbaud(port); }
    int32_t sio_SetWriteTimeouts(int32_t port, int32_t ms) override { return tkw::sio_SetWriteTimeouts(port, ms); }
    int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) override { return tkw::sio_read(port, buf, len); }
    int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) override { return tkw::sio_write(port, buf, len); }
    int32_t sio_wait(int32_t port, int32_t timeoutMs) override { return tkw::sio_wait(port, timeoutMs); }
    int32_t sio_wake(int32_t port) override { return tkw::sio_wake(port); }
};

}  // namespace tkw
