#include "headless/daily_log.h"

#include <cstdio>

#include "platform/encoding.h"

namespace tkw {

std::string DailyLogConsole::FileName(const SystemTime& day) {
    char name[24];
    std::snprintf(name, sizeof name, "service-%02u%02u%02u.txt", day.wYear % 100u, day.wMonth % 100u,
                  day.wDay % 100u);
    return name;
}

void DailyLogConsole::Write(const std::string& line) {
    std::lock_guard<std::mutex> lock(m_);
    const SystemTime now = clock_.GetLocalTime();
    const std::string path = JoinPath(dir_, FileName(now));
    // "yyyy-mm-dd hh:nn:ss <line>"
    char stamp[20];
    FormatDateTime(now, stamp);
    std::string entry(stamp, 19);
    entry += ' ';
    entry += ToFileEncoding(line);
    entry += "\r\n";

    OpenResult opened = fs_.Open(path, OpenMode::Append);
    Status st = opened.status;
    if (opened.file) {
        st = opened.file->Write(entry);
        if (st) st = opened.file->Sync();
        const Status closed = opened.file->Close();
        if (st) st = closed;
    }
    if (!st && fallback_) fallback_(line + " (" + path + " cannot be written: " + st.error + ")");
}

}  // namespace tkw
