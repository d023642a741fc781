#include "replay/replay.h"

#include <algorithm>

#include "app/tick.h"
#include "logs/log_writer.h"
#include "timecode/receiver.h"

namespace tkw::replay {
namespace {

class PrintingPort final : public PortWriter {
public:
    explicit PrintingPort(std::ostream& out) : out_(out) {}
    int32_t sio_write(int32_t, const uint8_t* buf, int32_t len) override {
        out_ << "TX " << HexBytes(buf, static_cast<size_t>(len)) << '\n';
        return len;
    }

private:
    std::ostream& out_;
};

class PrintingMonitor final : public MonitorSink {
public:
    explicit PrintingMonitor(std::ostream& out) : out_(out) {}
    void AppendLine(std::string line) override { out_ << "MON " << line << '\n'; }

private:
    std::ostream& out_;
};

class PrintingBoxes final : public MessageBoxes {
public:
    explicit PrintingBoxes(std::ostream& out) : out_(out) {}
    void Show(BoxKind, const std::string& caption, const std::string& text) override {
        out_ << "BOX " << caption << ": " << text << '\n';
    }

private:
    std::ostream& out_;
};

}  // namespace

std::string HexBytes(const uint8_t* bytes, size_t n) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        if (i) s += ' ';
        s += kHex[bytes[i] >> 4];
        s += kHex[bytes[i] & 0x0F];
    }
    return s;
}

SystemTime SimClock::GetLocalTime() {
    return FromLocalMs(std::clamp(start_ + elapsed_ + offset_, kMinLocalMs, kMaxLocalMs));
}

bool SimClock::SetLocalTime(const SystemTime& t) {
    if (!IsValid(t)) return false;
    offset_ = ToLocalMs(t) - start_ - elapsed_;
    out_ << "SET " << WithMsText(t) << '\n';
    return true;
}

int RunReplay(const ReplayOptions& options, const std::vector<CaptureLine>& capture, std::ostream& out) {
    Settings settings = options.settings;
    if (options.format) settings.CodeFormat = *options.format;

    RuntimeState state = RuntimeState::AtStartUp();
    state.MonitorOn = options.monitor;
    state.CommLogOn = options.commLog;
    state.JumpLogOn = options.jumpLog;
    state.CorrectNow = options.correctNow;

    SimClock clock(ToLocalMs(options.start), out);
    PrintingPort port(out);
    PrintingMonitor monitor(out);
    PrintingBoxes boxes(out);
    LogWriter logs(RealFileSystem(), clock, boxes, options.dir);
    TimeCodeReceiver receiver(settings, state, clock, port, monitor, logs);
    SecondTick tick;

    const int64_t lastMs = capture.empty() ? 0 : capture.back().elapsedMs;
    size_t next = 0;
    int64_t nextTick = 0;
    while (true) {
        const bool chunkLeft = next < capture.size();
        const bool tickLeft = options.tick && nextTick <= lastMs;
        if (!chunkLeft && !tickLeft) break;
        // A chunk at the same instant as a tick is handled first.
        if (chunkLeft && (!tickLeft || capture[next].elapsedMs <= nextTick)) {
            const CaptureLine& line = capture[next++];
            clock.SetElapsed(line.elapsedMs);
            if (!line.bytes.empty())
                receiver.HandleChunk(line.bytes.data(), static_cast<int32_t>(line.bytes.size()));
        } else {
            clock.SetElapsed(nextTick);
            if (tick.Timer1Timer(clock, port, settings, state))
                out << "TICK " << tick.TimeLabel << ' ' << LookOf(tick.indicator).name << '\n';
            nextTick += 2;
        }
    }
    out.flush();
    return 0;
}

}  // namespace tkw::replay
