// Feeds chrony's SOCK reference clock: for every accepted frame, a sample
// saying that at the instant the frame arrived (on the PC's real clock) the
// true time was the frame's time plus the fine adjustment. chronyd then
// disciplines the clock smoothly and serves it to a whole network.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/datagram.h"
#include "platform/systime.h"

namespace tkw {

// An instant of the PC's real (UTC) clock.
struct RealInstant {
    int64_t sec = 0;
    int32_t nsec = 0;
};

class ChronyFeed {
public:
    // chrony's struct sock_sample: tv (the measurement's system time), the
    // offset of the reference from it in seconds, pulse, leap, padding and
    // the magic 'SOCK', as laid out with a 64-bit time (every 64-bit Linux,
    // and 32-bit ones built with a 64-bit time_t).
    static constexpr int32_t kMagic = 0x534f434b;
    static constexpr size_t kSampleSize = 40;

    ChronyFeed(DatagramSender& socket, std::string path, std::function<void(const std::string&)> say)
        : socket_(socket), path_(std::move(path)), say_(std::move(say)) {}

    // `frame` is the receiver's local date and time (whole second); the true
    // time at `arrived` was `frame` plus `fineMs` milliseconds. A frame whose
    // local time the system cannot place is skipped.
    void Frame(const SystemTime& frame, int fineMs, RealInstant arrived);

    // The sample's bytes, and its offset in seconds.
    static std::array<uint8_t, kSampleSize> Sample(RealInstant arrived, double offset);
    static bool Offset(const SystemTime& frame, int fineMs, RealInstant arrived, double& offset);

private:
    DatagramSender& socket_;
    std::string path_;
    std::function<void(const std::string&)> say_;
    std::optional<bool> lastSent_;  // the last frame's outcome, none before the first
};

}  // namespace tkw
