// The file seam. Settings and logs go through it so that tests can make any
// single operation fail and check that nothing already on disk was damaged.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace tkw {

// The outcome of a file operation: on failure, the platform's own text for
// the error, ready to be shown to the user.
struct Status {
    bool ok = true;
    std::string error;

    static Status Ok() { return {}; }
    static Status Fail(std::string text) { return {false, std::move(text)}; }
    explicit operator bool() const { return ok; }
};

class File {
public:
    virtual ~File() = default;
    virtual Status Read(void* buf, size_t want, size_t& got) = 0;
    virtual Status Write(std::string_view bytes) = 0;
    // Pushes the data through to the disk (not just the operating system's cache).
    virtual Status Sync() = 0;
    virtual Status Close() = 0;
};

enum class OpenMode {
    ReadWriteExisting,  // the file must exist; opened for reading and writing
    CreateTruncate,     // created or emptied, for writing
    Append,             // created if missing, written at its end
};

struct OpenResult {
    std::unique_ptr<File> file;  // null on failure
    Status status;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool Exists(const std::string& path) = 0;
    virtual OpenResult Open(const std::string& path, OpenMode mode) = 0;
    // Puts `from` in the place of `to` in one step, replacing `to` if it exists.
    virtual Status Replace(const std::string& from, const std::string& to) = 0;
    // Pushes the entry of `path` in its directory (which file the name stands
    // for, after a Replace) through to the disk, as Sync does for a file's data.
    virtual Status SyncDirectoryOf(const std::string& path) = 0;
    virtual Status Remove(const std::string& path) = 0;
};

// The operating system's files.
FileSystem& RealFileSystem();

// "dir/name", or name alone for an empty dir.
std::string JoinPath(const std::string& dir, const std::string& name);

// Replaces the whole of `path` so that a failure or a power cut at any point
// leaves either the old file or the new one, never a mix: `write` fills
// path + ".new", which is synced, closed and put in the place of `path`; on
// any failure the temporary file is removed and the old one stays as it was.
// Last the directory is synced, since until then a power cut may bring the
// old file back; if that fails the failure is returned although the new file
// is in place, so that whoever saved is told it may not last and can save again.
Status ReplaceWholeFile(FileSystem& fs, const std::string& path, const std::function<Status(File&)>& write);

}  // namespace tkw
