#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/datagram.h"

namespace tkw {

namespace {

class UnixDatagrams final : public DatagramSender {
public:
    explicit UnixDatagrams(const std::string& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    }
    ~UnixDatagrams() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Send(const void* bytes, size_t size, std::string& why) override {
        if (fd_ < 0) {
            why = std::strerror(EBADF);
            return false;
        }
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (path_.size() >= sizeof addr.sun_path) {
            why = "the path is too long for a socket";
            return false;
        }
        std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
        // Never blocks the main thread: a full receiver drops the sample.
        if (::sendto(fd_, bytes, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&addr), sizeof addr) ==
            static_cast<ssize_t>(size))
            return true;
        why = std::strerror(errno);
        return false;
    }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<DatagramSender> LocalDatagramsTo(const std::string& path) {
    return std::make_unique<UnixDatagrams>(path);
}

}  // namespace tkw
