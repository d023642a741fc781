#include "headless/settings_commands.h"

#include <chrono>

#include "engine/settings_report.h"
#include "config/calibration_file.h"
#include "config/setting_names.h"
#include "serial/com_map.h"

namespace tkw {

bool LoadForHeadless(FileSystem& files, Settings& s, ConsoleBoxes& boxes, LoadResult& result) {
    result = LoadSettings(files, kConfigFileName, s);
    if (result.ok()) return true;
    const std::string why = result.error;
    boxes.Detail = [why](const std::string& caption) {
        return caption == kWarningCaption ? std::string(kConfigFileName) + ": " + why : std::string();
    };
    ReportLoad(result, boxes);
    return false;
}

namespace {

// With the settings' lock held, so that the file of a save under way (a
// --set's) is not taken for a leftover.
void RemoveLeftovers(const HeadlessProgram& program, Console& console) {
    std::vector<std::string> removed = RemoveLeftoverReplacements(kConfigFileName);
    for (const std::string& name : RemoveLeftoverReplacements(kCalibrationFileName)) removed.push_back(name);
    if (!removed.empty())
        console.Err(program.name + ": removed " + std::to_string(removed.size()) + " file" +
                    (removed.size() == 1 ? "" : "s") + " that saves cut short left behind (" + removed.front() +
                    (removed.size() == 1 ? ")" : " ...)"));
}

void PrintSettings(const Settings& s, const LoadResult& loaded, Console& console) {
    if (loaded.outcome == LoadOutcome::NoFile)
        console.Out(std::string("no ") + kConfigFileName + " here: the built-in defaults");
    else if (loaded.outcome == LoadOutcome::ShortFile)
        console.Out(std::string(kConfigFileName) + " is shorter than one record: every setting reads as 0");
    else
        console.Out(std::string(kConfigFileName) + ":");
    for (const std::string& line : DescribeSettings(s, [](int port) { return ComPortPath(port); }))
        console.Out("  " + line);
}

// The frame's time on the line is part of the delay --calibrate measured: a
// receiver calibrated for one format and bit rate is not for another.
void SayIfCalibrationLost(const Settings& before, const Settings& after, FileSystem& files,
                          const HeadlessProgram& program, Console& console) {
    Calibration c;
    if ((before.CodeFormat == after.CodeFormat && before.BaudCode == after.BaudCode) ||
        !LoadCalibration(files, kCalibrationFileName, c) ||
        (c.codeFormat == after.CodeFormat && c.baudCode == after.BaudCode))
        return;
    console.Err(program.name + ": the fine adjustment (now " + std::to_string(after.FineAdjustMs) +
                " ms) was measured by --calibrate on " + c.date + " for " + FormatText(c.codeFormat) + " at " +
                BaudText(c.baudCode) + " bit/s; a frame of " + FormatText(after.CodeFormat) + " at " +
                BaudText(after.BaudCode) + " bit/s takes another time on the line: run " + program.name +
                " --calibrate again");
}

}  // namespace

void RemoveLeftoverSaves(const HeadlessProgram& program, Console& console) {
    // A lock held now (a --set under way) leaves them for the next time.
    UpdateLock lock;
    bool unavailable = false;
    if (lock.Acquire(kConfigFileName, std::chrono::milliseconds(0), unavailable)) RemoveLeftovers(program, console);
}

int ShowOrSetSettings(const HeadlessOptions& options, const HeadlessProgram& program, FileSystem& files,
                      Console& console) {
    ConsoleBoxes boxes(console);
    // A change is a load, the change and a save: held against another --set
    // at the same time, which then builds on this one's result instead of
    // losing it. Where the lock cannot even be made (a directory this user
    // cannot write), the save will say what is wrong.
    UpdateLock lock;
    if (!options.sets.empty()) {
        bool unavailable = false;
        const Status locked = lock.Acquire(kConfigFileName, std::chrono::seconds(10), unavailable);
        if (!locked && !unavailable) {
            console.Err(program.name + ": " + locked.error + "; " + kConfigFileName + " is left as it was");
            return 1;
        }
        if (locked) RemoveLeftovers(program, console);
    }
    Settings s;
    LoadResult loaded;
    if (options.reset) {
        // Whatever the file holds (or whether it can be read at all) does not
        // count: what the user can do to mend one that is short or damaged.
        ApplyDefaults(s);
        loaded.outcome = LoadOutcome::NoFile;
    } else if (!LoadForHeadless(files, s, boxes, loaded)) {
        return 1;
    }
    if (!options.sets.empty() && loaded.outcome == LoadOutcome::ShortFile) {
        // Every setting the change leaves would be saved as 0 (port 0, no
        // format, no schedule) and said to be saved.
        console.Err(program.name + ": " + kConfigFileName + " is shorter than one record (" +
                    std::to_string(loaded.bytes) + " of " + std::to_string(kConfigRecordSize) +
                    " bytes): its settings cannot be changed, and it is left as it was; " + program.name +
                    " --set --reset NAME=VALUE ... starts from the built-in defaults");
        return 1;
    }
    const Settings before = s;
    if (!options.sets.empty()) {
        // Every value checked before anything is written.
        for (const std::string& assignment : options.sets) {
            std::string why;
            if (!ApplySetting(assignment, s, why)) {
                console.Err(program.name + ": --set " + assignment + ": " + why + "; " + kConfigFileName +
                            " is left as it was");
                return 2;
            }
        }
        const Status saved = savecfg(files, kConfigFileName, s);
        if (!saved) {
            // The box has the system's text, as the desktop program's; the
            // line under it names a directory that cannot be written.
            boxes.Detail = [&saved](const std::string&) {
                return (saved.directory.empty() ? std::string() : FailureReason(saved) + "; ") + kConfigFileName +
                       " is left as it was";
            };
            ReportSave(saved, boxes);
            return 1;
        }
        loaded.outcome = LoadOutcome::Loaded;
        console.Out("saved; a " + program.name + " running now takes the new settings at its next start");
        SayIfCalibrationLost(before, s, files, program, console);
    }
    PrintSettings(s, loaded, console);
    return 0;
}

int ListPorts(SerialPortList& ports, const HeadlessProgram& program, Console& console) {
    const std::vector<std::string> lines = ports.Lines();
    for (const std::string& l : lines) console.Out(l);
    if (lines.empty())
        console.Out(program.system == kLinux ? "no serial ports found; give a device a number with --map COMn=PATH"
                                             : "no serial ports found");
    return 0;
}

}  // namespace tkw
