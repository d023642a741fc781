// tkw-service.exe: the headless program for Windows. In a console it runs
// as Linux tkw does (and shows and changes the settings, lists the ports);
// "install" and "uninstall" register it with the service manager, which
// then starts it as "service". Built a second time with TKW_E2E as
// tkw-service-e2e.exe, whose clock writes the corrections to clock.log in
// its directory instead of stepping the machine's clock.
#include <windows.h>

#include <string>
#include <vector>

#include "headless/run.h"
#include "engine/time_service_check.h"
#include "programs/tkw-service.exe/service_console.h"
#include "programs/tkw-service.exe/service_host.h"
#include "programs/tkw-service.exe/service_install.h"
#include "platform/derived_clocks.h"
#include "platform/files.h"
#include "platform/system_clock.h"
#include "platform/win32_text.h"
#include "platform/windows_time_service.h"
#include "serial/port_list.h"
#include "serial/serial_api.h"
#ifdef TKW_E2E
#include "programs/e2e/e2e_clock.h"
#endif

int wmain(int argc, wchar_t** argv) {
    using namespace tkw;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8FromWide(argv[i], -1));

    HeadlessProgram program;
    program.system = kWindows;
    program.name = "tkw-service";
    program.clockHint =
        "the service's account (LocalService) and administrators hold the right to change the system time; in a "
        "console, run it as administrator";
    program.jumpText = "标准与本地时间跳跃，如校正请运行 tkw-service --correct-now！";
    // The lock tkw.exe takes too (machine-wide); tests name one of their own.
    wchar_t instance[64] = {};
    if (GetEnvironmentVariableW(L"TKW_INSTANCE", instance, 64) > 0 && instance[0]) program.lockName = Utf8FromWide(instance, -1);

    Win32Console console;
    SystemClock system;
#ifdef TKW_E2E
    OffsetClock clock(system, [](const SystemTime& t) { return LogClockStep(t, false); });
#else
    Clock& clock = system;
#endif
    RealSerialApi serial;
    // Said once at start, in the console or the service's log.
    const auto w32timeNotice = [&program] {
        const WindowsTimeService w32time = ReadWindowsTimeService();
        return TimeServiceSetsTheClock(w32time) ? TimeServiceLogLine(w32time, program.name) : std::string();
    };
    const HeadlessSeams seams{console, clock, [&system] { return system.LastError(); }, serial, RealFileSystem(),
                              SystemSerialPorts(), {}, w32timeNotice};
    return HeadlessMain(args, program, seams, [&](const HeadlessOptions& options) {
        switch (options.command) {
            case Command::Install: return InstallService(options, console);
            case Command::Uninstall: return UninstallService(console);
            case Command::CorrectNow: return AskServiceToCorrect(console);
            default: return RunAsService(options, program, seams);
        }
    });
}
