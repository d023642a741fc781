#include "platform/files.h"

namespace tkw {

Status ReplaceWholeFile(FileSystem& fs, const std::string& path, const std::function<Status(File&)>& write) {
    std::string temp;
    OpenResult opened = fs.CreateReplacement(path, temp);
    if (!opened.file) return opened.status;
    Status st = write(*opened.file);
    if (st) st = opened.file->Sync();
    // Closed even after a failed write, so that the temporary file can be removed.
    const Status closed = opened.file->Close();
    if (st) st = closed;
    if (st) st = fs.Replace(temp, path);
    if (!st) {
        fs.Remove(temp);  // best effort: the old file is untouched either way
        return st;
    }
    return fs.SyncDirectoryOf(path);
}

std::string FailureReason(const Status& st) {
    if (!st.directory.empty()) return "the directory " + st.directory + " cannot be written: " + st.error;
    return st.error;
}

}  // namespace tkw
