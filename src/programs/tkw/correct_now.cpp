#include "programs/tkw/correct_now.h"

#include <signal.h>

#include "platform/single_instance.h"

namespace tkw {

int AskRunningCopyToCorrect(const HeadlessProgram& program, Console& console) {
    const std::string me = program.name + ": ";
    const HolderSignal r = SignalHolder(program.lockName, SIGUSR1);
    const std::string running = "the running " + program.name + (r.pid > 0 ? " (pid " + std::to_string(r.pid) + ")" : "");
    switch (r.outcome) {
        case HolderSignal::Sent:
            console.Out(me + "asked " + running + " to correct the clock at its next accepted frame");
            return 0;
        case HolderSignal::Nobody: console.Err(me + "no " + program.name + " is running; nothing to ask"); return 1;
        case HolderSignal::NotPermitted:
            console.Err(me + running + " may not be asked by this user: " + r.why + "; ask as that user (root: sudo " +
                        program.name + " --correct-now, or for the service sudo systemctl reload " + program.name + ")");
            return 1;
        case HolderSignal::Failed: break;
    }
    console.Err(me + running + " cannot be reached: " + r.why);
    return 1;
}

}  // namespace tkw
