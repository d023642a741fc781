#include <dirent.h>
#include <sys/timex.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/clock_sync.h"

namespace tkw {

namespace {

// The daemons that discipline a Linux clock, by their process names as
// /proc/PID/comm shows them (cut to 15 characters), and as users know them.
struct Daemon {
    const char* comm;
    const char* name;
};
constexpr Daemon kDaemons[] = {
    {"chronyd", "chronyd"},
    {"systemd-timesyn", "systemd-timesyncd"},
    {"ntpd", "ntpd"},
};

std::vector<std::string> RunningDaemons() {
    std::vector<std::string> found;
    DIR* proc = opendir("/proc");
    if (!proc) return found;
    while (const dirent* e = readdir(proc)) {
        if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + e->d_name + "/comm");
        std::string comm;
        if (!std::getline(in, comm)) continue;
        for (const Daemon& d : kDaemons)
            if (comm == d.comm && std::find(found.begin(), found.end(), d.name) == found.end()) found.push_back(d.name);
    }
    closedir(proc);
    // In the table's order, however the processes were listed.
    std::vector<std::string> ordered;
    for (const Daemon& d : kDaemons)
        if (std::find(found.begin(), found.end(), d.name) != found.end()) ordered.push_back(d.name);
    return ordered;
}

}  // namespace

ClockSyncReading ReadClockSync() {
    ClockSyncReading r;
    timex t{};
    t.modes = 0;  // read only
    if (adjtimex(&t) < 0) {
        r.kernelError = std::strerror(errno);
    } else {
        r.kernelRead = true;
        r.unsynchronised = (t.status & STA_UNSYNC) != 0;
        r.estimatedErrorUs = t.esterror;
        r.maximumErrorUs = t.maxerror;
    }
    r.daemons = RunningDaemons();
    return r;
}

}  // namespace tkw
