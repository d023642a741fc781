// Receiver frames built from decimal fields, and a rig that runs the receiver
// over the fakes and journals everything it does, in order, as text:
//   "MON <line>"          a line appended to the monitor text
//   "LOG<flag> <text>"    a savelogline call
//   "SET <local time>"    the clock stepped (YYYY-MM-DD hh:mm:ss.zzz)
//   "TX <port> <hex...>"  bytes written to the port
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "support/fakes.h"
#include "timecode/receiver.h"

namespace tkw::test {

using Bytes = std::vector<uint8_t>;

// A frame of `code` made by the program's own encoder. A date field of 0
// gives a zero byte: the receiver's "use the PC's date".
inline Bytes Encoded(uint8_t code, int h, int m, int s, int yyyy, int mo, int d) {
    SystemTime t;
    t.wYear = static_cast<uint16_t>(yyyy), t.wMonth = static_cast<uint16_t>(mo), t.wDay = static_cast<uint16_t>(d);
    t.wHour = static_cast<uint16_t>(h), t.wMinute = static_cast<uint16_t>(m), t.wSecond = static_cast<uint16_t>(s);
    const FrameBytes f = EncodeFrame(*FindFormat(code), t);
    return Bytes(f.begin(), f.end());
}
// The same with a two-digit year (0: a zero year byte).
inline Bytes Frame(uint8_t code, int h, int m, int s, int yy = 26, int mo = 3, int d = 14) {
    return Encoded(code, h, m, s, yy == 0 ? 0 : 2000 + yy, mo, d);
}
inline Bytes Krw(int h, int m, int s, int yy = 26, int mo = 3, int d = 14) { return Frame(1, h, m, s, yy, mo, d); }
inline Bytes Pl(int h, int m, int s, int yy = 26, int mo = 3, int d = 14) { return Frame(2, h, m, s, yy, mo, d); }
inline Bytes Mn(int h, int m, int s, int yyyy = 2026, int mo = 3, int d = 14) {
    return Encoded(3, h, m, s, yyyy, mo, d);
}
// `frame` with some bytes replaced: {offset, value} pairs.
inline Bytes With(Bytes frame, std::initializer_list<std::pair<size_t, uint8_t>> bytes) {
    for (auto [k, v] : bytes) frame.at(k) = v;
    return frame;
}
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline std::string Hex(const uint8_t* b, size_t n) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += kHex[b[i] >> 4];
        s += kHex[b[i] & 15];
    }
    return s;
}

using Events = std::vector<std::string>;

class JournalSinks final : public MonitorSink, public LogSink, public PortWriter {
public:
    JournalSinks(Events& ev, FakeClock& clock) : ev_(ev), clock_(clock) {}
    void AppendLine(std::string line) override {
        ev_.push_back("MON " + line);
        clock_.Advance(monitorCostMs);
    }
    void savelogline(int32_t flag, std::string_view text) override {
        ev_.push_back("LOG" + std::to_string(flag) + " " + std::string(text));
    }
    int32_t sio_write(int32_t port, const uint8_t* buf, int32_t len) override {
        ev_.push_back("TX " + std::to_string(port) + " " + Hex(buf, static_cast<size_t>(len)));
        return len;
    }
    int64_t monitorCostMs = 0;  // a slow monitor: time passes while it appends

private:
    Events& ev_;
    FakeClock& clock_;
};

class JournalClock final : public Clock {
public:
    JournalClock(Events& ev, FakeClock& clock) : ev_(ev), clock_(clock) {}
    SystemTime GetLocalTime() override { return clock_.GetLocalTime(); }
    bool SetLocalTime(const SystemTime& t) override {
        ev_.push_back("SET " + WithMsText(t));
        return clock_.SetLocalTime(t);
    }

private:
    Events& ev_;
    FakeClock& clock_;
};

// Defaults of a fresh installation (KRW_CODE, every minute at second 31,
// 135 ms, threshold 3 s, no correction on a jump, port 1), every flag clear,
// and the PC at 2026-03-14 08:05:30.000 (a Saturday).
struct Rig {
    Rig() { ApplyDefaults(settings); }

    // A chunk read now, by the monotonic clock beside the PC's.
    void Feed(const Bytes& b) {
        rx.HandleChunk(b.data(), static_cast<int32_t>(b.size()), ReadStamp{clock.SteadyMs() * 1000});
    }
    // Only the events that start with `prefix`.
    Events Only(std::string_view prefix) const {
        Events out;
        for (const std::string& e : events)
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }

    Settings settings;
    RuntimeState state;
    FakeClock clock{At(2026, 3, 14, 8, 5, 30)};
    Events events;
    JournalSinks sinks{events, clock};
    JournalClock seam{events, clock};
    TimeCodeReceiver rx{settings, state, seam, sinks, sinks, sinks};
};

}  // namespace tkw::test
