#include <dirent.h>
#include <sys/timex.h>

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
    bool seen[std::size(kDaemons)] = {};
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* e = readdir(proc)) {
            if (e->d_name[0] < '1' || e->d_name[0] > '9') continue;
            std::ifstream in(std::string("/proc/") + e->d_name + "/comm");
            std::string comm;
            if (!std::getline(in, comm)) continue;
            for (size_t i = 0; i < std::size(kDaemons); ++i) seen[i] = seen[i] || comm == kDaemons[i].comm;
        }
        closedir(proc);
    }
    // Each once, in the table's order, however the processes were listed.
    std::vector<std::string> found;
    for (size_t i = 0; i < std::size(kDaemons); ++i)
        if (seen[i]) found.push_back(kDaemons[i].name);
    return found;
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
