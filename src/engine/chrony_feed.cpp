#include "engine/chrony_feed.h"

#include <cstring>

namespace tkw {

bool ChronyFeed::Offset(const SystemTime& frame, int fineMs, RealInstant arrived, double& offset) {
    int64_t sec = 0;
    if (!LocalToUnixSeconds(frame, sec)) return false;
    // In whole seconds first, then the fractions: a double keeps nanoseconds
    // only for a small number.
    offset = static_cast<double>(sec - arrived.sec) + fineMs / 1000.0 - arrived.nsec / 1e9;
    return true;
}

std::array<uint8_t, ChronyFeed::kSampleSize> ChronyFeed::Sample(RealInstant arrived, double offset) {
    struct {
        int64_t tv_sec;
        int64_t tv_usec;
        double offset;
        int32_t pulse;
        int32_t leap;
        int32_t pad;
        int32_t magic;
    } s{arrived.sec, arrived.nsec / 1000, offset, 0, 0, 0, kMagic};
    static_assert(sizeof s == kSampleSize, "chrony's sample is 40 bytes with 64-bit time");
    std::array<uint8_t, kSampleSize> out{};
    std::memcpy(out.data(), &s, sizeof s);
    return out;
}

void ChronyFeed::Frame(const SystemTime& frame, int fineMs, RealInstant arrived) {
    // The sample carries microseconds: the offset is taken from that same
    // instant, not from the nanoseconds cut off it.
    arrived.nsec -= arrived.nsec % 1000;
    double offset = 0;
    if (!Offset(frame, fineMs, arrived, offset)) return;
    const auto sample = Sample(arrived, offset);
    std::string why;
    const bool sent = socket_.Send(sample.data(), sample.size(), why);
    // Said when the outcome changes: a chronyd that is not there (yet) is no
    // fault, and the next frame tries again.
    if (lastSent_ == sent) return;
    lastSent_ = sent;
    if (sent)
        say_("chrony's socket " + path_ + " takes the samples");
    else
        say_("chrony's socket " + path_ + ": " + why + "; trying again with each frame");
}

}  // namespace tkw
