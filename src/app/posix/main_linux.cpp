// tkw: the main job without a window, for Linux PCs and servers. Reads the
// receiver on a serial port, steps the clock on the user's schedule, answers
// the receiver, sends the PC's own time frame every second, and logs, all in
// the current directory as the desktop program does. Without a menu it also
// shows and changes the settings from the command line, lists the ports, and
// keeps trying a port that is missing or has gone away.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/chrony_feed.h"
#include "app/engine.h"
#include "app/port_recovery.h"
#include "app/settings_report.h"
#include "config/setting_names.h"
#include "config/settings.h"
#include "logs/log_writer.h"
#include "platform/datagram.h"
#include "platform/derived_clocks.h"
#include "platform/posix/event_loop.h"
#include "platform/single_instance.h"
#include "platform/system_clock.h"
#include "serial/com_map.h"
#include "serial/port_list.h"
#include "serial/serial_api.h"
#include "timecode/frame_formats.h"

namespace {

using namespace tkw;

constexpr const char* kUsage =
    "usage: tkw [options]                 run: keep this PC's clock in step with the receiver\n"
    "       tkw --show-settings           print the stored settings\n"
    "       tkw --set NAME=VALUE ...      change stored settings (see below), print them, exit\n"
    "       tkw --list-ports              print the serial ports found, as COMn......DEVICE\n"
    "\n"
    "Runs in the current directory: settings from horalsys.conf (the built-in defaults when\n"
    "it is missing), logs YYMMDDS.txt (jumps) and YYMMDDC.txt (serial traffic) written there.\n"
    "\n"
    "  --map COMn=PATH   use device PATH for port COMn (repeatable); without it COMn is\n"
    "                    /dev/ttyS(n-1)\n"
    "  --dry-run         never set the clock: print SET YYYY-MM-DD hh:mm:ss.zzz instead\n"
    "                    (the program then goes on as if the clock had been set)\n"
    "  --monitor         print every monitor line as MON <line>\n"
    "  --comm-log        write the communication log from the start\n"
    "  --chrony-sock PATH  send every accepted frame to chronyd's SOCK reference clock\n"
    "                    at PATH (refclock SOCK PATH in chrony.conf)\n"
    "  --no-step         never set the clock (with --chrony-sock: leave it to chronyd)\n"
    "  --poll-reads      look at the port every 10 ms, as earlier versions did, instead\n"
    "                    of waiting for input (for comparing the two)\n"
    "  --help            show this text\n"
    "\n"
    "Settings for --set (as the desktop program's menu and dialogs allow them):\n"
    "  port=1..128  baud=4800|9600  format=KRW_CODE|PL_CODE|MN_CODE (also sets its baud)\n"
    "  mode=minute|hour|daily  second=0..59  minute=0..59  points=H:mm:ss,... (at most 24)\n"
    "  jump=2..60 (seconds)  fine=0..999 (ms)  no-correct-on-jump=on|off\n"
    "\n"
    "Setting the clock needs CAP_SYS_TIME (root, or the capability given to the service).\n"
    "Messages the desktop program shows in boxes go to standard error as <caption>: <text>,\n"
    "with a second line naming the file or device and the system's reason. Indicator\n"
    "changes are printed as STATUS <red|yellow|green> <text>. A port that is missing or\n"
    "goes away is tried again every 2 s. One tkw runs at a time (TKW_INSTANCE names the\n"
    "lock, for tests). Exit status: 0 after SIGINT or SIGTERM; 1 when horalsys.conf cannot\n"
    "be read or written, or another tkw runs; 2 for a bad option or setting.\n";

// "COM1 (/dev/ttyUSB0)".
std::string PortName(int32_t port) { return "COM" + std::to_string(port) + " (" + ComPortPath(port) + ")"; }

// Boxes go to standard error; a second line says what the box means, which
// a service's log needs (the boxes' own texts stay as the desktop shows them).
class StderrBoxes final : public MessageBoxes {
public:
    std::function<std::string(const std::string& caption)> Detail;
    void Show(BoxKind, const std::string& caption, const std::string& text) override {
        std::cerr << caption << ": " << text << '\n';
        if (Detail)
            if (const std::string d = Detail(caption); !d.empty()) std::cerr << "  " << d << '\n';
        std::cerr.flush();
    }
};

// Without a window the monitor lines have nowhere to wait: they are printed
// with --monitor and dropped otherwise, rather than piling up for years.
class MonitorPrinter final : public MonitorSink {
public:
    explicit MonitorPrinter(bool print) : print_(print) {}
    void AppendLine(std::string line) override {
        if (!print_) return;
        std::printf("MON %s\n", line.c_str());
        std::fflush(stdout);
    }

private:
    bool print_;
};

struct Options {
    bool dryRun = false;
    bool monitor = false;
    bool commLog = false;
    bool showSettings = false;
    bool listPorts = false;
    bool pollReads = false;
    bool noStep = false;
    std::string chronySock;
    std::vector<std::string> sets;
};

int Usage(const std::string& why) {
    std::cerr << "tkw: " << why << " (see --help)\n";
    return 2;
}

// Loads horalsys.conf, saying why when it cannot: the box the desktop program
// shows, then the file and the system's reason.
bool Load(Settings& s, StderrBoxes& boxes, LoadResult& result) {
    result = LoadSettings(RealFileSystem(), kConfigFileName, s);
    if (result.ok()) return true;
    const std::string why = result.error;
    boxes.Detail = [why](const std::string& caption) {
        return caption == kWarningCaption ? std::string(kConfigFileName) + ": " + why : std::string();
    };
    ReportLoad(result, boxes);
    return false;
}

void PrintSettings(const Settings& s, const LoadResult& loaded) {
    if (loaded.outcome == LoadOutcome::NoFile)
        std::cout << "no " << kConfigFileName << " here: the built-in defaults\n";
    else if (loaded.outcome == LoadOutcome::ShortFile)
        std::cout << kConfigFileName << " is shorter than one record: every setting reads as 0\n";
    else
        std::cout << kConfigFileName << ":\n";
    for (const std::string& line : DescribeSettings(s, [](int port) { return ComPortPath(port); }))
        std::cout << "  " << line << '\n';
}

int ShowOrSet(const Options& opt, StderrBoxes& boxes) {
    Settings s;
    LoadResult loaded;
    if (!Load(s, boxes, loaded)) return 1;
    if (!opt.sets.empty()) {
        // Every value checked before anything is written.
        for (const std::string& assignment : opt.sets) {
            std::string why;
            if (!ApplySetting(assignment, s, why)) {
                std::cerr << "tkw: --set " << assignment << ": " << why << "; " << kConfigFileName
                          << " is left as it was\n";
                return 2;
            }
        }
        const Status saved = savecfg(RealFileSystem(), kConfigFileName, s);
        if (!saved) {
            boxes.Detail = [](const std::string&) { return std::string(kConfigFileName) + " is left as it was"; };
            ReportSave(saved, boxes);
            return 1;
        }
        loaded.outcome = LoadOutcome::Loaded;
        std::cout << "saved; a tkw running now takes the new settings at its next start\n";
    }
    PrintSettings(s, loaded);
    return 0;
}

int ListPorts() {
    const std::vector<std::string> lines = SystemSerialPorts().Lines();
    for (const std::string& l : lines) std::cout << l << '\n';
    if (lines.empty()) std::cout << "no serial ports found; give a device a number with --map COMn=PATH\n";
    return 0;
}

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

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--map" || arg.rfind("--map=", 0) == 0) {
            const bool inline_ = arg != "--map";
            if (!inline_ && i + 1 >= argc) return Usage("--map needs COMn=PATH");
            if (!MapComPortSpec(inline_ ? arg.substr(6) : argv[++i]))
                return Usage("--map needs COMn=PATH with n from 1 to " + std::to_string(kMaxComPort));
        } else if (arg == "--dry-run") {
            opt.dryRun = true;
        } else if (arg == "--monitor") {
            opt.monitor = true;
        } else if (arg == "--comm-log") {
            opt.commLog = true;
        } else if (arg == "--show-settings") {
            opt.showSettings = true;
        } else if (arg == "--chrony-sock") {
            if (i + 1 >= argc) return Usage("--chrony-sock needs the socket's path");
            opt.chronySock = argv[++i];
        } else if (arg == "--no-step") {
            opt.noStep = true;
        } else if (arg == "--poll-reads") {
            opt.pollReads = true;
        } else if (arg == "--list-ports") {
            opt.listPorts = true;
        } else if (arg == "--set") {
            // Every NAME=VALUE up to the next option.
            while (i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0) opt.sets.push_back(argv[++i]);
            if (opt.sets.empty()) return Usage("--set needs NAME=VALUE");
        } else {
            return Usage("unknown option '" + arg + "'");
        }
    }

    StderrBoxes boxes;
    if (opt.listPorts) return ListPorts();
    if (opt.showSettings || !opt.sets.empty()) return ShowOrSet(opt, boxes);

    // One clock-setting tkw a machine; tests and benchmarks name a lock of
    // their own so that another tkw on the machine does not stop them.
    const char* instanceName = std::getenv("TKW_INSTANCE");
    SingleInstance instance;
    if (!instance.Acquire(instanceName && *instanceName ? instanceName : "TKW")) {
        std::cerr << "串口校时程序已经在运行！" << std::endl;
        return 1;
    }

    // Before any other thread exists: the loop takes SIGINT and SIGTERM.
    EventLoop loop;

    Settings settings;
    LoadResult loaded;
    // The desktop program would sit there with nothing to do; a service is
    // better off failing visibly.
    if (!Load(settings, boxes, loaded)) return 1;

    // The real clock, whose first refusal (no CAP_SYS_TIME) is said once;
    // the program goes on as the desktop program does, answering the receiver
    // all the same. With --dry-run nothing is stepped: the clock reads the
    // system's shifted by every step asked for, which is printed.
    SystemClock system;
    WarnOnceClock realClock(system, [&system] {
        std::cerr << "tkw: the clock cannot be set (" << system.LastError()
                  << "); run as root or give the program CAP_SYS_TIME" << std::endl;
    });
    OffsetClock dryClock(system, [](const SystemTime& t) {
        std::printf("SET %s\n", WithMsText(t).c_str());
        std::fflush(stdout);
        return true;
    });
    Clock& clock = opt.dryRun ? static_cast<Clock&>(dryClock) : realClock;

    RealSerialApi real;
    PortRecovery* recovery = nullptr;
    GoneWatch serial(real, [&] {
        if (recovery) recovery->DeviceGone();
        loop.Wake();
    });
    MonitorPrinter monitor(opt.monitor);
    LogWriter logs(RealFileSystem(), clock, boxes);
    std::string logFailure;
    logs.OnFailure = [&logFailure](const std::string& path, const std::string& why) {
        logFailure = path + ": " + why;
    };
    Engine engine(EngineSeams{clock, serial, monitor, logs});
    engine.UserSettings = settings;
    engine.State = RuntimeState::AtStartUp();
    engine.State.MonitorOn = opt.monitor;
    engine.State.CommLogOn = opt.commLog;
    if (opt.noStep) {
        // No correction at all (none by schedule, none at start): the frames
        // are still read, shown, logged and fed to chrony.
        engine.UserSettings.CorrectionMode = 0;
        engine.State.CorrectNow = false;
    }

    // The second line of a box: the file or device it is about, and why.
    boxes.Detail = [&](const std::string& caption) -> std::string {
        if (caption == kSerialErrorCaption) {
            const std::string why = sio_error_text(engine.UserSettings.PortNumber);
            return ComPortPath(engine.UserSettings.PortNumber) + ": " +
                   (why.empty() ? "the port does not take these settings" : why);
        }
        if (caption == kWarningCaption && !logFailure.empty()) return logFailure;
        return {};
    };

    SerialLink link(serial, loop, engine, boxes, nullptr,
                    [&] { return savecfg(RealFileSystem(), kConfigFileName, engine.UserSettings); }, Tcomm::RealSleep,
                    opt.pollReads);
    link.Ports.SetUpUnopenedPort = false;

    const Settings& s = engine.UserSettings;
    const FrameFormat* format = FindFormat(s.CodeFormat);
    std::printf("tkw: %s, %s bit/s, %s, %s\n", PortName(s.PortNumber).c_str(),
                s.BaudCode == kBaudCode4800   ? "4800"
                : s.BaudCode == kBaudCode9600 ? "9600"
                                              : ("baud code " + std::to_string(s.BaudCode)).c_str(),
                format ? format->name : ("unknown format " + std::to_string(s.CodeFormat)).c_str(),
                ScheduleText(s).c_str());
    if (opt.noStep) std::printf("tkw: --no-step: the clock is never set by tkw\n");
    std::printf("STATUS %s %s\n", LookOf(engine.Tick.indicator).name, engine.Tick.StatusText.c_str());
    std::fflush(stdout);

    // Reopening after a loss: the same line settings, and no boxes (recovery
    // says what happens, once).
    struct : MessageBoxes {
        void Show(BoxKind, const std::string&, const std::string&) override {}
    } quiet;
    PortSwitcher quietSetup(serial, engine.UserSettings, link.Line, quiet, nullptr, nullptr, {});
    struct RecoveredPort final : PortRecovery::Port {
        SerialApi& port;
        PortSwitcher& setup;
        const Settings& settings;
        RecoveredPort(SerialApi& p, PortSwitcher& s, const Settings& st) : port(p), setup(s), settings(st) {}
        bool Reopen() override {
            if (port.sio_open(settings.PortNumber) != 0) return false;
            if (setup.PortSet()) return true;
            port.sio_close(settings.PortNumber);
            return false;
        }
        void Close() override { port.sio_close(settings.PortNumber); }
        std::string Name() override { return "tkw: " + PortName(settings.PortNumber); }
        std::string Reason() override { return sio_error_text(settings.PortNumber); }
    } recovered(serial, quietSetup, engine.UserSettings);
    PortRecovery watch(recovered, link.Holds(), [](const std::string& line) { std::cerr << line << std::endl; });
    recovery = &watch;

    // chronyd's reference clock, fed with every accepted frame.
    std::unique_ptr<DatagramSender> chronySocket;
    std::unique_ptr<ChronyFeed> chrony;
    if (!opt.chronySock.empty()) {
        chronySocket = LocalDatagramsTo(opt.chronySock);
        chrony = std::make_unique<ChronyFeed>(*chronySocket, opt.chronySock,
                                              [](const std::string& line) { std::cerr << "tkw: " << line << std::endl; });
        if (!opt.noStep) std::printf("tkw: also setting the clock itself; --no-step leaves it to chronyd\n");
        engine.Receiver.OnFrame = [&](const SystemTime& frame) {
            // The frame arrived when the read that completed it returned.
            const auto since = serial.LastRead.time_since_epoch();
            const auto sec = std::chrono::duration_cast<std::chrono::seconds>(since);
            const auto nsec = std::chrono::duration_cast<std::chrono::nanoseconds>(since - sec);
            chrony->Frame(frame, engine.UserSettings.FineAdjustMs,
                          RealInstant{sec.count(), static_cast<int32_t>(nsec.count())});
        };
    }

    using Steady = std::chrono::steady_clock;
    const auto now = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now().time_since_epoch());
    };
    watch.Started(link.Start(), now());

    Indicator shown = engine.Tick.indicator;
    loop.Run([&] {
        if (engine.Timer1Timer() && engine.Tick.indicator != shown) {
            shown = engine.Tick.indicator;
            std::printf("STATUS %s %s\n", LookOf(shown).name, engine.Tick.StatusText.c_str());
            std::fflush(stdout);
        }
        const std::chrono::milliseconds retry = watch.Service(now());
        // Wake just after the clock's next second begins, or for the next try.
        int wait = 1001 - clock.GetLocalTime().wMilliseconds;
        if (retry.count() >= 0 && retry.count() < wait) wait = static_cast<int>(retry.count());
        return wait;
    });

    link.Stop();
    // The reader is not waited for by the desktop program either; a short
    // wait here only lets it leave its sleep before the process ends.
    if (Tcomm* reader = link.ReaderThread()) reader->WaitEnded(std::chrono::milliseconds(100));
    return 0;
}
