// Where the Windows service's lines go, having no console: one file a day,
// "service-YYMMDD.txt" in its directory beside the other logs, each line
// with the date and time it was written, in the platform's file encoding with
// CR LF (Notepad reads it). Every line opens, appends, syncs and closes the
// file, so it is on disk when the call returns and the file can be read,
// copied or deleted while the service runs.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "headless/console.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace tkw {

class DailyLogConsole final : public Console {
public:
    // `fallback` hears a line that could not be written, with the reason
    // (the service hands it to the Windows Event Log, so nothing is lost).
    // `dir` empty: the current directory.
    DailyLogConsole(FileSystem& fs, Clock& clock, std::function<void(const std::string&)> fallback,
                    std::string dir = {})
        : fs_(fs), clock_(clock), fallback_(std::move(fallback)), dir_(std::move(dir)) {}

    void Out(const std::string& line) override { Write(line); }
    void Err(const std::string& line) override { Write(line); }

    // "service-261208.txt".
    static std::string FileName(const SystemTime& day);

private:
    void Write(const std::string& line);

    FileSystem& fs_;
    Clock& clock_;
    std::function<void(const std::string&)> fallback_;
    std::string dir_;
    std::mutex m_;  // the service's control thread may write too
};

}  // namespace tkw
