#include "headless/detect_command.h"

#include <algorithm>
#include <chrono>

#include "platform/event_loop.h"

#include "headless/settings_commands.h"
#include "config/settings.h"
#include "serial/com_map.h"
#include "serial/line_settings.h"
#include "timecode/frame_formats.h"

namespace tkw {

namespace {

using Steady = std::chrono::steady_clock;

// Three seconds, and the time the third frame of a receiver sending one a
// second may still take on the line when the first came just after the
// listen began: three frames at each rate, wherever in its second it begins.
constexpr std::chrono::milliseconds kListenPerRate{3100};
// How often every port is read. Frames come a second apart, and an arrival
// known to 10 ms is plenty to tell whether two of them are: a poll of all the
// ports from one thread costs next to nothing even for dozens of them, where
// a thread a port would not.
constexpr std::chrono::milliseconds kReadEvery{10};

constexpr int kRates = static_cast<int>(std::size(kDetectBauds));

struct Listening {
    explicit Listening(int32_t p) : port(p) {}
    int32_t port;
    std::string failure;
    bool open = false;
    bool settled = false;  // one rate's frames fit beyond doubt: the other need not be heard
    RateListen at[kRates] = {RateListen(kDetectBauds[0]), RateListen(kDetectBauds[1])};
};

bool Found(const PortDetection& p) {
    return p.failure.empty() &&
           (p.verdict.outcome == DetectOutcome::Found || p.verdict.outcome == DetectOutcome::Tie);
}

// The line as a run sets it up, at `baud`; then what arrived before (at
// another rate, or before the port was set) is thrown away. Nothing here
// writes to the line. DTR and RTS may be refused (a pseudo-terminal's, a
// driver's without modem lines): the port is still worth listening to.
bool SetLine(SerialApi& serial, int32_t port, int baud, std::string& why) {
    const LineSettings line;
    if (serial.sio_ioctl(port, baud == 4800 ? kBaud4800 : kBaud9600, line.LineMode()) != 0 ||
        serial.sio_flowctrl(port, line.FlowMode()) != 0) {
        const std::string reason = sio_error_text(port);
        why = "cannot be set to " + std::to_string(baud) + " bit/s" + (reason.empty() ? "" : ": " + reason);
        return false;
    }
    serial.sio_DTR(port, line.DtrOn ? 1 : 0);
    serial.sio_RTS(port, line.RtsOn ? 1 : 0);
    serial.sio_flush(port, 0);
    return true;
}

std::string Ports(size_t n) {
    return std::to_string(n) + (n == 1 ? " port" : " ports");
}

// The ports --list-ports shows, in its order: each line begins with the name.
std::vector<int32_t> ListedPorts(SerialPortList& list) {
    std::vector<int32_t> ports;
    for (const std::string& line : list.Lines()) {
        int32_t port = 0;
        if (ParseComPortName(line.substr(0, line.find('.')), port)) ports.push_back(port);
    }
    return ports;
}

// Listens to every port at each rate in turn, all at once, until each has
// been heard for kListenPerRate or has settled. False when the user or the
// system asked the program to end first (SIGINT, SIGTERM, SIGHUP, Ctrl+C),
// which the loop takes meanwhile, so that the ports are still closed.
bool Listen(std::vector<Listening>& ports, SerialApi& serial, Clock& clock, Console& console,
            const std::string& me) {
    uint8_t buf[4096];
    EventLoop loop;
    int r = -1;
    std::vector<Listening*> active;
    Steady::time_point start, next;
    LocalMs pcStart = 0;
    bool done = false;
    // The next rate's listen, set up on every port still to be heard; false
    // when none is.
    const auto nextRate = [&] {
        for (active.clear(); active.empty() && ++r < kRates;) {
            for (Listening& l : ports) {
                if (!l.open || l.settled) continue;
                if (!SetLine(serial, l.port, kDetectBauds[r], l.failure)) {
                    serial.sio_close(l.port);
                    l.open = false;
                    continue;
                }
                active.push_back(&l);
            }
            if (active.empty()) return false;
        }
        if (active.empty()) return false;
        console.Err(me + "listening to " + Ports(active.size()) + " at " + std::to_string(kDetectBauds[r]) +
                    " bit/s for up to " + std::to_string((kListenPerRate.count() + 500) / 1000) + " s");
        // The PC's time of each read: the clock's time now and the steady
        // time since, so that the arrivals never go back.
        start = next = Steady::now();
        pcStart = ToLocalMs(clock.GetLocalTime());
        return true;
    };
    if (!nextRate()) return true;
    loop.Run([&] {
        const Steady::time_point now = Steady::now();
        const LocalMs arrival = pcStart + std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
        for (size_t i = 0; i < active.size();) {
            Listening& l = *active[i];
            int32_t n;
            while ((n = serial.sio_read(l.port, buf, static_cast<int32_t>(sizeof buf))) > 0)
                l.at[r].Feed(buf, static_cast<size_t>(n), arrival);
            // A port that has gone (unplugged) is done with; what it gave
            // so far still counts.
            if (n == kSioGone || n == kSioNotOpen) {
                const std::string why = sio_error_text(l.port);
                l.failure = "went away while listened to" + (why.empty() ? std::string() : ": " + why);
                serial.sio_close(l.port);
                l.open = false;
            } else if (l.at[r].Settled()) {
                l.settled = true;
            }
            if (!l.open || l.settled) {
                active.erase(active.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            ++i;
        }
        if ((active.empty() || now - start >= kListenPerRate) && !nextRate()) {
            done = true;
            loop.Quit();
            return 0;
        }
        next += kReadEvery;
        return static_cast<int>(
            std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(next - Steady::now()).count()));
    });
    return done;
}

}  // namespace

std::string OpenFailure(int32_t result, int32_t port, const HeadlessProgram& program) {
    if (result == kSioBusy) return "in use by another program";
    if (result == kSioNoDevice) return program.system == kWindows ? "no such port" : "no such device";
    const std::string why = sio_error_text(port);
    return "cannot be opened" + (why.empty() ? std::string() : ": " + why);
}

int ChooseToSave(const std::vector<PortDetection>& ports, const HeadlessProgram& program, std::string& why) {
    // Frames that advance as a clock's are a receiver's, however clean the
    // line: two ports with a time code are two receivers (or one on both),
    // and which the user means is theirs to say. How well each fits is no
    // guide either, since a port is listened to only until it is clear.
    std::vector<size_t> found;
    for (size_t i = 0; i < ports.size(); ++i)
        if (Found(ports[i])) found.push_back(i);
    if (found.empty()) {
        why = "no time code was found";
        return -1;
    }
    if (found.size() > 1) {
        why = "time codes on ";
        for (size_t k = 0; k < found.size(); ++k)
            why += (k == 0 ? "" : k + 1 == found.size() ? " and " : ", ") + PortName(program, ports[found[k]].port);
        why += ": name the one to store (" + program.name + " --detect COM" + std::to_string(ports[found[0]].port) +
               " --save)";
        return -1;
    }
    const PortDetection& chosen = ports[found[0]];
    if (chosen.verdict.outcome == DetectOutcome::Tie) {
        why = "on " + PortName(program, chosen.port) + " " + VerdictText(chosen.verdict);
        return -1;
    }
    return static_cast<int>(found[0]);
}

int DetectReceivers(const HeadlessOptions& options, const HeadlessProgram& program, const HeadlessSeams& seams) {
    Console& console = seams.console;
    SerialApi& serial = seams.serial;
    const std::string me = program.name + ": ";

    const std::vector<int32_t> names = options.detectPorts.empty() ? ListedPorts(seams.ports) : options.detectPorts;
    if (names.empty()) {
        console.Err(me + "no serial ports found" +
                    (program.system == kLinux ? "; give a device a number with --map COMn=PATH" : ""));
        return 1;
    }

    std::vector<Listening> listening;
    listening.reserve(names.size());
    for (int32_t port : names) {
        Listening& l = listening.emplace_back(port);
        const int32_t opened = serial.sio_open(port);
        l.open = opened == 0;
        if (!l.open) l.failure = OpenFailure(opened, port, program);
    }
    const bool heard = Listen(listening, serial, seams.systemClock, console, me);
    if (!heard) {
        for (Listening& l : listening)
            if (l.open) serial.sio_close(l.port);
        console.Err(me + "--detect stopped before it was done" +
                    (options.save ? std::string("; ") + kConfigFileName + " is left as it was" : std::string()));
        return 1;
    }

    std::vector<PortDetection> found;
    bool any = false;
    for (Listening& l : listening) {
        if (l.open) serial.sio_close(l.port);
        PortDetection& d = found.emplace_back();
        d.port = l.port;
        d.verdict = Decide(l.at, kRates);
        // What a port gave before it failed still tells.
        d.failure = d.verdict.outcome == DetectOutcome::Nothing ? l.failure : std::string();
        any = any || Found(d);
        console.Out(PortName(program, d.port) + ": " + (d.failure.empty() ? VerdictText(d.verdict) : d.failure));
    }

    if (!options.save) return any ? 0 : 1;
    std::string why;
    const int chosen = ChooseToSave(found, program, why);
    if (chosen < 0) {
        console.Err(me + "--save: " + why + "; " + kConfigFileName + " is left as it was");
        return 1;
    }
    const PortDetection& d = found[static_cast<size_t>(chosen)];
    // Through --set's own path: the same checks, the same safe save. The
    // format first, since it brings its usual rate, which the rate found
    // then replaces.
    HeadlessOptions set;
    set.sets = {"port=" + std::to_string(d.port), std::string("format=") + FindFormat(d.verdict.code)->name,
                "baud=" + std::to_string(d.verdict.baud)};
    // What --set prints, to standard error: standard output stays one line a port.
    ErrOnly err(console);
    const int status = ShowOrSetSettings(set, program, seams.files, err);
    if (status != 0) return 1;
    if (program.system == kLinux && ComPortMapped(d.port))
        console.Err(me + "COM" + std::to_string(d.port) + " is " + ComPortPath(d.port) + " through --map: run " +
                    program.name + " with --map COM" + std::to_string(d.port) + "=" + ComPortPath(d.port) + " too");
    return 0;
}

}  // namespace tkw
