// Datagrams to a local socket named by a path (chrony's SOCK reference clock
// takes its samples so). On systems without such sockets every send fails,
// saying why.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace tkw {

class DatagramSender {
public:
    virtual ~DatagramSender() = default;
    // False with the system's reason when the datagram did not go.
    virtual bool Send(const void* bytes, size_t size, std::string& why) = 0;
};

std::unique_ptr<DatagramSender> LocalDatagramsTo(const std::string& path);

// The longest path a local socket's address holds: a longer one can never be
// sent to (0 where there are no such sockets).
size_t MaxLocalSocketPath();

}  // namespace tkw
