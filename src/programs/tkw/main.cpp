// tkw: the main job without a window, for Linux PCs and servers. Reads the
// receiver on a serial port, steps the clock on the user's schedule, answers
// the receiver, sends the PC's own time frame every second, and logs, all in
// the current directory as the desktop program does. Without a menu it also
// shows and changes the settings from the command line, lists the ports, and
// keeps trying a port that is missing or has gone away. All of that is the
// headless program (src/headless/); this is its Linux entry.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "headless/console.h"
#include "headless/run.h"
#include "programs/tkw/correct_now.h"
#include "programs/tkw/systemd_notify.h"
#include "platform/files.h"
#include "platform/standard_streams.h"
#include "platform/system_clock.h"
#include "serial/port_list.h"
#include "serial/serial_api.h"

namespace {

// For the end-to-end tests alone: in a run that never sets the clock
// (--dry-run), TKW_TEST_STALL_FILE names a file whose appearance stops the
// main loop for good, as a hung program's would, so that a test can see
// systemd's watchdog pings stop with it.
class StallForTests final : public tkw::RunObserver {
public:
    explicit StallForTests(std::string path) : path_(std::move(path)) {}
    std::chrono::milliseconds Turn() override {
        if (::access(path_.c_str(), F_OK) == 0)
            for (;;) ::pause();  // SIGTERM is the loop's, blocked here: only SIGKILL ends it
        return std::chrono::milliseconds(-1);
    }

private:
    std::string path_;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace tkw;
    OpenClosedStandardStreams();
    HeadlessProgram program;
    program.system = kLinux;
    program.name = "tkw";
    program.clockHint = "run as root or give the program CAP_SYS_TIME";
    program.jumpText = "标准与本地时间跳跃，如校正请运行 tkw --correct-now（或 systemctl reload tkw）！";
    // One clock-setting tkw a machine; tests and benchmarks name a lock of
    // their own so that another tkw on the machine does not stop them.
    if (const char* instance = std::getenv("TKW_INSTANCE"); instance && *instance) program.lockName = instance;

    StdConsole console;
    SystemClock clock;
    RealSerialApi serial;
    HeadlessSeams seams{console, clock, [&clock] { return clock.LastError(); }, serial, RealFileSystem(),
                        SystemSerialPorts(), {}, {}};
    // Run by systemd as a Type=notify service: tell it how the run is doing.
    const std::unique_ptr<SystemdNotifier> systemd =
        SystemdNotifier::FromEnvironment([&](const std::string& line) { console.Err(program.name + ": " + line); });
    if (systemd) seams.observers.push_back(systemd.get());
    std::unique_ptr<StallForTests> stall;
    const char* stallFile = std::getenv("TKW_TEST_STALL_FILE");
    if (stallFile && *stallFile && std::find(argv + 1, argv + argc, std::string("--dry-run")) != argv + argc) {
        stall = std::make_unique<StallForTests>(stallFile);
        seams.observers.push_back(stall.get());
    }
    // --correct-now is the one command of Linux's own.
    return HeadlessMain(std::vector<std::string>(argv + 1, argv + argc), program, seams,
                        [&](const HeadlessOptions&) { return AskRunningCopyToCorrect(program, console); });
}
