// The headless programs' command line: Linux `tkw` and Windows `tkw-service`
// take the same options where they make sense on both. One table holds every
// option with its help text and what it does to the options struct, so the
// parser, --help and the manual pages cannot disagree.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tkw {

// Which program a row of the tables belongs to (a mask: a row can be both).
enum HeadlessSystem : unsigned {
    kLinux = 1,
    kWindows = 2,
    kBothSystems = kLinux | kWindows,
};

enum class Command {
    Run,           // keep the clock in step (the default)
    ShowSettings,  // --show-settings
    Stats,         // --stats [--day YYMMDD]
    SetSettings,   // --set NAME=VALUE ...
    ListPorts,     // --list-ports
    Detect,        // --detect [COMn ...] [--save]
    Calibrate,     // --calibrate [COMn] [--seconds N] [--save] [--trust-clock]
    CorrectNow,    // --correct-now: ask the running copy (each system its own way)
    Help,          // --help
    Version,       // --version
    Install,       // Windows: install [--dir DIR] [options]
    Uninstall,     // Windows: uninstall
    Service,       // Windows: the service manager's start (the command line install registers)
};

// How long --calibrate listens unless --seconds says otherwise, and what
// --seconds takes.
inline constexpr int kCalibrateSeconds = 600, kMinCalibrateSeconds = 10, kMaxCalibrateSeconds = 86400;

// The Windows service's own control code (user-defined ones are 128 to
// 255) that --correct-now sends it: `sc control TKW 200` does the same.
inline constexpr unsigned kCorrectNowControl = 200;

struct ComMapping {
    int32_t port = 0;
    std::string path;
};

struct HeadlessOptions {
    Command command = Command::Run;
    bool dryRun = false;
    bool monitor = false;
    bool commLog = false;
    bool pollReads = false;
    bool noStep = false;
    bool printOffsets = false;  // --offsets
    std::string chronySock;     // empty: no chronyd feed
    std::string dir;            // empty: the current directory
    std::vector<ComMapping> maps;
    std::vector<std::string> sets;  // NAME=VALUE, as given
    bool reset = false;             // --set --reset: on the built-in defaults, not the file's settings
    std::vector<int32_t> detectPorts;  // --detect's ports, in the order given (none: all --list-ports finds)
    bool save = false;                 // --detect --save, --calibrate --save
    int32_t calibratePort = 0;         // --calibrate COMn; 0: the stored port
    int calibrateSeconds = 0;          // --seconds N; 0: not given (kCalibrateSeconds)
    bool trustClock = false;           // --calibrate --trust-clock
    std::string statsDay;              // --stats --day YYMMDD; empty: today
    // The options that shape a run, as given (each value its own argument):
    // what install hands on to the service.
    std::vector<std::string> runArgs;
};

struct OptionRow {
    const char* name;      // "--map"
    const char* argument;  // "COMn=PATH"; null for a switch
    // What --help prints beside it; one line each, joined by '\n'.
    const char* help;
    unsigned systems;  // kLinux, kWindows or both
    // Shapes a run: taken after install and by the service's own start.
    bool runOption;
    // Applies the value ("" for a switch); false, with `why`, for a bad one.
    bool (*apply)(HeadlessOptions& o, const std::string& value, std::string& why);
    // "--map needs ...": what to say when the argument is missing.
    const char* missing = nullptr;
    // Takes every following argument up to the next option (--set).
    bool many = false;
    // ... and none at all (--detect): `apply` then sees "".
    bool optional = false;
    // A switch that may also stand among such an option's values
    // (--set --reset NAME=VALUE).
    bool amongValues = false;
};

// The lines of "usage:" (the commands), and the paragraphs around the option
// list: the same rows make --help and the manual page.
struct UsageRow {
    const char* arguments;  // "--set NAME=VALUE ...", "" for a plain run
    const char* help;       // lines joined by '\n'
    unsigned systems;
};
struct HelpParagraph {
    const char* text;  // lines joined by '\n', wrapped for a terminal
    unsigned systems;
    bool afterOptions;  // before the option list (what the program does) or after it
};

std::span<const OptionRow> OptionTable();
std::span<const UsageRow> UsageTable();
std::span<const HelpParagraph> HelpParagraphs();

struct ParsedOptions {
    HeadlessOptions options;
    std::string error;  // empty when the command line is good
    bool ok() const { return error.empty(); }
};

// `args` without the program's name. Unknown options, options of the other
// system, missing or bad values and options that do not go with the command
// are errors.
ParsedOptions ParseOptions(const std::vector<std::string>& args, HeadlessSystem system);

// --help for `program` ("tkw", "tkw-service").
std::string HelpText(HeadlessSystem system, const std::string& program);
// --version: "tkw 0.2.0 (2026-12)".
std::string VersionLine(const std::string& program);

}  // namespace tkw
