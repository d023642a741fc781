#include "replay/replay.h"

#include "engine/engine.h"
#include <cmath>

#include "logs/log_writer.h"
#include "logs/offsets_file.h"
#include "platform/derived_clocks.h"

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

int RunReplay(const ReplayOptions& options, const NextCaptureLine& next, int64_t lastMs, std::ostream& out) {
    // The simulated PC clock: the start plus the elapsed time (running fast
    // or slow by the drift asked for) plus every step the engine made.
    ManualClock elapsed(ToLocalMs(options.start));
    OffsetClock clock(elapsed, [&out](const SystemTime& t) {
        out << "SET " << WithMsText(t) << '\n';
        return true;
    });
    PrintingPort port(out);
    PrintingMonitor monitor(out);
    PrintingBoxes boxes(out);
    LogWriter logs(RealFileSystem(), clock, boxes, options.dir);
    Engine engine(EngineSeams{clock, port, monitor, logs});
    OffsetsWriter offsets(RealFileSystem(), options.dir);
    offsets.OnFailure = [&boxes](const std::string&, const std::string&) {
        boxes.Show(BoxKind::Warning, kWarningCaption, kFileAccessError);
    };
    engine.Offsets.OnRow = [&offsets](const OffsetRow& row) { offsets.Write(row); };
    const auto pcElapsedUs = [&options](int64_t ms) {
        return std::llround(static_cast<double>(ms) * 1000.0 * (1.0 + options.driftPpm * 1e-6));
    };
    engine.UserSettings = options.settings;
    if (options.format) engine.UserSettings.CodeFormat = *options.format;
    RuntimeState& state = engine.State;
    state = RuntimeState::AtStartUp();
    state.MonitorOn = options.monitor;
    state.CommLogOn = options.commLog;
    state.JumpLogOn = options.jumpLog;
    state.CorrectNow = options.correctNow;

    CaptureLine line;
    bool chunkLeft = next(line);
    int64_t nextTick = 0;
    while (true) {
        const bool tickLeft = options.tick && nextTick <= lastMs;
        if (!chunkLeft && !tickLeft) break;
        // A chunk at the same instant as a tick is handled first.
        if (chunkLeft && (!tickLeft || line.elapsedMs <= nextTick)) {
            elapsed.SetElapsedMicros(pcElapsedUs(line.elapsedMs));
            if (!line.bytes.empty()) {
                ReadStamp read;
                read.steadyUs = line.elapsedMs * 1000;
                read.localUs = clock.GetLocalMicros();
                engine.HandleChunk(line.bytes.data(), static_cast<int32_t>(line.bytes.size()), read);
            }
            chunkLeft = next(line);
        } else {
            elapsed.SetElapsedMicros(pcElapsedUs(nextTick));
            if (engine.CheckSecond())
                out << "TICK " << engine.Tick.TimeLabel << ' ' << LookOf(engine.Tick.indicator).name << '\n';
            nextTick += 2;
        }
    }
    engine.Offsets.Flush();
    out.flush();
    return 0;
}

}  // namespace tkw::replay
