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
    // The address is built once here, not for every sample sent to it.
    explicit UnixDatagrams(const std::string& path) : fits_(path.size() < sizeof addr_.sun_path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        addr_.sun_family = AF_UNIX;
        if (fits_) std::memcpy(addr_.sun_path, path.c_str(), path.size() + 1);
    }
    ~UnixDatagrams() override {
        if (fd_ >= 0) ::close(fd_);
    }
    bool Send(const void* bytes, size_t size, std::string& why) override {
        if (fd_ < 0) {
            why = std::strerror(EBADF);
            return false;
        }
        if (!fits_) {
            why = "the path is too long for a socket";
            return false;
        }
        // Never blocks the main thread: a full receiver drops the sample.
        if (::sendto(fd_, bytes, size, MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&addr_), sizeof addr_) ==
            static_cast<ssize_t>(size))
            return true;
        why = std::strerror(errno);
        return false;
    }

private:
    sockaddr_un addr_{};
    bool fits_;
    int fd_ = -1;
};

}  // namespace

std::unique_ptr<DatagramSender> LocalDatagramsTo(const std::string& path) {
    return std::make_unique<UnixDatagrams>(path);
}

size_t MaxLocalSocketPath() { return sizeof(sockaddr_un::sun_path) - 1; }  // and its terminating zero

}  // namespace tkw
