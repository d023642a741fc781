// tkw.exe: the desktop program's entry point. Refuses a second copy, makes the
// strip window, wires the form to the real clock, port, files and boxes, makes
// the dialogs and runs the message loop. Built a second time with TKW_E2E as
// tkw-e2e.exe, whose clock writes the corrections to clock.log instead of
// stepping the machine's clock.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "forms/strip_form.h"
#include "engine/time_service_check.h"
#include "forms/win32/form_platform_win32.h"
#include "forms/win32/strip_window.h"
#include "logs/log_writer.h"
#include "logs/monitor_log.h"
#include "platform/derived_clocks.h"
#include "platform/main_thread_win32.h"
#include "platform/message_box_win32.h"
#include "platform/single_instance.h"
#include "platform/system_clock.h"
#include "platform/time_of_day_text.h"
#include "platform/win32_text.h"
#include "platform/windows_time_service.h"
#include "serial/port_list.h"
#include "serial/serial_api.h"
#include "ui/win32/save_dialog_win32.h"
#ifdef TKW_E2E
#include "programs/e2e/e2e_clock.h"
#endif

namespace {

using namespace tkw;

// A switch in the environment: set, and starting with 1.
bool EnvIs(const wchar_t* name) {
    wchar_t v[8] = {};
    return GetEnvironmentVariableW(name, v, 8) > 0 && v[0] == L'1';
}

#ifdef TKW_E2E
// Never steps the machine's clock: logs each step to clock.log and from then
// on reads the system clock shifted by it (e2e_clock.h). With
// TKW_E2E_REFUSE_CLOCK=1 in the environment it refuses every step (and logs
// "REFUSED ..."), as the system does for a user without the right.

// What the port's recovery says, a line each time, with the host instant.
void LogPortNews(const std::string& line) {
    const long long at = HostNs();
    if (FILE* f = _wfopen(L"port.log", L"ab")) {
        std::fprintf(f, "%s %lld\r\n", line.c_str(), at);
        std::fclose(f);
    }
}

// The checked items, one line a time the menu opens, in menu.log.
void LogMarks(const Form1Menu& menu) {
    std::string line = "checked:";
    for (const MenuItem* item : menu.Items)
        if (item->Checked) line += " " + item->Caption;
    if (FILE* f = _wfopen(L"menu.log", L"ab")) {
        std::fprintf(f, "%s\r\n", line.c_str());
        std::fclose(f);
    }
}
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
    // The lock tkw-service.exe takes too: one program sets the clock.
    SingleInstance instance;
    if (!instance.Acquire("TKW")) {
        MessageBoxW(nullptr, L"串口校时程序已经在运行！", L"警告", MB_OK);
        return 0;
    }
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    // The About box's picture decoder and the save dialog are COM underneath.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    StripWindow strip;
    if (!strip.Create(inst)) return 1;

    SystemClock system;
#ifdef TKW_E2E
    const bool refuse = EnvIs(L"TKW_E2E_REFUSE_CLOCK");
    OffsetClock stepClock(system, [refuse](const SystemTime& t) { return LogClockStep(t, refuse); });
#else
    Clock& stepClock = system;
#endif
    // A refusal is kept from the receiver as before (it answers and stays
    // green), but the user hears of it once per run, from the message loop
    // rather than from inside the frame's handling: without administrator
    // rights the program would otherwise look as if it worked.
    WarnOnceClock clock(stepClock, [&strip] { strip.PostClockRefused(); });

    Win32Boxes boxes([&strip] { return strip.Handle(); });
    RealSerialApi serial;
    WindowMainThread mainThread(StripWindow::kWmSync);
    MonitorLog monitor;
    Win32SaveDialog saveDialog;
    LogWriter logs(RealFileSystem(), clock, boxes);
    Win32FormPlatform platform(inst);
    platform.Attach(strip.Handle());
#ifdef TKW_E2E
    platform.OnMenuOpen = LogMarks;
#endif

    int exitCode = 0;
    {
        const auto times = SystemTimeOfDayText();
        Form1Seams seams{platform, clock, serial, boxes, RealFileSystem(), mainThread, monitor, logs, *times,
                         SystemSerialPorts(), saveDialog};
        // The reader as it was (a look every 10 ms), to measure it beside the
        // one that waits for input.
        seams.pollReads = EnvIs(L"TKW_POLL_READS");
        TForm1 form(seams);
#ifdef TKW_E2E
        // For measuring: every frame corrects, so clock.log stamps each one.
        if (EnvIs(L"TKW_E2E_CORRECT_EVERY_FRAME"))
            form.Receiver.OnFrame = [&form](const SystemTime&, const ReadStamp&) { form.State.CorrectNow = true; };
#endif
        // A port that goes away shows no box (the indicator turns red as
        // frames stop, and the port comes back by itself); what happens is
        // told to a debugger.
        form.Link.OnPortNews = [](const std::string& line) {
            OutputDebugStringW(WideFromUtf8("TKW: " + line + "\n").c_str());
#ifdef TKW_E2E
            LogPortNews(line);
#endif
        };
        strip.Attach(form, platform, mainThread, boxes);
        mainThread.SetWindow(strip.Handle());
        form.FormCreate();
        platform.CreateDialogs({&form.AboutBox, &form.Form2, &form.Form3, &form.Form4});
        strip.Start();
        // Said once, from the message loop, when the Windows Time service
        // would fight this program over the clock.
        if (TimeServiceSetsTheClock(ReadWindowsTimeService())) strip.PostTimeServiceNotice();

        MSG m;
        while (GetMessageW(&m, nullptr, 0, 0) > 0) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        exitCode = static_cast<int>(m.wParam);
        // No more hand-offs, then the form (and its reader) may go.
        mainThread.StopServing();
        strip.Detach();
        platform.ReleaseDialogs();
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
