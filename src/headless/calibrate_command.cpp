#include "headless/calibrate_command.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "config/calibration_file.h"
#include "config/setting_names.h"
#include "config/settings.h"
#include "engine/engine.h"
#include "headless/clock_check.h"
#include "headless/detect_command.h"
#include "headless/settings_commands.h"
#include "headless/sinks.h"
#include "platform/clock_sync.h"
#include "platform/event_loop.h"
#include "platform/single_instance.h"
#include "serial/com_map.h"
#include "timecode/frame_formats.h"
#include "timecode/offset_stats.h"

namespace tkw {

namespace {

using Steady = std::chrono::steady_clock;

// What a stored calibration needs: a minute of frames at least, and a delay
// steady enough that one whole millisecond stands for it.
constexpr int kMinFramesToSave = 60;
constexpr double kMaxSpreadToSaveMs = 10.0;
constexpr int kProgressEverySeconds = 10;

// The real port, but for writing: nothing reaches the receiver (a correction's
// 55 AA, the PC's time frame), and any attempt is counted, so that the
// command can tell it never happened. The bytes read are counted too (to
// tell a silent line from frames of another format), and the last open's
// result kept (to tell a port in use from one that is missing).
class ListeningPort final : public ForwardingSerialApi {
public:
    explicit ListeningPort(SerialApi& inner) : ForwardingSerialApi(inner) {}
    int32_t sio_open(int32_t port) override { return lastOpen = inner_.sio_open(port); }
    int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) override {
        const int32_t n = inner_.sio_read(port, buf, len);
        if (n > 0) bytes += n;
        return n;
    }
    int32_t sio_write(int32_t, const uint8_t*, int32_t len) override {
        ++writes;
        return len;
    }

    std::atomic<int32_t> lastOpen{0};
    std::atomic<int64_t> bytes{0};  // on the reader's thread
    std::atomic<int> writes{0};
};

// The system's clock, read as a run reads it, and never set.
class UnsettableClock final : public Clock {
public:
    explicit UnsettableClock(Clock& inner) : inner_(inner) {}
    SystemTime GetLocalTime() override { return inner_.GetLocalTime(); }
    int64_t GetLocalMicros() override { return inner_.GetLocalMicros(); }
    bool SetLocalTime(const SystemTime&) override {
        ++steps;
        return false;
    }
    int steps = 0;

private:
    Clock& inner_;
};

// No monitor, no logs: a calibration leaves nothing behind but its result.
class Nowhere final : public MonitorSink, public LogSink {
public:
    void AppendLine(std::string) override {}
    void savelogline(int32_t, std::string_view) override {}
};

// With the fine adjustment 0, every offset the receiver measures is the
// delay: the PC's clock at the read minus the second the frame names.
class Delays final : public OffsetSink {
public:
    void Sample(double offsetMs, LocalMs, int64_t) override { ms.push_back(offsetMs); }
    void Stepped(double, int64_t) override { ++steps; }
    std::vector<double> ms;
    int steps = 0;
};

// The port's failure to open is said by the command, which knows why; the
// line's set-up failures go out as a run's do.
class WithoutOpenFailure final : public MessageBoxes {
public:
    explicit WithoutOpenFailure(MessageBoxes& inner) : inner_(inner) {}
    void Show(BoxKind kind, const std::string& caption, const std::string& text) override {
        if (text != kMsgStartupOpenFailed) inner_.Show(kind, caption, text);
    }

private:
    MessageBoxes& inner_;
};

struct DelaySummary {
    int frames = 0;
    double median = 0, mean = 0, sd = 0;
    double low = 0, high = 0;  // the 2.5th and 97.5th percentiles: 95 % of the frames lie between
};

// Linear between the two nearest ranks of `sorted` (not empty).
double Percentile(const std::vector<double>& sorted, double p) {
    const double at = p / 100.0 * static_cast<double>(sorted.size() - 1);
    const size_t i = static_cast<size_t>(at);
    if (i + 1 >= sorted.size()) return sorted.back();
    return sorted[i] + (at - static_cast<double>(i)) * (sorted[i + 1] - sorted[i]);
}

DelaySummary Summarise(std::vector<double> ms) {
    DelaySummary s;
    if (ms.empty()) return s;
    std::sort(ms.begin(), ms.end());
    RunningStats stats;
    for (const double x : ms) stats.Add(x);
    s.frames = stats.count;
    s.mean = stats.mean;
    s.sd = stats.Sd();
    s.median = Percentile(ms, 50);
    s.low = Percentile(ms, 2.5);
    s.high = Percentile(ms, 97.5);
    return s;
}

std::string Tenths(double x) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::fabs(x) < 0.05 ? 0.0 : x);
    return text;
}

