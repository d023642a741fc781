// The service program's two consoles: a real one when run in a console
// window (or with its output redirected), and the Windows Event Log as the
// last resort of the service's daily log. Windows builds only.
#pragma once

#include <mutex>
#include <string>

#include "headless/console.h"

namespace tkw {

// Lines to standard output and standard error: through WriteConsoleW to a
// console window, so that the Chinese texts show whatever its code page;
// as UTF-8 bytes when redirected to a file or a pipe.
class Win32Console final : public Console {
public:
    void Out(const std::string& line) override;
    void Err(const std::string& line) override;

private:
    void Write(unsigned long stdHandle, const std::string& line);
    std::mutex m_;
};

// An error event in the Application log, source "TKW": for a line the
// service could not write to its own log.
void ReportToEventLog(const std::string& line);

}  // namespace tkw
