// tkw-replay: shows what TKW would do with a recorded byte stream.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "engine/settings_report.h"
#include "replay/replay.h"

namespace {

constexpr const char* kUsage =
    "usage: tkw-replay [options] CAPTURE          (CAPTURE \"-\" reads standard input)\n"
    "  --start \"YYYY-MM-DD hh:mm:ss.zzz\"   the simulated PC clock at elapsed time 0\n"
    "                                      (default 2026-01-01 00:00:00.000)\n"
    "  --config FILE      settings from a file in the configuration file's format\n"
    "                     (default: the built-in defaults)\n"
    "  --format N         code format to use instead of the settings' one:\n"
    "                     1 KRW_CODE, 2 PL_CODE or 3 MN_CODE\n"
    "  --monitor          the monitor window is watching\n"
    "  --comm-log         the communication log is on\n"
    "  --no-jump-log      the jump log is off\n"
    "  --no-correct-now   no correction is requested at the start\n"
    "  --tick             also run the 2 ms timer on the simulated clock\n"
    "  --drift-ppm P      the simulated PC clock runs P parts per million fast\n"
    "                     (negative: slow) between the engine's steps\n"
    "  --dir DIR          the directory the log files are written into (the jump log\n"
    "                     is on unless --no-jump-log), and the offsets file YYMMDDO.csv\n"
    "                     (a row a minute); it must exist and be writable.\n"
    "                     Default: the current directory\n"
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

// Logs are written when an event calls for one, which may be days into a
// long capture: a directory they cannot go to is refused before the run
// rather than found out then. Writing a file is the only sure test
// (permission bits do not tell for root, read-only mounts or ACLs): a new
// file of the program's own, made the way a save makes one (a name nobody can
// guess, never over an existing file or through a link), then removed.
tkw::Status CheckWritable(const std::string& dir) {
    tkw::FileSystem& fs = tkw::RealFileSystem();
    std::string probe;
    tkw::OpenResult opened = fs.CreateReplacement(tkw::JoinPath(dir, ".tkw-replay-write-check"), probe);
    if (!opened.file) return opened.status;
    opened.file->Close();
    fs.Remove(probe);
    return tkw::Status::Ok();
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
            if (v.empty() || *end != '\0' || n < 1 || n > 3)
                return Fail("--format '" + v + "' is not 1 (KRW_CODE), 2 (PL_CODE) or 3 (MN_CODE)");
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
        } else if (arg == "--drift-ppm") {
            if (!value(v)) return Fail("--drift-ppm needs a number");
            char* end = nullptr;
            const double p = std::strtod(v.c_str(), &end);
            if (v.empty() || *end != '\0' || !(p >= -1000 && p <= 1000))
                return Fail("--drift-ppm '" + v + "' is not a number of parts per million from -1000 to 1000");
            options.driftPpm = p;
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

    {
        // The offsets file goes there whatever the logs do.
        const Status writable = CheckWritable(options.dir);
        if (!writable) {
            return Fail((options.dir.empty() ? std::string("the current directory (where the logs go without --dir)")
                                             : "--dir '" + options.dir + "'") +
                        " cannot be written: " + writable.error);
        }
    }

    // First pass: the whole capture's syntax, so that a malformed line stops
    // the run before anything is printed or logged; also its last time and
    // how many chunk lines it has.
    const std::string name = capturePath;
    std::ifstream file;
    std::unique_ptr<std::iostream> copy;
    std::istream* in = &file;
    std::error_code ec;
    if (capturePath != "-" && std::filesystem::is_regular_file(capturePath, ec)) {
        file.open(capturePath, std::ios::binary);
        if (!file) return Fail(capturePath + ": cannot be read: " + std::strerror(errno));
    } else {
        std::ifstream pipe;
        std::istream* from = &std::cin;
        if (capturePath != "-") {
            pipe.open(capturePath, std::ios::binary);
            if (!pipe) return Fail(capturePath + ": cannot be read: " + std::strerror(errno));
            from = &pipe;
        }
        // Read twice (checked whole, then run line by line), but standard
        // input, a pipe or a process substitution can be read only once: such
        // a capture is copied to a private temporary file first, which goes
        // with the process however it ends.
        std::string error;
        copy = PrivateTemporaryStream(error);
        if (!copy) return Fail("cannot make a temporary copy: " + error);
        char buf[1 << 16];
        for (std::streamsize n; (n = from->rdbuf()->sgetn(buf, sizeof buf)) > 0;) copy->write(buf, n);
        copy->flush();
        copy->seekg(0);
        if (!*copy) return Fail("cannot make a temporary copy: " + std::string(std::strerror(errno)));
        in = copy.get();
    }
    CaptureLine line;
    long chunkLines = 0;
    int64_t lastMs = 0;
    CaptureReader check(*in, name);
    while (check.Next(line)) {
        ++chunkLines;
        lastMs = line.elapsedMs;
    }
    if (!check.error().empty()) return Fail(check.error());
    if (ToLocalMs(options.start) + lastMs > kMaxLocalMs)
        return Fail("the capture runs past the year 9999 from the start time given");
    in->clear();
    if (!in->seekg(0)) return Fail(name + ": cannot be read a second time");

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

    // Second pass: the run, one line at a time. The file was checked, but it
    // may have been changed since; what no longer matches the check ends the
    // run with an error rather than running on with unchecked lines.
    std::ios::sync_with_stdio(false);
    CaptureReader run(*in, name);
    long seen = 0;
    bool changed = false;
    const int status = RunReplay(
        options,
        [&](CaptureLine& next) {
            if (!run.Next(next)) return false;
            changed = ++seen > chunkLines || next.elapsedMs > lastMs;
            return !changed;
        },
        lastMs, std::cout);
    if (changed || seen != chunkLines || !run.error().empty())
        return Fail(name + ": changed while it was replayed; the output is incomplete");
    return status;
}