// The median to a whole millisecond, as the fine adjustment holds it.
int CalibratedValue(const DelaySummary& s) {
    return FineAdjustForDelay(s.median);
}

// Why the measurement is not to be stored: empty when it may be.
std::string WhyNotToSave(const DelaySummary& s) {
    std::vector<std::string> why;
    if (s.frames < kMinFramesToSave)
        why.push_back("only " + std::to_string(s.frames) + " frames were measured, " +
                      std::to_string(kMinFramesToSave) + " are needed (listen longer: --seconds)");
    if (s.high - s.low > kMaxSpreadToSaveMs)
        why.push_back("the delay varies too much: 95 % of the frames lie within " + Tenths(s.low) + ".." +
                      Tenths(s.high) + " ms, " + Tenths(s.high - s.low) + " ms apart (" +
                      Tenths(kMaxSpreadToSaveMs) + " at most), so no one value stands for it (a receiver or a "
                      "line this uneven, or a PC too busy to read the port at once)");
    if (s.median < kFineAdjustRange.Min - 0.5 || s.median >= kFineAdjustRange.Max + 0.5)
        why.push_back("the delay lies outside the fine adjustment's 0..999 ms (is the receiver's time zone, or "
                      "this PC's clock, right?)");
    std::string out;
    for (const std::string& w : why) out += (out.empty() ? "" : "; and ") + w;
    return out;
}

// The calibrated value as the fine adjustment (and the port named, which is
// the receiver measured) through --set's path: its lock, its checks, its safe
// save. Then, under that lock again, what it was measured for, beside it.
int Store(const DelaySummary& s, const Settings& stored, const Settings& listened, const HeadlessOptions& options,
          const HeadlessProgram& program, const HeadlessSeams& seams) {
    Console& console = seams.console;
    const std::string me = program.name + ": ";
    const int value = CalibratedValue(s);
    HeadlessOptions set;
    if (options.calibratePort != 0 && options.calibratePort != stored.PortNumber)
        set.sets.push_back("port=" + std::to_string(options.calibratePort));
    set.sets.push_back("fine=" + std::to_string(value));
    // --set's lines go to standard error: standard output stays the result.
    ErrOnly err(console);
    if (ShowOrSetSettings(set, program, seams.files, err) != 0) return 1;

    UpdateLock lock;
    bool unavailable = false;
    const Status locked = lock.Acquire(kConfigFileName, std::chrono::seconds(10), unavailable);
    Status saved = locked || unavailable ? Status::Ok() : locked;
    const std::string today = DateTimeText(seams.systemClock.GetLocalTime()).substr(0, 10);
    if (saved)
        saved = SaveCalibration(seams.files, kCalibrationFileName,
                                {value, listened.CodeFormat, listened.BaudCode, today});
    if (!saved) {
        console.Err(me + kCalibrationFileName + ": " + FailureReason(saved) + "; fine=" + std::to_string(value) +
                    " is stored, but a later change of the format or bit rate will not say it was measured for " +
                    FormatText(listened.CodeFormat) + " at " + BaudText(listened.BaudCode) + " bit/s");
        return 1;
    }
    console.Err(me + "stored fine=" + std::to_string(value) + ", measured for " + FormatText(listened.CodeFormat) +
                " at " + BaudText(listened.BaudCode) + " bit/s (" + kCalibrationFileName + ")");
    return 0;
}

}  // namespace

