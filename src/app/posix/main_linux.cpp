// tkw: the main job without a window, for Linux PCs and servers. Reads the
// receiver on a serial port, steps the clock on the user's schedule, answers
// the receiver, sends the PC's own time frame every second, and logs, all in
// the current directory exactly as the desktop program does.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "app/engine.h"
#include "app/settings_report.h"
#include "config/settings.h"
#include "logs/log_writer.h"
#include "platform/derived_clocks.h"
#include "platform/posix/event_loop.h"
#include "platform/single_instance.h"
#include "platform/system_clock.h"
#include "serial/com_map.h"
#include "serial/serial_api.h"

namespace {

using namespace tkw;

constexpr const char* kUsage =
    "usage: tkw [options]\n"
    "Keeps this PC's clock in step with a time-code receiver on a serial port.\n"
    "Runs in the current directory: settings from horalsys.conf (defaults when it is\n"
    "missing), logs YYMMDDS.txt (jumps) and YYMMDDC.txt (serial traffic) written there.\n"
    "\n"
    "  --map COMn=PATH   use device PATH for port COMn (repeatable); without it\n"
    "                    COMn is /dev/ttyS(n-1)\n"
    "  --dry-run         never set the clock: print SET YYYY-MM-DD hh:mm:ss.zzz instead\n"
    "                    (the program then goes on as if the clock had been set)\n"
    "  --monitor         print every monitor line as MON <line>\n"
    "  --comm-log        write the communication log from the start\n"
    "  --help            show this text\n"
    "\n"
    "Setting the clock needs CAP_SYS_TIME (root, or the capability given to the\n"
    "service). Messages the desktop program shows in boxes go to standard error as\n"
    "<caption>: <text>. Indicator changes are printed as STATUS <red|yellow|green> <text>.\n"
    "SIGINT or SIGTERM ends the program.\n";

class StderrBoxes final : public MessageBoxes {
public:
    void Show(BoxKind, const std::string& caption, const std::string& text) override {
        std::cerr << caption << ": " << text << std::endl;
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
};

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--map") {
            if (i + 1 >= argc || !MapComPortSpec(argv[i + 1])) {
                std::cerr << "tkw: --map needs COMn=PATH with n from 1 to 255 (see --help)\n";
                return 2;
            }
            ++i;
        } else if (arg.rfind("--map=", 0) == 0) {
            if (!MapComPortSpec(arg.substr(6))) {
                std::cerr << "tkw: --map needs COMn=PATH with n from 1 to 255 (see --help)\n";
                return 2;
            }
        } else if (arg == "--dry-run") {
            opt.dryRun = true;
        } else if (arg == "--monitor") {
            opt.monitor = true;
        } else if (arg == "--comm-log") {
            opt.commLog = true;
        } else {
            std::cerr << "tkw: unknown option '" << arg << "' (see --help)\n";
            return 2;
        }
    }

    SingleInstance instance;
    if (!instance.Acquire("TKW")) {
        std::cerr << "串口校时程序已经在运行！" << std::endl;
        return 1;
    }

    // Before any other thread exists: the loop takes SIGINT and SIGTERM.
    EventLoop loop;
    StderrBoxes boxes;

    Settings settings;
    const LoadResult loaded = LoadSettings(RealFileSystem(), kConfigFileName, settings);
    if (!loaded.ok()) {
        // The desktop program would sit there with nothing to do; a service
        // is better off failing visibly.
        ReportLoad(loaded, boxes);
        return 1;
    }

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

    RealSerialApi serial;
    MonitorPrinter monitor(opt.monitor);
    LogWriter logs(RealFileSystem(), clock, boxes);
    Engine engine(EngineSeams{clock, serial, monitor, logs});
    engine.UserSettings = settings;
    engine.State = RuntimeState::AtStartUp();
    engine.State.MonitorOn = opt.monitor;
    engine.State.CommLogOn = opt.commLog;

    SerialLink link(serial, loop, engine, boxes, nullptr,
                    [&] { return savecfg(RealFileSystem(), kConfigFileName, engine.UserSettings); });
    link.Start();

    Indicator shown = engine.Tick.indicator;
    loop.Run([&] {
        if (engine.Timer1Timer() && engine.Tick.indicator != shown) {
            shown = engine.Tick.indicator;
            std::printf("STATUS %s %s\n", LookOf(shown).name, engine.Tick.StatusText.c_str());
            std::fflush(stdout);
        }
        // Wake just after the clock's next second begins.
        return 1001 - clock.GetLocalTime().wMilliseconds;
    });

    link.Stop();
    // The reader is not waited for by the desktop program either; a short
    // wait here only lets it leave its sleep before the process ends.
    if (Tcomm* reader = link.ReaderThread()) reader->WaitEnded(std::chrono::milliseconds(100));
    return 0;
}
