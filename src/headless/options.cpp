#include "headless/options.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "engine/version.h"
#include "platform/datagram.h"
#include "serial/com_map.h"

namespace tkw {

namespace {

// A switch's row: sets its flag.
template <bool HeadlessOptions::*flag>
bool Switch(HeadlessOptions& o, const std::string&, std::string&) {
    o.*flag = true;
    return true;
}

// The commands asked for on one line: --help outranks --version, which
// outranks --correct-now, which outranks --list-ports, which outranks
// --detect, which outranks --calibrate, which outranks --stats, which
// outranks --show-settings, which outranks a run (or what a Windows verb
// asks for).
bool Ask(HeadlessOptions& o, Command c) {
    constexpr Command kRank[] = {Command::ShowSettings, Command::Stats,      Command::Calibrate,
                                 Command::Detect,       Command::ListPorts,  Command::CorrectNow,
                                 Command::Version,      Command::Help};
    const auto rank = [&](Command x) {
        for (int i = 0; i < static_cast<int>(std::size(kRank)); ++i)
            if (kRank[i] == x) return i + 1;
        return 0;
    };
    if (rank(c) > rank(o.command)) o.command = c;
    return true;
}

// A command's row: asks for it.
template <Command c>
bool Asks(HeadlessOptions& o, const std::string&, std::string&) {
    return Ask(o, c);
}

const OptionRow kOptions[] = {
    {"--map", "COMn=PATH", "use device PATH for port COMn (repeatable); without it COMn is\n/dev/ttyS(n-1)", kLinux,
     true,
     [](HeadlessOptions& o, const std::string& v, std::string& why) {
         ComMapping m;
         if (!ParseComPortSpec(v, m.port, m.path)) {
             why = "--map needs COMn=PATH with n from 1 to " + std::to_string(kMaxComPort);
             return false;
         }
         o.maps.push_back(m);
         return true;
     },
     "COMn=PATH"},
    {"--dry-run", nullptr,
     "never set the clock: print SET YYYY-MM-DD hh:mm:ss.zzz instead\n(the program then goes on as if the clock had "
     "been set)",
     kBothSystems, true, Switch<&HeadlessOptions::dryRun>},
    {"--monitor", nullptr, "print every monitor line as MON <line>", kBothSystems, true,
     Switch<&HeadlessOptions::monitor>},
    {"--comm-log", nullptr, "write the communication log from the start", kBothSystems, true,
     Switch<&HeadlessOptions::commLog>},
    {"--chrony-sock", "PATH",
     "send every accepted frame to chronyd's SOCK reference clock\nat PATH (refclock SOCK PATH in chrony.conf)", kLinux,
     true,
     [](HeadlessOptions& o, const std::string& v, std::string& why) {
         // Refused now rather than failing with every frame for good.
         if (v.size() > MaxLocalSocketPath()) {
             why = "--chrony-sock: the path is " + std::to_string(v.size()) + " bytes long; a socket's address holds " +
                   std::to_string(MaxLocalSocketPath()) + " at most";
             return false;
         }
         o.chronySock = v;
         return true;
     },
     "the socket's path"},
    {"--no-step", nullptr, "never set the clock (with --chrony-sock: leave it to chronyd)", kLinux, true,
     Switch<&HeadlessOptions::noStep>},
    {"--no-step", nullptr, "never set the clock; the frames are still read, answered and logged", kWindows, true,
     Switch<&HeadlessOptions::noStep>},
    {"--offsets", nullptr,
     "print every frame's offset from this PC's clock as\nOFFSET YYYY-MM-DD hh:mm:ss +0.213 ms (positive: the PC is ahead)",
     kBothSystems, true, Switch<&HeadlessOptions::printOffsets>},
    {"--poll-reads", nullptr,
     "look at the port every 10 ms, as earlier versions did, instead\nof waiting for input (for comparing the two)",
     kBothSystems, true, Switch<&HeadlessOptions::pollReads>},
    {"--dir", "DIR", "work in DIR (settings and logs) instead of the current directory", kBothSystems, false,
     [](HeadlessOptions& o, const std::string& v, std::string&) {
         o.dir = v;
         return true;
     },
     "a directory"},
    {"--show-settings", nullptr, "print the stored settings", kBothSystems, false, Asks<Command::ShowSettings>},
    {"--set", "NAME=VALUE ...", "change stored settings (see below), print them, exit", kBothSystems, false,
     [](HeadlessOptions& o, const std::string& v, std::string&) {
         o.sets.push_back(v);
         return true;
     },
     "NAME=VALUE", true},
    {"--reset", nullptr,
     "with --set: change the built-in defaults, not what horalsys.conf\nholds (to mend a short or damaged file)",
     kBothSystems, false, Switch<&HeadlessOptions::reset>, nullptr, false, false, true},
    {"--stats", nullptr,
     "print how far this PC's clock was from the receiver on a day, from\nits offsets file YYMMDDO.csv: offset, jitter, drift, corrections,\nand one line an hour",
     kBothSystems, false, Asks<Command::Stats>},
    {"--day", "YYMMDD", "with --stats: that day instead of today", kBothSystems, false,
     [](HeadlessOptions& o, const std::string& v, std::string& why) {
         const bool digits = v.size() == 6 && v.find_first_not_of("0123456789") == std::string::npos;
         const int month = digits ? std::stoi(v.substr(2, 2)) : 0, day = digits ? std::stoi(v.substr(4, 2)) : 0;
         if (!digits || month < 1 || month > 12 || day < 1 || day > 31) {
             why = "--day takes a date as YYMMDD, the offsets file's name ('" + v + "')";
             return false;
         }
         o.statsDay = v;
         return true;
     },
     "a date, YYMMDD"},
    {"--list-ports", nullptr, "print the serial ports found, as COMn......DEVICE", kBothSystems, false,
     Asks<Command::ListPorts>},
    {"--detect", "[COMn ...]",
     "listen to these ports (all that --list-ports finds when none is\n"
     "named) at 4800 and 9600 bit/s, never writing to them, and print\n"
     "one line a port: the time code and bit rate that arrive there",
     kBothSystems, false,
     [](HeadlessOptions& o, const std::string& v, std::string& why) {
         if (!v.empty()) {
             int32_t port = 0;
             if (!ParseComPortName(v, port)) {
                 why = "--detect takes port names COM1 to COM" + std::to_string(kMaxComPort) + " ('" + v + "')";
                 return false;
             }
             if (std::find(o.detectPorts.begin(), o.detectPorts.end(), port) == o.detectPorts.end())
                 o.detectPorts.push_back(port);
         }
         return Ask(o, Command::Detect);
     },
     nullptr, true, true},
    {"--calibrate", "[COMn]",
     "listen to the stored port (or COMn) for 600 s, never setting the\n"
     "clock nor writing to the port, and print the receiver's delay: when\n"
     "each frame arrived by this PC's clock, after the second it names;\n"
     "the clock must be synchronised to better than 1 ms meanwhile",
     kBothSystems, false,
     [](HeadlessOptions& o, const std::string& v, std::string& why) {
         if (!v.empty()) {
             int32_t port = 0;
             if (!ParseComPortName(v, port) || o.calibratePort != 0) {
                 why = "--calibrate takes one port name, COM1 to COM" + std::to_string(kMaxComPort) + " ('" + v + "')";
                 return false;
             }
             o.calibratePort = port;
         }
         return Ask(o, Command::Calibrate);
     },
     nullptr, true, true},
    {"--seconds", "N",
     "with --calibrate: listen N seconds (10 to 86400) instead of 600",
     kBothSystems, false,
     [](HeadlessOptions& o, const std::string& v, std::string& why) {
         const bool digits = !v.empty() && v.size() <= 5 && v.find_first_not_of("0123456789") == std::string::npos;
         const int n = digits ? std::stoi(v) : 0;
         if (n < kMinCalibrateSeconds || n > kMaxCalibrateSeconds) {
             why = "--seconds takes " + std::to_string(kMinCalibrateSeconds) + " to " +
                   std::to_string(kMaxCalibrateSeconds) + " ('" + v + "')";
             return false;
         }
         o.calibrateSeconds = n;
         return true;
     },
     "a number of seconds"},
    {"--trust-clock", nullptr,
     "with --calibrate: do not check that this PC's clock is synchronised\n(for a clock you know to be right)",
     kBothSystems, false, Switch<&HeadlessOptions::trustClock>},
    {"--save", nullptr,
     "with --detect: store the port, format and bit rate found; not\nwhen none is, when two ports have one, or two formats fit one;\n"
     "with --calibrate: store the delay as the fine adjustment (and the\nport named): from 60 frames or more, 95 % of them within 10 ms",
     kBothSystems, false, Switch<&HeadlessOptions::save>},
    {"--correct-now", nullptr,
     "ask the running tkw (the service, or one in a terminal) to correct\n"
     "the clock at its next accepted frame, whatever the schedule says or\n"
     "a jump: SIGUSR1 to it, as systemctl reload tkw does",
     kLinux, false, Asks<Command::CorrectNow>},
    {"--correct-now", nullptr,
     "ask the service TKW to correct the clock at its next accepted\n"
     "frame, whatever the schedule says or a jump (its control code 200,\n"
     "as sc control TKW 200 does)",
     kWindows, false, Asks<Command::CorrectNow>},
    {"--version", nullptr, "print the program's version", kBothSystems, false, Asks<Command::Version>},
    {"--help", nullptr, "show this text", kBothSystems, false, Asks<Command::Help>},
};

const UsageRow kUsage[] = {
    {"[options]", "run: keep this PC's clock in step with the receiver", kLinux},
    {"[options]", "run in this console, until Ctrl+C", kWindows},
    {"--show-settings", "print the stored settings", kBothSystems},
    {"--set [--reset] NAME=VALUE ...", "change stored settings (see below), print them, exit", kBothSystems},
    {"--stats [--day YYMMDD]", "how right the clock was today (or that day)", kBothSystems},
    {"--list-ports", "print the serial ports found, as COMn......DEVICE", kBothSystems},
    {"--detect [COMn ...] [--save]", "find the receiver: the port, time code and bit rate\n(--save stores them)",
     kBothSystems},
    {"--calibrate [COMn] [--save]",
     "measure the receiver's delay against this PC's clock,\nwhich must be synchronised (--save stores it as the\nfine adjustment)",
     kBothSystems},
    {"--correct-now", "ask the running tkw to correct at its next frame", kLinux},
    {"--correct-now", "ask the service to correct at its next frame", kWindows},
    {"install [--dir DIR] [options]",
     "register the service \"TKW\": started at boot as\nNT AUTHORITY\\LocalService, working in DIR (default\n"
     "%ProgramData%\\TKW, made if missing) with the options given",
     kWindows},
    {"uninstall", "stop the service and remove it (DIR and its files stay)", kWindows},
};

const HelpParagraph kParagraphs[] = {
    {"Runs in the current directory: settings from horalsys.conf (the built-in defaults when\n"
     "it is missing), logs YYMMDDS.txt (jumps) and YYMMDDC.txt (serial traffic) written there,\n"
     "and YYMMDDO.csv: every minute, how far this PC's clock was from the receiver's time.",
     kLinux, false},
    {"Runs in the current directory: settings from horalsys.conf (the built-in defaults when\n"
     "it is missing), logs YYMMDDS.txt (jumps) and YYMMDDC.txt (serial traffic) written there,\n"
     "and YYMMDDO.csv: every minute, how far this PC's clock was from the receiver's time.\n"
     "The service runs in its DIR and writes what it would print here to service-YYMMDD.txt\n"
     "there. install and uninstall need a console run as administrator.",
     kWindows, false},
    {"Settings for --set (as the desktop program's menu and dialogs allow them):\n"
     "  port=1..128  baud=4800|9600  format=KRW_CODE|PL_CODE|MN_CODE (also sets its baud)\n"
     "  mode=minute|hour|daily  second=0..59  minute=0..59  points=H:mm:ss,... (at most 24)\n"
     "  jump=2..60 (seconds)  fine=0..999 (ms)  no-correct-on-jump=on|off",
     kBothSystems, true},
    {"Setting the clock needs CAP_SYS_TIME (root, or the capability given to the service).\n"
     "Messages the desktop program shows in boxes go to standard error as <caption>: <text>,\n"
     "with a second line naming the file or device and the system's reason. Indicator\n"
     "changes are printed as STATUS <red|yellow|green> <text>. A port that is missing or\n"
     "goes away is tried again every 2 s. One tkw runs at a time: its lock,\n"
     "/run/tkw/TKW.lock (the service's RuntimeDirectory), can be taken by root or the\n"
     "service alone; an ordinary user's tkw falls back to a lock any local user could take\n"
     "first (TKW_INSTANCE names another lock, for tests). SIGINT, SIGTERM and SIGHUP end it;\n"
     "the settings are read at start only, so restart it after --set. SIGPIPE is ignored: a\n"
     "reader of its output that goes away does not stop the clock keeping. Exit status: 0\n"
     "after SIGINT, SIGTERM or SIGHUP; 1 when horalsys.conf cannot be read or written, or\n"
     "another tkw runs; 2 for a bad option or setting. --detect exits with 0 when a time\n"
     "code was found (and with --save stored), 1 when none was or --save refused to choose.\n"
     "--calibrate exits with 0 when it listened for the whole time and measured frames (and\n"
     "with --save stored the delay), 1 otherwise: a clock not synchronised, a port in use or\n"
     "gone, no frames, a measurement too short or too uneven to store, or SIGINT.\n"
     "SIGUSR1 asks a running tkw for a correction at its next accepted frame; --correct-now\n"
     "sends it, and exits with 0 when the running tkw was reached, 1 when none runs or it\n"
     "cannot be reached (another user's: ask as that user, or as root for the service).",
     kLinux, true},
    {"Setting the clock needs the right to change the system time, which the service's\n"
     "account (LocalService) and administrators hold. Messages the desktop program shows in\n"
     "boxes are printed as <caption>: <text>, with a second line naming the file or port and\n"
     "the system's reason. Indicator changes are printed as STATUS <red|yellow|green> <text>.\n"
     "A port that is missing or goes away is tried again every 2 s, and at once after the PC\n"
     "resumes from sleep. One program sets the clock: this one and tkw.exe share one lock\n"
     "(TKW_INSTANCE names another, for tests). Exit status: 0 after Ctrl+C or the service's\n"
     "stop; 1 when horalsys.conf cannot be read or written, or another copy runs; 2 for a bad\n"
     "option or setting; 3 when install or uninstall fails. --detect exits with 0 when a\n"
     "time code was found (and with --save stored), 1 when none was or --save refused to\n"
     "choose. --calibrate exits with 0 when it listened for the whole time and measured\n"
     "frames (and with --save stored the delay), 1 otherwise: a clock not synchronised, a\n"
     "port in use or gone, no frames, a measurement too short or too uneven to store, or\n"
     "Ctrl+C.\n"
     "--correct-now exits with 0 when the service was reached, 1 when it is not installed,\n"
     "not running or refuses this console.",
     kWindows, true},
};

// "--name", or "--name" and its value from "--name=value".
void SplitInline(const std::string& arg, std::string& name, std::string& value, bool& inlineValue) {
    const size_t eq = arg.find('=');
    inlineValue = arg.rfind("--", 0) == 0 && eq != std::string::npos;
    name = inlineValue ? arg.substr(0, eq) : arg;
    value = inlineValue ? arg.substr(eq + 1) : std::string();
}

const OptionRow* FindRow(const std::string& name, HeadlessSystem system) {
    for (const OptionRow& r : kOptions)
        if ((r.systems & system) && name == r.name) return &r;
    return nullptr;
}

// `text`'s lines, the second and later ones indented to `column`.
std::string Indented(const std::string& text, size_t column) {
    std::string out;
    size_t from = 0;
    for (;;) {
        const size_t end = text.find('\n', from);
        if (from > 0) out.append(1, '\n').append(column, ' ');
        out.append(text, from, end == std::string::npos ? std::string::npos : end - from);
        if (end == std::string::npos) return out;
        from = end + 1;
    }
}

}  // namespace

std::span<const OptionRow> OptionTable() { return kOptions; }
std::span<const UsageRow> UsageTable() { return kUsage; }
std::span<const HelpParagraph> HelpParagraphs() { return kParagraphs; }

ParsedOptions ParseOptions(const std::vector<std::string>& args, HeadlessSystem system) {
    ParsedOptions r;
    HeadlessOptions& o = r.options;
    size_t i = 0;
    // Windows: the verbs come first.
    if (system == kWindows && !args.empty()) {
        if (args[0] == "install") o.command = Command::Install;
        if (args[0] == "uninstall") o.command = Command::Uninstall;
        if (args[0] == "service") o.command = Command::Service;
        if (o.command != Command::Run) i = 1;
    }
    const Command verb = o.command;
    const auto fail = [&r](const std::string& why) {
        r.error = why;
        return r;
    };
    for (; i < args.size(); ++i) {
        std::string name, value;
        bool inlineValue = false;
        SplitInline(args[i] == "-h" ? "--help" : args[i], name, value, inlineValue);
        const OptionRow* row = FindRow(name, system);
        if (!row) return fail("unknown option '" + args[i] + "'");
        if (!row->argument && inlineValue) return fail(std::string(row->name) + " takes no value");
        if (verb == Command::Uninstall && name != "--help")
            return fail(std::string("uninstall takes no options ('") + args[i] + "')");
        if ((verb == Command::Install || verb == Command::Service) && !row->runOption && name != "--dir" &&
            name != "--help")
            return fail(std::string(row->name) + " does not go with " + args[0]);

        std::vector<std::string> values;
        if (!row->argument) {
            values.push_back("");
        } else if (row->many) {
            if (inlineValue) values.push_back(value);
            for (const OptionRow* among; i + 1 < args.size(); ++i) {
                if ((among = FindRow(args[i + 1], system)) && among->amongValues) {
                    std::string why;
                    among->apply(o, "", why);
                } else if (args[i + 1].rfind("--", 0) == 0) {
                    break;
                } else {
                    values.push_back(args[i + 1]);
                }
            }
            if (values.empty() && row->optional) values.push_back("");
            if (values.empty()) return fail(std::string(row->name) + " needs " + row->missing);
        } else if (inlineValue) {
            values.push_back(value);
        } else {
            if (i + 1 >= args.size()) return fail(std::string(row->name) + " needs " + row->missing);
            values.push_back(args[++i]);
        }
        for (const std::string& v : values) {
            std::string why;
            if (!row->apply(o, v, why)) return fail(why);
            if (row->runOption) {
                o.runArgs.push_back(row->name);
                if (row->argument) o.runArgs.push_back(v);
            }
        }
    }
    const bool helpOrVersion = o.command == Command::Help || o.command == Command::Version;
    if (o.save && o.command != Command::Detect && o.command != Command::Calibrate && !helpOrVersion)
        return fail("--save goes with --detect or --calibrate");
    if ((o.calibrateSeconds != 0 || o.trustClock) && o.command != Command::Calibrate && !helpOrVersion)
        return fail(std::string(o.trustClock ? "--trust-clock" : "--seconds") + " goes with --calibrate");
    if (o.command == Command::Detect && !o.sets.empty())
        return fail("--set does not go with --detect (--detect --save stores what it finds)");
    if (o.command == Command::Calibrate && !o.sets.empty())
        return fail("--set does not go with --calibrate (--calibrate --save stores what it measures)");
    if (!o.statsDay.empty() && o.command != Command::Stats && o.command != Command::Help &&
        o.command != Command::Version)
        return fail("--day goes with --stats");
    if (o.reset && o.sets.empty() && o.command != Command::Help && o.command != Command::Version)
        return fail("--reset goes with --set: --set --reset NAME=VALUE ... changes the built-in defaults");
    // --set is --show-settings after the change.
    if (!o.sets.empty() && (o.command == Command::Run || o.command == Command::ShowSettings))
        o.command = Command::SetSettings;
    return r;
}

std::string HelpText(HeadlessSystem system, const std::string& program) {
    std::string out;
    // usage: PROGRAM ARGS      HELP, the helps in one column.
    const std::string lead = "usage: ";
    size_t width = 0;
    for (const UsageRow& u : kUsage)
        if (u.systems & system) width = std::max(width, program.size() + 1 + std::string(u.arguments).size());
    const size_t column = lead.size() + std::max<size_t>(width + 2, 30);
    bool first = true;
    for (const UsageRow& u : kUsage) {
        if (!(u.systems & system)) continue;
        const size_t start = out.size();
        out.append(first ? lead : std::string(lead.size(), ' ')).append(program).append(" ").append(u.arguments);
        out.resize(start + column, ' ');
        out.append(Indented(u.help, column)).append("\n");
        first = false;
    }
    const auto paragraphs = [&](bool afterOptions) {
        for (const HelpParagraph& p : kParagraphs)
            if ((p.systems & system) && p.afterOptions == afterOptions) out.append("\n").append(p.text).append("\n");
    };
    paragraphs(false);
    out.append("\n");
    // "  --name ARG      help", the helps from column 20 (further for a long name).
    constexpr size_t kHelpColumn = 20;
    for (const OptionRow& r : kOptions) {
        if (!(r.systems & system)) continue;
        const size_t start = out.size();
        out.append("  ").append(r.name);
        if (r.argument) out.append(" ").append(r.argument);
        const size_t used = out.size() - start;
        out.append(used + 1 < kHelpColumn ? kHelpColumn - used : 2, ' ');
        out.append(Indented(r.help, kHelpColumn)).append("\n");
    }
    paragraphs(true);
    return out;
}

std::string VersionLine(const std::string& program) {
    const ReleaseInfo& r = Release();
    char month[16];
    std::snprintf(month, sizeof month, "%04d-%02d", r.year, r.month);
    return program + " " + r.version + " (" + month + ")";
}

}  // namespace tkw