int CalibrateReceiver(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams) {
    Console& console = seams.console;
    const std::string me = program.name + ": ";
    const std::string stopService =
        program.system == kWindows ? "sc stop TKW, or end tkw.exe" : "systemctl stop tkw, or end the tkw running";
    // Before the reader's thread exists: the signals are the loop's.
    EventLoop loop;

    // A TKW that sets this clock from a receiver meanwhile would make the
    // reference follow the very delay being measured. Held until the end, so
    // that none starts either.
    SingleInstance instance;
    if (!instance.Acquire(program.lockName)) {
        console.Err(me + "another TKW runs on this PC and sets its clock: stop it first (" + stopService +
                    "), then calibrate");
        return 1;
    }

    if (options.trustClock) {
        console.Err(me + "the clock: not checked (--trust-clock); the delay measured is only as right as this "
                         "PC's clock");
    } else {
        const ClockVerdict verdict = JudgeClock(ReadClockSync());
        console.Err(me + "the clock: " + verdict.found);
        if (!verdict.trusted) {
            console.Err(me + "the receiver's delay cannot be measured against a clock not known to be right to "
                             "1 ms; nothing measured");
            for (const std::string& line : verdict.advice) console.Err(me + line);
            return 1;
        }
    }

    ConsoleBoxes boxes(console);
    Settings stored;
    LoadResult loaded;
    if (!LoadForHeadless(seams.files, stored, boxes, loaded)) return 1;
    Settings listen = stored;
    if (options.calibratePort != 0) listen.PortNumber = options.calibratePort;
    const FrameFormat* format = FindFormat(listen.CodeFormat);
    if (!format) {
        console.Err(me + std::string(kConfigFileName) + " names no time-code format (" +
                    std::to_string(listen.CodeFormat) + "): " + program.name + " --detect --save finds and stores it");
        return 1;
    }
    // No correction due, ever: none by schedule, none at start.
    listen.FineAdjustMs = 0;
    listen.CorrectionMode = 0;
    const int seconds = options.calibrateSeconds != 0 ? options.calibrateSeconds : kCalibrateSeconds;
    const std::string port = PortName(program, listen.PortNumber);
    const std::string what = port + " " + format->name + " at " + BaudText(listen.BaudCode) + " bit/s";

    ListeningPort serial(seams.serial);
    UnsettableClock clock(seams.systemClock);
    Nowhere nowhere;
    Engine engine(EngineSeams{clock, serial, nowhere, nowhere});
    engine.UserSettings = listen;
    engine.State = RuntimeState{};  // no correction asked for, no logs, no monitor
    Delays delays;
    engine.Receiver.Offsets = &delays;
    int64_t accepted = 0;
    engine.Receiver.OnFrame = [&accepted](const SystemTime&, const ReadStamp&) { ++accepted; };

    boxes.Detail = [&](const std::string& caption) -> std::string {
        if (caption != kSerialErrorCaption) return {};
        const std::string why = sio_error_text(listen.PortNumber);
        return port + (why.empty() ? "" : ": " + why);
    };
    WithoutOpenFailure portBoxes(boxes);
    // The tick, which would send the PC's time frame, is never called; the
    // port's recovery is never served: a port that goes away ends the listen.
    std::atomic<bool> gone{false};
    SerialLink link(serial, loop, engine, portBoxes, nullptr,
                    [] { return Status::Fail("the settings are not changed while calibrating"); });
    link.Ports.SetUpUnopenedPort = false;
    link.OnDeviceGone = [&] {
        gone = true;
        loop.Wake();
    };
    const auto closePort = [&](bool open) {
        link.Stop();
        if (Tcomm* reader = link.ReaderThread()) reader->WaitEnded(std::chrono::milliseconds(100));
        if (open) serial.sio_close(listen.PortNumber);
    };
    if (!link.Start()) {
        const int32_t opened = serial.lastOpen;
        closePort(opened == 0);
        console.Err(me + port + ": " +
                    (opened == 0 ? std::string("cannot be set up for ") + format->name + " at " +
                                       BaudText(listen.BaudCode) + " bit/s"
                                 : OpenFailure(opened, listen.PortNumber, program)) +
                    (opened == kSioBusy ? " (a TKW service? stop it first: " + stopService + ")" : "") +
                    "; nothing measured");
        return 1;
    }
    console.Err(me + "listening to " + what + " for " + std::to_string(seconds) +
                " s; the clock is never set and nothing is sent to the receiver");

    enum class End { Asked, Done, Gone } end = End::Asked;
    const Steady::time_point start = Steady::now();
    int64_t said = 0;  // progress lines given
    loop.Run([&] {
        const Steady::duration elapsed = Steady::now() - start;
        if (elapsed >= std::chrono::seconds(seconds)) end = End::Done;
        if (gone || link.PortDown()) end = End::Gone;
        if (end != End::Asked) {
            loop.Quit();
            return 0;
        }
        const int64_t whole = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
        if (whole / kProgressEverySeconds > said) {
            said = whole / kProgressEverySeconds;
            const DelaySummary so = Summarise(delays.ms);
            console.Err(me + std::to_string(whole) + " s: " + std::to_string(so.frames) + " frames" +
                        (so.frames > 0 ? ", median " + Tenths(so.median) + " ms" : ""));
        }
        // Woken at each whole second of the listen.
        const auto next = start + std::chrono::seconds(whole + 1);
        return static_cast<int>(
            std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(next - Steady::now()).count()));
    });
    const int64_t listened =
        end == End::Done ? seconds : std::chrono::duration_cast<std::chrono::seconds>(Steady::now() - start).count();
    closePort(end != End::Gone);

    // Never expected: the clock refuses and the port drops what it is given,
    // but a calibration that tried to set either is not to be trusted.
    if (serial.writes != 0 || clock.steps != 0 || delays.steps != 0) {
        console.Err(me + "internal error: " + std::to_string(serial.writes) + " writes to the port and " +
                    std::to_string(clock.steps) + " steps of the clock were attempted; nothing stored");
        return 1;
    }

    const DelaySummary s = Summarise(delays.ms);
    console.Out(what + ": " + std::to_string(s.frames) + " frames in " + std::to_string(listened) + " s");
    if (s.frames > 0) {
        const int value = CalibratedValue(s);
        const double off = stored.FineAdjustMs - s.median;
        console.Out("receiver delay: median " + Tenths(s.median) + " ms, mean " + Tenths(s.mean) + ", sd " +
                    Tenths(s.sd) + ", 95 % of frames within " + Tenths(s.low) + ".." + Tenths(s.high));
        console.Out("fine adjustment now " + std::to_string(stored.FineAdjustMs) + " ms: " +
                    (value == stored.FineAdjustMs
                         ? std::string("the fine adjustment is right")
                         : "the clock is set " + Tenths(std::fabs(off)) + " ms " + (off > 0 ? "late" : "early")) +
                    "; calibrated value: " + std::to_string(value));
    }
    const std::string unsaved = options.save ? std::string("; ") + kConfigFileName + " is left as it was" : "";
    if (end == End::Gone) {
        const std::string why = sio_error_text(listen.PortNumber);
        console.Err(me + port + " went away after " + std::to_string(listened) + " s" +
                    (why.empty() ? "" : " (" + why + ")") + unsaved);
        return 1;
    }
    if (end == End::Asked) {
        console.Err(me + "stopped after " + std::to_string(listened) + " s of " + std::to_string(seconds) +
                    ": the result so far" + unsaved);
        return 1;
    }
    if (s.frames == 0) {
        if (serial.bytes == 0)
            console.Err(me + "nothing received on " + port + " in " + std::to_string(listened) +
                        " s: is the receiver connected, powered and on this port? (" + program.name +
                        " --detect listens to every port)");
        else if (accepted == 0)
            console.Err(me + "bytes arrived on " + port + ", but no " + format->name +
                        " frame: another time-code format or bit rate? " + program.name + " --detect COM" +
                        std::to_string(listen.PortNumber) + " finds out (--save stores it)");
        else
            console.Err(me + std::to_string(accepted) + " " + format->name + " frames arrived, but none a second after "
                        "the one before it (a receiver that repeats one time?): no delay to measure");
        return 1;
    }
    if (!options.save) return 0;
    if (const std::string why = WhyNotToSave(s); !why.empty()) {
        console.Err(me + "--save: " + why + unsaved);
        return 1;
    }
    return Store(s, stored, listen, options, program, seams);
}

}  // namespace tkw
