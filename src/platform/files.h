// The file seam. Settings and logs go through it so that tests can make any
// single operation fail and check that nothing already on disk was damaged.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tkw {

// The outcome of a file operation: on failure, the platform's own text for
// the error, ready to be shown to the user.
struct Status {
    bool ok = true;
    std::string error;
    // Set when the failure lies with a directory rather than with the file
    // asked for: a new file could not be made in it (no right to write there,
    // a read-only or full file system). Messages then name the directory.
    std::string directory;

    static Status Ok() { return {}; }
    static Status Fail(std::string text) { return {false, std::move(text), {}}; }
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
    // The file's size, and cutting it back to an earlier size: what lets an
    // append that failed halfway (a disk that filled up) be taken back whole.
    virtual Status Size(uint64_t& size) = 0;
    virtual Status Truncate(uint64_t size) = 0;
};

enum class OpenMode {
    ReadWriteExisting,  // the file must exist; opened for reading and writing
    // Created if missing, written at its end. Never through a symbolic link
    // at the name (one planted there would have the entries written wherever
    // it points); a new file is readable by others at most (rw-r--r--),
    // whatever the umask says, and a stricter umask still applies.
    Append,
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
    // A new file to take the place of `path` (by Replace): in the same
    // directory, so that the replace is one step, under a name nobody can
    // guess (returned in `temp`), never over an existing file or through a
    // symbolic link, and readable by its owner alone while it is written.
    // Once closed it has the owner, group and mode of the file it replaces
    // (as far as the process may give them), or for a new file at most
    // rw-r--r-- whatever the umask says.
    virtual OpenResult CreateReplacement(const std::string& path, std::string& temp) = 0;
    // Whether a new file may take the place of `path` (by Replace): there is
    // nothing at the name, or a plain file. Not a symbolic link, which the
    // new file would replace while the file it points to kept what it had,
    // unnoticed; nor a pipe, a device or a directory. The failure names the
    // path (and a link's target).
    virtual Status CheckReplaceable(const std::string& path) = 0;
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
// leaves either the old file or the new one, never a mix (and nothing at all
// is written when `path` is not CheckReplaceable): `write` fills a
// file made by CreateReplacement, which is synced, closed and put in the
// place of `path`; on any failure the temporary file is removed and the old
// one stays as it was. Two saves at once each write a file of their own, and
// the one that replaces last wins whole. Last the directory is synced, since
// until then a power cut may bring the old file back; if that fails the
// failure is returned although the new file is in place, so that whoever
// saved is told it may not last and can save again.
Status ReplaceWholeFile(FileSystem& fs, const std::string& path, const std::function<Status(File&)>& write);

// The name CreateReplacement gives a file that is to take the place of
// `path`: "path.<16 hex digits of `bits`>.new".
std::string ReplacementName(const std::string& path, uint64_t bits);
// Whether `name` (a name in a directory, without it) is such a name for the
// file named `fileName` in the same directory.
bool IsReplacementName(const std::string& name, const std::string& fileName);

// Removes what saves of `path` that were cut short (killed, a power cut)
// left beside it: the files of exactly the replacements' names
// (ReplacementName), plain files owned by this process's user (on Windows:
// the owner it gives new files) and nothing else, never a link or another
// user's file. Hold `path`'s UpdateLock meanwhile, so that no save of ours is
// writing one of them. Returns the names removed.
std::vector<std::string> RemoveLeftoverReplacements(const std::string& path);

// The system's reason for a failure, naming the directory when the failure
// lies there ("the directory /var/lib/tkw cannot be written: Permission
// denied"): for messages that say what the user has to put right.
std::string FailureReason(const Status& st);

// An exclusive lock for a load, change and save of `path` by one process at
// a time (two `tkw --set` at once), so that the second builds on the first's
// result instead of one change being lost. Held in a file of its own beside
// `path` (path + ".lock", readable by its owner alone, so that nobody else
// can hold it to stop the saves), from Acquire until the object goes.
class UpdateLock {
public:
    UpdateLock() = default;
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;
    ~UpdateLock();
    // Waits up to `wait` for another holder. Fails with the reason when the
    // lock cannot be had; `unavailable` then tells a lock file this process
    // may not make or open (a directory it cannot write), where an update
    // may still go on unlocked and let the save say what is wrong.
    Status Acquire(const std::string& path, std::chrono::milliseconds wait, bool& unavailable);

private:
    intptr_t handle_ = -1;
};

// A temporary file no other process can open or has a name to reach: made
// exclusively in the system's temporary directory, readable by its owner
// alone, and gone when the stream is (or the process ends). Null, with the
// reason in `error`, when none can be made.
std::unique_ptr<std::iostream> PrivateTemporaryStream(std::string& error);

}  // namespace tkw
