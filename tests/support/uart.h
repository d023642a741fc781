// A serial line whose two ends may be set to different bit rates: the bytes a
// receiving UART makes of what a transmitter sent, computed from the bit
// timing. 8N1, no parity, both clocks exact.
//
// Transmitter: the line idles high; a byte is a start bit (low), eight data
// bits, least significant first, and a stop bit (high); the bytes of a burst
// follow each other without a gap.
// Receiver, as a 16550 does it: a falling edge begins a character; the middle
// of the start bit must still be low (otherwise it was a glitch and the hunt
// goes on from there); the data bits are sampled at the middle of each of the
// receiver's own bit times, then the stop bit. A character whose stop bit
// reads low (a framing error) is delivered with its bits as sampled, which is
// what Linux gives in raw mode (INPCK clear: no marking, no NUL in its
// place) and Windows with fErrorChar off; that low sample is taken as the
// middle of the next start bit. A break (every sample low, the stop bit's
// too) is delivered as one 0x00, and the next character waits for the line
// to go high and fall again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tkw::test {

struct Burst {
    int64_t atMs;  // when its first start bit begins
    std::vector<uint8_t> bytes;
};

struct RxByte {
    uint8_t value;
    int64_t atUs;  // when the receiver has it: the middle of its stop bit
};

class Uart {
public:
    // `sent` in time order, bursts not overlapping.
    Uart(const std::vector<Burst>& sent, int txBaud, int rxBaud)
        : sent_(sent), perSecond_(2LL * txBaud * rxBaud), txBit_(2LL * rxBaud), rxBit_(2LL * txBaud) {}

    std::vector<RxByte> Receive() const {
        std::vector<RxByte> out;
        int64_t t = 0;
        bool resync = false;  // the last stop bit read low: it is the next start bit's middle
        for (;;) {
            int64_t mid = t;
            if (!resync) {
                const int64_t edge = NextFall(t);
                if (edge < 0) break;
                mid = edge + rxBit_ / 2;
                if (High(mid)) {  // a glitch, not a start bit
                    t = mid;
                    continue;
                }
            }
            uint8_t value = 0;
            for (int i = 0; i < 8; ++i)
                if (High(mid + (i + 1) * rxBit_)) value = static_cast<uint8_t>(value | 1 << i);
            const int64_t stop = mid + 9 * rxBit_;
            out.push_back({value, stop / perSecond_ * 1'000'000 + stop % perSecond_ * 1'000'000 / perSecond_});
            t = stop;
            resync = !High(stop) && value != 0;  // a break waits for the line to rise and fall
        }
        return out;
    }

private:
    int64_t Start(const Burst& b) const { return b.atMs * perSecond_ / 1000; }
    int64_t Bits(const Burst& b) const { return static_cast<int64_t>(b.bytes.size()) * 10; }

    // The line at tick t.
    bool High(int64_t t) const {
        // The last burst that began at or before t.
        auto it = std::upper_bound(sent_.begin(), sent_.end(), t,
                                   [this](int64_t v, const Burst& b) { return v < Start(b); });
        if (it == sent_.begin()) return true;
        const Burst& b = *--it;
        const int64_t bit = (t - Start(b)) / txBit_;
        if (bit >= Bits(b)) return true;
        const int64_t k = bit % 10;
        if (k == 0) return false;
        if (k == 9) return true;
        return (b.bytes[static_cast<size_t>(bit / 10)] >> (k - 1) & 1) != 0;
    }

    // The first tick at or after t where the line falls (high just before,
    // low from there); -1 when it never does again. Only a transmitter's bit
    // boundary can be one.
    int64_t NextFall(int64_t t) const {
        auto from = std::partition_point(sent_.begin(), sent_.end(),
                                         [&](const Burst& b) { return Start(b) + Bits(b) * txBit_ <= t; });
        for (auto it = from; it != sent_.end(); ++it) {
            const Burst& b = *it;
            const int64_t s = Start(b);
            for (int64_t j = std::max<int64_t>(0, (t - s + txBit_ - 1) / txBit_); j < Bits(b); ++j) {
                const int64_t at = s + j * txBit_;
                if (!High(at) && High(at - 1)) return at;
            }
        }
        return -1;
    }

    const std::vector<Burst>& sent_;
    int64_t perSecond_;  // ticks a second: both bit times are whole numbers of them
    int64_t txBit_, rxBit_;
};

}  // namespace tkw::test
