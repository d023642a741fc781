#include "logs/log_writer.h"

#include <cstring>

#include "platform/encoding.h"

namespace tkw {

std::string LogFileName(const SystemTime& date, int32_t flag) {
    char name[12];
    const unsigned yy = date.wYear % 100u;
    name[0] = static_cast<char>('0' + yy / 10);
    name[1] = static_cast<char>('0' + yy % 10);
    name[2] = static_cast<char>('0' + date.wMonth / 10 % 10);
    name[3] = static_cast<char>('0' + date.wMonth % 10);
    name[4] = static_cast<char>('0' + date.wDay / 10 % 10);
    name[5] = static_cast<char>('0' + date.wDay % 10);
    return std::string(name, 6) + (flag != 0 ? "S.txt" : "C.txt");
}

void LogWriter::savelogline(int32_t flag, std::string_view text) {
    const int log = flag != 0 ? 1 : 0;
    const std::string path = JoinPath(dir_, LogFileName(clock_.GetLocalTime(), flag));
    OpenResult opened = fs_.Open(path, OpenMode::Append);
    if (!opened.file) {
        Failed(log, path, opened.status);
        return;
    }
    // The header's time is read once the file is open: an entry begun in the
    // last instant of a day may carry the next day's time in the previous
    // day's file, which is what the log's readers are used to.
    // " yyyy-mm-dd hh:nn:ss ------"
    char header[27] = {' '};
    FormatDateTime(clock_.GetLocalTime(), header + 1);
    std::memcpy(header + 20, " ------", 7);

    std::string entry = "\r\n";
    entry.append(header, sizeof header);
    entry += ToFileEncoding(text);
    // One write for the whole entry; when it or the sync fails (a full disk
    // takes what fits and refuses the rest) the file is cut back to where the
    // entry began, so that it holds whole entries only.
    uint64_t before = 0;
    Status st = opened.file->Size(before);
    if (st) {
        st = opened.file->Write(entry);
        if (st) st = opened.file->Sync();
        if (!st) opened.file->Truncate(before);
    }
    const Status closed = opened.file->Close();
    if (!st || !closed) {
        Failed(log, path, !st ? st : closed);
        return;
    }
    if (failing_[log]) {
        failing_[log] = false;
        if (OnRecovered) OnRecovered(path);
    }
}

void LogWriter::Failed(int log, const std::string& path, const Status& st) {
    const bool first = !failing_[log];
    failing_[log] = true;
    if (!first && !BoxEveryFailure) return;
    if (OnFailure) OnFailure(path, FailureReason(st));
    if (boxOpen_[log]) return;
    boxOpen_[log] = true;
    boxes_.Show(BoxKind::Warning, kWarningCaption, kFileAccessError);
    boxOpen_[log] = false;
}

}  // namespace tkw
