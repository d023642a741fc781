// Fakes for the engine's seams: a clock that records instead of stepping,
// a port, a monitor, a log and message boxes that record what they get, and
// a file system that fails one chosen operation.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "logs/sinks.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "serial/port_writer.h"
#include "serial/serial_api.h"

namespace tkw::test {

// A port on which every call succeeds and nothing arrives: the base of the
// scripted ports, which override what their test is about.
struct NullSerial : SerialApi {
    int32_t sio_open(int32_t) override { return 0; }
    int32_t sio_close(int32_t) override { return 0; }
    int32_t sio_flush(int32_t, int32_t) override { return 0; }
    int32_t sio_ioctl(int32_t, int32_t, int32_t) override { return 0; }
    int32_t sio_flowctrl(int32_t, int32_t) override { return 0; }
    int32_t sio_DTR(int32_t, int32_t) override { return 0; }
    int32_t sio_RTS(int32_t, int32_t) override { return 0; }
    int32_t sio_getbaud(int32_t) override { return 0; }
    int32_t sio_SetWriteTimeouts(int32_t, int32_t) override { return 0; }
    int32_t sio_read(int32_t, uint8_t*, int32_t) override { return 0; }
    int32_t sio_write(int32_t, const uint8_t*, int32_t) override { return 0; }
};

// Reads `now`; each read may advance it by `stepMs` (to model time spent).
// SetLocalTime records the value and makes the clock read it from then on.
// Beside it runs a monotonic clock that time passing moves and steps do not.
class FakeClock final : public Clock {
public:
    explicit FakeClock(SystemTime start) : now_(ToLocalMs(start)) {}
    SystemTime GetLocalTime() override {
        const SystemTime t = FromLocalMs(now_);
        Advance(stepMs);
        ++reads;
        return t;
    }
    bool SetLocalTime(const SystemTime& t) override {
        sets.push_back(t);
        now_ = ToLocalMs(t);
        return true;
    }
    void Set(SystemTime t) { now_ = ToLocalMs(t); }
    void Advance(int64_t ms) { now_ += ms, steadyMs_ += ms; }
    LocalMs Now() const { return now_; }
    int64_t SteadyMs() const { return steadyMs_; }

    std::vector<SystemTime> sets;
    int64_t stepMs = 0;
    int reads = 0;

private:
    LocalMs now_;
    int64_t steadyMs_ = 0;
};

inline SystemTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    SystemTime t;
    t.wYear = static_cast<uint16_t>(y);
    t.wMonth = static_cast<uint16_t>(mo);
    t.wDay = static_cast<uint16_t>(d);
    t.wHour = static_cast<uint16_t>(h);
    t.wMinute = static_cast<uint16_t>(mi);
    t.wSecond = static_cast<uint16_t>(s);
    t.wMilliseconds = static_cast<uint16_t>(ms);
    return FromLocalMs(ToLocalMs(t));  // fills the weekday
}

class RecordingPort final : public PortWriter {
public:
    int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) override {
        writes.push_back({port, std::vector<uint8_t>(buf, buf + len)});
        return len;
    }
    std::vector<std::pair<int32_t, std::vector<uint8_t>>> writes;
};

class RecordingMonitor final : public MonitorSink {
public:
    void AppendLine(std::string line) override { lines.push_back(std::move(line)); }
    std::vector<std::string> lines;
};

class RecordingLog final : public LogSink {
public:
    void savelogline(int32_t flag, std::string_view text) override { entries.push_back({flag, std::string(text)}); }
    std::vector<std::pair<int32_t, std::string>> entries;
};

struct ShownBox {
    BoxKind kind;
    std::string caption;
    std::string text;
};

class RecordingBoxes final : public MessageBoxes {
public:
    void Show(BoxKind kind, const std::string& caption, const std::string& text) override {
        shown.push_back({kind, caption, text});
        if (onShow) onShow();
    }
    std::vector<ShownBox> shown;
    // Called as each box comes up: what else holds at that moment.
    std::function<void()> onShow;
};

}  // namespace tkw::test
