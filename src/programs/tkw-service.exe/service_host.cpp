#include <windows.h>

#include <mutex>
#include <string>

#include "headless/daily_log.h"
#include "engine/version.h"
#include "programs/tkw-service.exe/service_console.h"
#include "programs/tkw-service.exe/service_host.h"
#include "programs/tkw-service.exe/service_install.h"
#include "platform/win32_text.h"

namespace tkw {

namespace {

// The service manager's callbacks carry no object but the handler's
// context, and ServiceMain not even that: what the service runs with waits
// here for it.
struct Service {
    const HeadlessOptions* options = nullptr;
    const HeadlessProgram* program = nullptr;
    const HeadlessSeams* seams = nullptr;
    int exitCode = 0;

    std::mutex m;  // the status, and the run the control handler reaches
    SERVICE_STATUS_HANDLE handle = nullptr;
    SERVICE_STATUS status{};
    HeadlessRun* run = nullptr;

    // `code`: the run's exit status, reported as a service-specific error.
    void Report(DWORD state, DWORD waitHintMs = 0, int code = 0) {
        std::lock_guard<std::mutex> lock(m);
        status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        status.dwCurrentState = state;
        status.dwControlsAccepted =
            state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_POWEREVENT : 0;
        status.dwWin32ExitCode = code == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = static_cast<DWORD>(code);
        // A pending state counts its steps, so the manager sees it move.
        status.dwCheckPoint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? status.dwCheckPoint + 1 : 0;
        status.dwWaitHint = waitHintMs;
        if (handle) SetServiceStatus(handle, &status);
    }
};
Service g_service;

// Running once the port is in use or its recovery has begun; stopping once
// the loop has ended.
class StatusReporter final : public RunObserver {
public:
    void Ready() override { g_service.Report(SERVICE_RUNNING); }
    void Stopping() override { g_service.Report(SERVICE_STOP_PENDING, 5000); }
};

DWORD WINAPI Control(DWORD control, DWORD eventType, LPVOID, LPVOID) {
    switch (control) {
        case SERVICE_CONTROL_STOP:
        case SERVICE_CONTROL_SHUTDOWN: {
            g_service.Report(SERVICE_STOP_PENDING, 5000);
            std::lock_guard<std::mutex> lock(g_service.m);
            if (g_service.run) g_service.run->Stop();
            return NO_ERROR;
        }
        case SERVICE_CONTROL_POWEREVENT: {
            // Back from sleep: a port handle often does not live through it.
            if (eventType == PBT_APMRESUMEAUTOMATIC) {
                std::lock_guard<std::mutex> lock(g_service.m);
                if (g_service.run) g_service.run->SystemResumed();
            }
            return NO_ERROR;
        }
        case kCorrectNowControl: {
            // tkw-service --correct-now (sc control TKW 200): the run takes
            // it on its own thread, as Linux's SIGUSR1.
            static const std::string how = "service control " + std::to_string(kCorrectNowControl);
            std::lock_guard<std::mutex> lock(g_service.m);
            if (!g_service.run) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
            g_service.run->AskCorrection(how.c_str());
            return NO_ERROR;
        }
        case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
        default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    Service& s = g_service;
    s.handle = RegisterServiceCtrlHandlerExW(kServiceName, Control, nullptr);
    if (!s.handle) return;
    s.Report(SERVICE_START_PENDING, 10000);

    const HeadlessProgram& program = *s.program;
    if (!s.options->dir.empty()) {
        std::string why;
        if (!EnterDirectory(s.options->dir, why)) {
            ReportToEventLog(program.name + ": the service's directory " + s.options->dir + " cannot be used: " + why);
            s.exitCode = 1;
            s.Report(SERVICE_STOPPED, 0, s.exitCode);
            return;
        }
    }
    DailyLogConsole log(s.seams->files, s.seams->systemClock, ReportToEventLog);
    log.Out(program.name + " " + Release().version + ": started by the service manager");
    // The entry's seams, with the daily log for the console and the manager
    // told how the run is doing.
    StatusReporter reporter;
    const HeadlessSeams& given = *s.seams;
    HeadlessSeams withLog{log,         given.systemClock, given.clockError, given.serial,
                          given.files, given.ports,       given.observers,  given.startupNotice};
    withLog.observers.push_back(&reporter);
    {
        HeadlessRun run(*s.options, program, withLog);
        {
            std::lock_guard<std::mutex> lock(s.m);
            s.run = &run;
        }
        s.exitCode = run.Run();
        std::lock_guard<std::mutex> lock(s.m);
        s.run = nullptr;
    }
    log.Out(program.name + ": stopped" + (s.exitCode ? " (exit status " + std::to_string(s.exitCode) + ")" : ""));
    s.Report(SERVICE_STOPPED, 0, s.exitCode);
}

}  // namespace

int RunAsService(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams) {
    g_service.options = &options;
    g_service.program = &program;
    g_service.seams = &seams;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<LPWSTR>(kServiceName), ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        seams.console.Err(program.name + ": 'service' is how the service manager starts this program" +
                          (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
                               ? std::string("; run it without 'service' to run in this console")
                               : ": " + SystemErrorText(error)));
        return 2;
    }
    return g_service.exitCode;
}

}  // namespace tkw
