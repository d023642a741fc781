#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "platform/single_instance.h"

namespace tkw {

// An abstract-namespace socket bound to the name: the kernel releases it when
// the process ends however it ends, so a crash never leaves a stale lock.
bool SingleInstance::Acquire(const std::string& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;  // cannot tell: rather run than refuse
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string key = "tkw-instance:" + name;
    const size_t n = std::min(key.size(), sizeof(addr.sun_path) - 1);
    std::memcpy(addr.sun_path + 1, key.data(), n);  // sun_path[0] == 0: abstract
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        ::close(fd);
        return false;
    }
    handle_ = fd;
    return true;
}

SingleInstance::~SingleInstance() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace tkw
