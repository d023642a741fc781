// tkw-replay: shows what TKW would do with a recorded byte stream.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "app/settings_report.h"
#include "replay/replay.h"

namespace {

constexpr const char* kUsage =
    "usage: tkw-replay [options] CAPTURE          (CAPTURE \"-\" reads standard input)\n"
    "  --start \"YYYY-MM-DD hh:mm:ss.zzz\"   the simulated PC clock at elapsed time 0\n"
    "                                      (default 2026-01-01 00:00:00.000)\n"
    "  --config FILE      settings from a file in the configuration file's format\n"
    "                     (default: the built-in defaults)\n"
    "  --format N         code format to use instead of the settings' one\n"
    "                     (1 KRW_CODE, 2 PL_CODE, 3 MN_CODE)\n"
    "  --monitor          the monitor window is watching\n"
    "  --comm-log         the communication log is on\n"
    "  --no-jump-log      the jump log is off\n"
    "  --no-correct-now   no correction is requested at the start\n"
    "  --tick             also run the 2 ms timer on the simulated clock\n"
    "  --dir DIR          where log files are written (default: the current directory)\n"
    "  --help             show this text\n"
    "\n"
    "CAPTURE: one chunk a line, '<elapsed ms> <hex byte> ...'; blank lines and lines\n"
    "starting with '#' are skipped. Output, one line per event:\n"
    "  SET YYYY-MM-DD hh:mm:ss.zzz   the clock is set to this local time\n"
    "  TX B1 B2 ...                  bytes written to the port\n"
    "  MON <line>                    a line for the monitor window\n"
    "  TICK <time> <red|yellow|green> a second's tick of the strip\n"
    "  BOX <caption>: <text>         a message box the program would show\n";

int Fail(const std::string& message) {
    std::cerr << "tkw-replay: " << message << '\n';
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tkw;
    using namespace tkw::replay;

    ReplayOptions options;
    ParseWithMs("2026-01-01 00:00:00.000", options.start);
    ApplyDefaults(options.settings);
    std::string configPath;
    std::string capturePath;
    bool haveCapture = false;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--start") {
            if (!value(v)) return Fail("--start needs a value");
            if (!ParseWithMs(v, options.start))
                return Fail("--start '" + v + "' is not a date-time \"YYYY-MM-DD hh:mm:ss.zzz\"");
        } else if (arg == "--config") {
            if (!value(configPath)) return Fail("--config needs a file");
        } else if (arg == "--format") {
            if (!value(v)) return Fail("--format needs a number");
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 0 || n > 255)
                return Fail("--format '" + v + "' is not a number from 0 to 255");
            options.format = static_cast<uint8_t>(n);
        } else if (arg == "--monitor") {
            options.monitor = true;
        } else if (arg == "--comm-log") {
            options.commLog = true;
        } else if (arg == "--no-jump-log") {
            options.jumpLog = false;
        } else if (arg == "--no-correct-now") {
            options.correctNow = false;
        } else if (arg == "--tick") {
            options.tick = true;
        } else if (arg == "--dir") {
            if (!value(options.dir)) return Fail("--dir needs a directory");
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            return Fail("unknown option '" + arg + "' (see --help)");
        } else if (haveCapture) {
            return Fail("only one capture file may be given (see --help)");
        } else {
            capturePath = arg;
            haveCapture = true;
        }
    }
    if (!haveCapture) return Fail("no capture file given (see --help)");

    std::vector<CaptureLine> capture;
    std::string error;
    if (capturePath == "-") {
        if (!ParseCapture(std::cin, "-", capture, error)) return Fail(error);
    } else {
        std::ifstream in(capturePath, std::ios::binary);
        if (!in) return Fail(capturePath + ": cannot be read: " + std::strerror(errno));
        if (!ParseCapture(in, capturePath, capture, error)) return Fail(error);
    }
    if (!capture.empty() && ToLocalMs(options.start) + capture.back().elapsedMs > kMaxLocalMs)
        return Fail("the capture runs past the year 9999 from the start time given");

    if (!configPath.empty()) {
        FileSystem& fs = RealFileSystem();
        if (!fs.Exists(configPath)) return Fail(configPath + ": no such configuration file");
        Settings loaded;
        const LoadResult r = LoadSettings(fs, configPath, loaded);
        if (!r.ok()) {
            // The program would show the box and stop its start-up here.
            struct : MessageBoxes {
                void Show(BoxKind, const std::string& caption, const std::string& text) override {
                    std::cout << "BOX " << caption << ": " << text << '\n';
                }
            } boxes;
            ReportLoad(r, boxes);
            std::cout.flush();
            std::cerr << "tkw-replay: " << configPath << ": the settings could not be loaded"
                      << (r.error.empty() ? "" : " (" + r.error + ")") << "; the program would stop here\n";
            return 1;
        }
        options.settings = loaded;
    }

    std::ios::sync_with_stdio(false);
    return RunReplay(options, capture, std::cout);
}
