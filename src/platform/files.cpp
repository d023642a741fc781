#include "platform/files.h"

#include <cstdio>

namespace tkw {

Status ReplaceWholeFile(FileSystem& fs, const std::string& path, const std::function<Status(File&)>& write) {
    if (Status st = fs.CheckReplaceable(path); !st) return st;
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

std::string ReplacementName(const std::string& path, uint64_t bits) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(bits));
    return path + "." + hex + ".new";
}

bool IsReplacementName(const std::string& name, const std::string& fileName) {
    constexpr size_t kHex = 16;
    const std::string_view n(name);
    if (n.size() != fileName.size() + 1 + kHex + 4 || !n.starts_with(fileName + ".") || !n.ends_with(".new"))
        return false;
    for (char c : n.substr(fileName.size() + 1, kHex))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::string FailureReason(const Status& st) {
    if (!st.directory.empty()) return "the directory " + st.directory + " cannot be written: " + st.error;
    return st.error;
}

}  // namespace tkw
