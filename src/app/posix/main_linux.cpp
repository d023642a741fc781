// tkw: the main job without a window, for Linux PCs and servers. Reads the
// receiver on a serial port, steps the clock on the user's schedule, answers
// the receiver, sends the PC's own time frame every second, and logs, all in
// the current directory as the desktop program does. Without a menu it also
// shows and changes the settings from the command line, lists the ports, and
// keeps trying a port that is missing or has gone away. All of that is the
// headless program (app/headless/); this is its Linux entry.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/headless/console.h"
#include "app/headless/run.h"
#include "platform/files.h"
#include "platform/system_clock.h"
#include "serial/port_list.h"
#include "serial/serial_api.h"

int main(int argc, char** argv) {
    using namespace tkw;
    HeadlessProgram program;
    program.system = kLinux;
    program.name = "tkw";
    program.clockHint = "run as root or give the program CAP_SYS_TIME";
    // One clock-setting tkw a machine; tests and benchmarks name a lock of
    // their own so that another tkw on the machine does not stop them.
    if (const char* instance = std::getenv("TKW_INSTANCE"); instance && *instance) program.lockName = instance;

    StdConsole console;
    SystemClock clock;
    RealSerialApi serial;
    const HeadlessSeams seams{console,          clock, [&clock] { return clock.LastError(); }, serial,
                              RealFileSystem(), SystemSerialPorts(), {}};
    return HeadlessMain(std::vector<std::string>(argv + 1, argv + argc), program, seams);
}
