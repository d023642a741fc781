// The two date-named logs: YYMMDD + "S.txt" (jumps) and YYMMDD + "C.txt"
// (serial traffic). Every entry opens the day's file, appends, syncs and
// closes it, so an entry is on disk when the call returns and no handle is
// held between entries.
#pragma once

#include <functional>
#include <string>

#include "logs/sinks.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/message_box.h"

namespace tkw {

// "080401S.txt" for the jump log (flag non-zero), "080401C.txt" for flag 0.
std::string LogFileName(const SystemTime& date, int32_t flag);

class LogWriter final : public LogSink {
public:
    // `dir` empty: the current directory.
    LogWriter(FileSystem& fs, Clock& clock, MessageBoxes& boxes, std::string dir = {})
        : fs_(fs), clock_(clock), boxes_(boxes), dir_(std::move(dir)) {}

    // Appends CR LF, the header " yyyy-mm-dd hh:nn:ss ------" and the text
    // (UTF-8; written in the platform's file encoding). A file that cannot be
    // opened or written shows "File access error" and the entry is dropped
    // whole: an entry cut short by a full disk is taken back out of the file.
    void savelogline(int32_t flag, std::string_view text) override;

    // Hears, before the box, which file could not be written and the
    // system's reason (naming the directory when the failure lies there): a
    // program that logs its messages names them.
    std::function<void(const std::string& path, const std::string& why)> OnFailure;
    // Hears that a log that failed is written again (the file's path).
    std::function<void(const std::string& path)> OnRecovered;
    // The desktop program shows the box for every entry that fails (true);
    // a program whose boxes are lines in a service's log says a failure once
    // (false), until the log is written again. Either way a box is never
    // shown while one for the same log is still open: an entry handed over
    // while the user has not yet closed it is dropped without a second one.
    bool BoxEveryFailure = true;

private:
    void Failed(int log, const std::string& path, const Status& st);

    FileSystem& fs_;
    Clock& clock_;
    MessageBoxes& boxes_;
    std::string dir_;
    // Per log (0 the communication log, 1 the jump log): its last entry
    // failed; its box is open now.
    bool failing_[2] = {false, false};
    bool boxOpen_[2] = {false, false};
};

}  // namespace tkw
