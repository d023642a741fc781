// The headless programs' main job: the engine wired to the real port, the
// clock, the date-named logs and the console; the port kept in use through
// unplugging and sleep; chronyd's feed on Linux; and the loop that ticks once
// a second and serves the reader. Linux `tkw` runs it from main(), the
// Windows service from its service thread (or in a console).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "headless/console.h"
#include "headless/observer.h"
#include "headless/options.h"
#include "headless/program.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "serial/port_list.h"
#include "serial/serial_api.h"

namespace tkw {

// Everything a headless program talks to. All of it outlives the run.
struct HeadlessSeams {
    Console& console;
    // The machine's clock, or a test build's recording one.
    Clock& systemClock;
    // The system's reason for the last step it refused; may be null.
    std::function<std::string()> clockError;
    SerialApi& serial;
    FileSystem& files;
    SerialPortList& ports;
    // Hear what the run does, beside its lines.
    std::vector<RunObserver*> observers;
    // Asked once a run has the lock: a line to say on the error stream before
    // anything else (another program that sets this clock), or nothing.
    std::function<std::string()> startupNotice;
};

class HeadlessRun {
public:
    // On Linux, before any other thread exists (the loop takes the signals).
    HeadlessRun(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams);
    HeadlessRun(const HeadlessRun&) = delete;
    HeadlessRun& operator=(const HeadlessRun&) = delete;

    // Until the loop ends (Stop, a signal, Ctrl+C); returns the exit status:
    // 0, or 1 when another copy runs or the settings cannot be read.
    int Run();

    // From any thread: the loop ends soon.
    void Stop() { loop_.Quit(); }
    // From any thread: the system has woken from sleep. The port is opened
    // again at once, since a handle often does not live through a sleep.
    void SystemResumed() {
        resumed_ = true;
        loop_.Wake();
    }
    // From any thread: correct the clock at the next accepted frame, whatever
    // the schedule (or a jump) says, as the desktop program's "立即校正" does.
    // `how` (text that lives as long as the program) names the request in the
    // line the run says. SIGUSR1 asks this on Linux.
    void AskCorrection(const char* how) {
        correctionAsked_ = how;
        loop_.Wake();
    }

private:
    const HeadlessOptions& options_;
    const HeadlessProgram& program_;
    HeadlessSeams seams_;
    EventLoop loop_;
    std::atomic<bool> resumed_{false};
    // The engine's state is the loop's: a request waits here for its next turn.
    std::atomic<const char*> correctionAsked_{nullptr};
};

// The whole program after its entry point: parses `args` (without the
// program's name), enters --dir, and runs the command: --help, --version,
// --list-ports, --detect, --calibrate, --show-settings, --set, or a run.
// Commands whose work is each system's own (--correct-now; install,
// uninstall, the service's start) go to `systemCommand`.
// Returns the exit status.
int HeadlessMain(const std::vector<std::string>& args, const HeadlessProgram& program, const HeadlessSeams& seams,
                 const std::function<int(const HeadlessOptions&)>& systemCommand = {});

// Makes `dir` the current directory; false with the system's reason.
bool EnterDirectory(const std::string& dir, std::string& why);

}  // namespace tkw
