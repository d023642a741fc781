#include "platform/datagram.h"

namespace tkw {

namespace {

class NoDatagrams final : public DatagramSender {
public:
    bool Send(const void*, size_t, std::string& why) override {
        why = "local datagram sockets are not available on Windows";
        return false;
    }
};

}  // namespace

std::unique_ptr<DatagramSender> LocalDatagramsTo(const std::string&) { return std::make_unique<NoDatagrams>(); }

size_t MaxLocalSocketPath() { return 0; }

}  // namespace tkw
