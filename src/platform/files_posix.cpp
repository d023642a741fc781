#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace tkw {
namespace {

Status Errno() {
    return Status::Fail(std::strerror(errno));
}

class PosixFile final : public File {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override {
        if (fd_ >= 0) ::close(fd_);
    }

    Status Read(void* buf, size_t want, size_t& got) override {
        got = 0;
        auto* p = static_cast<char*>(buf);
        while (got < want) {
            const ssize_t n = ::read(fd_, p + got, want - got);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Errno();
            }
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        return Status::Ok();
    }

    Status Write(std::string_view bytes) override {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Errno();
            }
            done += static_cast<size_t>(n);
        }
        return Status::Ok();
    }

    Status Sync() override { return ::fsync(fd_) == 0 ? Status::Ok() : Errno(); }

    Status Close() override {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? Status::Ok() : Errno();
    }

private:
    int fd_;
};

class PosixFileSystem final : public FileSystem {
public:
    bool Exists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }

    OpenResult Open(const std::string& path, OpenMode mode) override {
        int flags = O_CLOEXEC;
        switch (mode) {
            case OpenMode::ReadWriteExisting: flags |= O_RDWR; break;
            case OpenMode::CreateTruncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
            case OpenMode::Append: flags |= O_WRONLY | O_CREAT | O_APPEND; break;
        }
        const int fd = ::open(path.c_str(), flags, 0666);
        if (fd < 0) return {nullptr, Errno()};
        return {std::make_unique<PosixFile>(fd), Status::Ok()};
    }

    Status Replace(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0 ? Status::Ok() : Errno();
    }

    Status Remove(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 ? Status::Ok() : Errno();
    }

    // A rename changes the directory, not the file: until the directory is
    // synced too, a power cut may undo it.
    Status SyncDirectoryOf(const std::string& path) override {
        const size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return Errno();
        const int synced = ::fsync(fd);
        const int error = errno;
        ::close(fd);
        // EINVAL: a file system that cannot sync a directory at all (some
        // network and FUSE ones); nothing more can be done there, and failing
        // every save on it would stop the settings being kept at all.
        if (synced != 0 && error != EINVAL) return Status::Fail(std::strerror(error));
        return Status::Ok();
    }
};

}  // namespace

FileSystem& RealFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace tkw
