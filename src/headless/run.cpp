#include "headless/run.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include "engine/chrony_feed.h"
#include "engine/engine.h"
#include "headless/calibrate_command.h"
#include "headless/detect_command.h"
#include "headless/delay_check.h"
#include "headless/offsets_output.h"
#include "headless/settings_commands.h"
#include "headless/stats_command.h"
#include "headless/sinks.h"
#include "config/setting_names.h"
#include "config/settings.h"
#include "logs/log_writer.h"
#include "platform/datagram.h"
#include "platform/derived_clocks.h"
#include "platform/single_instance.h"
#include "serial/com_map.h"
#include "timecode/frame_formats.h"

namespace tkw {

namespace {

std::string ScheduleText(const Settings& s) {
    switch (s.CorrectionMode) {
        case kModeEveryMinute:
        case kModeEveryHour: return "correcting " + ScheduleTimes(s);
        case kModeDailyPoints:
            return "correcting at " + std::to_string(s.DailyPointCount) + " daily point" +
                   (s.DailyPointCount == 1 ? "" : "s");
        default: return "no scheduled correction (mode " + std::to_string(s.CorrectionMode) + ")";
    }
}

// Tells the observers of every step the clock takes, and how far it moved.
class ReportingClock final : public Clock {
public:
    ReportingClock(Clock& inner, const std::vector<RunObserver*>& observers) : inner_(inner), observers_(observers) {}
    SystemTime GetLocalTime() override { return inner_.GetLocalTime(); }
    int64_t GetLocalMicros() override { return inner_.GetLocalMicros(); }
    bool SetLocalTime(const SystemTime& t) override {
        const LocalMs before = ToLocalMs(inner_.GetLocalTime());
        if (!inner_.SetLocalTime(t)) return false;
        for (RunObserver* o : observers_) o->ClockSet(t, ToLocalMs(t) - before);
        return true;
    }

private:
    Clock& inner_;
    const std::vector<RunObserver*>& observers_;
};

}  // namespace

HeadlessRun::HeadlessRun(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams)
    : options_(options), program_(program), seams_(seams) {
    loop_.OnUserSignal = [this] { AskCorrection("SIGUSR1"); };
}

int HeadlessRun::Run() {
    Console& console = seams_.console;
    const std::string me = program_.name + ": ";
    ConsoleBoxes boxes(console);

    // One clock-setting program a machine.
    SingleInstance instance;
    if (!instance.Acquire(program_.lockName)) {
        console.Err("串口校时程序已经在运行！");
        return 1;
    }
    if (!instance.Weakness().empty()) console.Err(me + instance.Weakness());
    // The loop takes SIGUSR1 from here on: --correct-now may find this copy.
    instance.Announce();

    if (seams_.startupNotice)
        if (const std::string notice = seams_.startupNotice(); !notice.empty()) console.Err(notice);

    Settings settings;
    LoadResult loaded;
    // The desktop program would sit there with nothing to do; a service is
    // better off failing visibly.
    if (!LoadForHeadless(seams_.files, settings, boxes, loaded)) return 1;
    RemoveLeftoverSaves(program_, console);
    if (loaded.outcome == LoadOutcome::ShortFile)
        console.Err(me + kConfigFileName + " is shorter than one record (" + std::to_string(loaded.bytes) + " of " +
                    std::to_string(kConfigRecordSize) + " bytes): every setting reads as 0, the port too (COM" +
                    std::to_string(settings.PortNumber) + ", which stands for no device); set them with " +
                    program_.name + " --set --reset");

    // The real clock, whose first refusal is said once; the program goes on
    // as the desktop program does, answering the receiver all the same. With
    // --dry-run nothing is stepped: the clock reads the system's shifted by
    // every step asked for, which is printed.
    Clock& system = seams_.systemClock;
    WarnOnceClock realClock(system, [&] {
        const std::string why = seams_.clockError ? seams_.clockError() : std::string();
        console.Err(me + "the clock cannot be set" + (why.empty() ? "" : " (" + why + ")") + "; " + program_.clockHint);
    });
    OffsetClock dryClock(system, [&console](const SystemTime& t) {
        console.Out("SET " + WithMsText(t));
        return true;
    });
    ReportingClock clock(options_.dryRun ? static_cast<Clock&>(dryClock) : realClock, seams_.observers);

    SerialApi& serial = seams_.serial;
    MonitorPrinter monitor(console, options_.monitor);
    LogWriter logs(seams_.files, clock, boxes);
    std::string logFailure;
    logs.OnFailure = [&logFailure](const std::string& path, const std::string& why) {
        logFailure = path + ": " + why;
    };
    // A full disk fails every entry: said once, and once when it is over.
    logs.BoxEveryFailure = false;
    logs.OnRecovered = [&](const std::string& path) { console.Err(me + path + " is written again"); };
    Engine engine(EngineSeams{clock, serial, monitor, logs});
    engine.UserSettings = settings;
    engine.State = RuntimeState::AtStartUp();
    engine.State.MonitorOn = options_.monitor;
    engine.State.CommLogOn = options_.commLog;
    if (options_.noStep) {
        // No correction at all (none by schedule, none at start): the frames
        // are still read, shown, logged and fed to chrony.
        engine.UserSettings.CorrectionMode = 0;
        engine.State.CorrectNow = false;
    }

    // The second line of a box: the file or device it is about, and why.
    boxes.Detail = [&](const std::string& caption) -> std::string {
        if (caption == kSerialErrorCaption) {
            const std::string why = sio_error_text(engine.UserSettings.PortNumber);
            const std::string path = ComPortPath(engine.UserSettings.PortNumber);
            if (path.empty()) return PortName(program_, engine.UserSettings.PortNumber);
            return path + ": " + (why.empty() ? "the port does not take these settings" : why);
        }
        if (caption == kWarningCaption && !logFailure.empty()) return logFailure;
        return {};
    };

    SerialLink link(serial, loop_, engine, boxes, nullptr,
                    [&] { return savecfg(seams_.files, kConfigFileName, engine.UserSettings); }, Tcomm::RealSleep,
                    options_.pollReads);
    link.Ports.SetUpUnopenedPort = false;
    // A port that is missing or goes away is tried again every 2 s; a read
    // that finds it gone wakes the loop, which then acts on it.
    link.OnPortNews = [&](const std::string& line) { console.Err(me + line); };
    link.OnDeviceGone = [this] { loop_.Wake(); };

    const Settings& s = engine.UserSettings;
    const FrameFormat* format = FindFormat(s.CodeFormat);
    console.Out(me + PortName(program_, s.PortNumber) + ", " + BaudText(s.BaudCode) + " bit/s, " +
                (format ? std::string(format->name) : "unknown format " + std::to_string(s.CodeFormat)) + ", " +
                ScheduleText(s));
    if (options_.noStep) console.Out(me + "--no-step: the clock is never set by " + program_.name);
    for (RunObserver* o : seams_.observers) o->Port(PortName(program_, s.PortNumber));
    const auto showIndicator = [&] {
        // A pending jump's text names the desktop's menu: here, the command.
        const Indicator state = engine.Tick.indicator;
        const std::string& text =
            state == Indicator::Yellow && !program_.jumpText.empty() ? program_.jumpText : engine.Tick.StatusText;
        console.Out(std::string("STATUS ") + LookOf(state).name + " " + text);
        for (RunObserver* o : seams_.observers) o->IndicatorChanged(state, text);
    };
    showIndicator();

    // chronyd's reference clock, fed with every accepted frame.
    std::unique_ptr<DatagramSender> chronySocket;
    std::unique_ptr<ChronyFeed> chrony;
    if (!options_.chronySock.empty()) {
        chronySocket = LocalDatagramsTo(options_.chronySock);
        chrony = std::make_unique<ChronyFeed>(*chronySocket, options_.chronySock,
                                              [&](const std::string& line) { console.Err(me + line); });
        if (!options_.noStep) console.Out(me + "also setting the clock itself; --no-step leaves it to chronyd");
        engine.Receiver.OnFrame = [&](const SystemTime& frame, const ReadStamp& read) {
            // The frame arrived when the read that completed it returned.
            const int64_t us = read.realUs != ReadStamp::kUnknown ? read.realUs : ReadStamp::Now().realUs;
            chrony->Frame(frame, engine.UserSettings.FineAdjustMs,
                          RealInstant{us / 1'000'000, static_cast<int32_t>(us % 1'000'000 * 1000)});
        };
    }

    // Every frame's offset, a row a minute in YYMMDDO.csv.
    OffsetsOutput offsets(engine.Offsets, seams_.files, console, me, seams_.observers, options_.printOffsets);
    // With the clock kept by something else, a day's offsets measure the
    // receiver's delay against the fine adjustment.
    std::optional<DelayWatch> delayWatch;
    if (options_.noStep)
        delayWatch.emplace(engine.Offsets, console, me, program_.name, seams_.observers,
                           [&engine] { return engine.UserSettings.FineAdjustMs; },
                           [] { return JudgeClock(ReadClockSync()); });

    link.Start();
    for (RunObserver* o : seams_.observers) o->Ready();

    Indicator shown = engine.Tick.indicator;
    bool down = link.PortDown();
    if (down)
        for (RunObserver* o : seams_.observers) o->PortDown(true);
    loop_.Run([&] {
        instance.DropCallers();
        if (const char* how = correctionAsked_.exchange(nullptr)) {
            if (!options_.noStep) engine.State.CorrectNow = true;
            console.Out(me + "correction asked for (" + how + ")" +
                        (options_.noStep ? ", but --no-step: the clock is never set" : ": at the next accepted frame"));
        }
        if (engine.CheckSecond() && engine.Tick.indicator != shown) {
            shown = engine.Tick.indicator;
            showIndicator();
        }
        // Back from sleep, the port is opened again at once; otherwise
        // recovery acts when it is due.
        const std::chrono::milliseconds retry = resumed_.exchange(false) ? link.TryPortNow(true) : link.ServicePort();
        if (link.PortDown() != down) {
            down = link.PortDown();
            for (RunObserver* o : seams_.observers) o->PortDown(down);
        }
        // Wake just after the clock's next second begins, or for the next try.
        int wait = 1001 - clock.GetLocalTime().wMilliseconds;
        if (retry.count() >= 0 && retry.count() < wait) wait = static_cast<int>(retry.count());
        for (RunObserver* o : seams_.observers)
            if (const auto most = o->Turn(); most.count() >= 0 && most.count() < wait) wait = static_cast<int>(most.count());
        return wait;
    });
    for (RunObserver* o : seams_.observers) o->Stopping();
    engine.Offsets.Flush();

    link.Stop();
    // The reader is not waited for by the desktop program either; a short
    // wait here only lets it leave its sleep before the process ends.
    if (Tcomm* reader = link.ReaderThread()) reader->WaitEnded(std::chrono::milliseconds(100));
    // Closed, not left to the process's end: the close gives up the port's
    // exclusive use, which a pseudo-terminal or a driver another process
    // holds open would otherwise keep after us.
    serial.sio_close(engine.UserSettings.PortNumber);
    return 0;
}

bool EnterDirectory(const std::string& dir, std::string& why) {
    std::error_code ec;
    std::filesystem::current_path(std::filesystem::path(std::u8string(dir.begin(), dir.end())), ec);
    if (!ec) return true;
    why = ec.message();
    return false;
}

int HeadlessMain(const std::vector<std::string>& args, const HeadlessProgram& program, const HeadlessSeams& seams,
                 const std::function<int(const HeadlessOptions&)>& systemCommand) {
    Console& console = seams.console;
    const ParsedOptions parsed = ParseOptions(args, program.system);
    if (!parsed.ok()) {
        console.Err(program.name + ": " + parsed.error + " (see --help)");
        return 2;
    }
    const HeadlessOptions& o = parsed.options;
    switch (o.command) {
        case Command::Help: {
            std::string text = HelpText(program.system, program.name);
            text.pop_back();  // the console ends the line
            console.Out(text);
            return 0;
        }
        case Command::Version: console.Out(VersionLine(program.name)); return 0;
        case Command::CorrectNow:
        case Command::Install:
        case Command::Uninstall:
        case Command::Service: return systemCommand ? systemCommand(o) : 2;
        default: break;
    }
    for (const ComMapping& m : o.maps) MapComPort(m.port, m.path);
    if (!o.dir.empty()) {
        std::string why;
        if (!EnterDirectory(o.dir, why)) {
            console.Err(program.name + ": --dir " + o.dir + ": " + why);
            return 1;
        }
    }
    switch (o.command) {
        case Command::ListPorts: return ListPorts(seams.ports, program, console);
        case Command::Detect: return DetectReceivers(o, program, seams);
        case Command::Calibrate: return CalibrateReceiver(o, program, seams);
        case Command::ShowSettings:
        case Command::SetSettings: return ShowOrSetSettings(o, program, seams.files, console);
        case Command::Stats: return PrintStats(o, program, seams.systemClock, console);
        default: break;
    }
    HeadlessRun run(o, program, seams);
    return run.Run();
}

}  // namespace tkw
