// Measures TimeCodeReceiver::HandleChunk: how fast the walk gets through line
// noise and through a stream of good frames, and what one accepted frame
// costs when it steps the clock. The clock and the port are do-nothing
// fakes: the machine's clock is never touched.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "timecode/detect.h"
#include "timecode/receiver.h"

using namespace tkw;

namespace {

using Steady = std::chrono::steady_clock;
constexpr double kMinSeconds = 0.3;
constexpr size_t kChunk = 255;

// Always reads the same instant; "setting" it changes nothing.
class StillClock final : public Clock {
public:
    explicit StillClock(SystemTime t) : t_(t) {}
    SystemTime GetLocalTime() override { return t_; }
    bool SetLocalTime(const SystemTime&) override {
        ++sets;
        return true;
    }
    uint64_t sets = 0;

private:
    SystemTime t_;
};

class NullPort final : public PortWriter {
public:
    int32_t sio_write(int32_t, const uint8_t*, int32_t len) override { return len; }
};

class NullMonitor final : public MonitorSink {
public:
    void AppendLine(std::string) override {}
};

class NullLog final : public LogSink {
public:
    void savelogline(int32_t, std::string_view) override {}
};

SystemTime Start() {
    SystemTime t{};
    t.wYear = 2026;
    t.wMonth = 1;
    t.wDay = 1;
    return FromLocalMs(ToLocalMs(t));
}

// One frame of `format` for 2026-01-01 00:00:ss.
std::vector<uint8_t> Frame(uint8_t format, unsigned ss) {
    SystemTime t = Start();
    t.wSecond = static_cast<uint16_t>(ss);
    const FrameBytes f = EncodeFrame(*FindFormat(format), t);
    return {f.begin(), f.end()};
}

struct Rig {
    explicit Rig(uint8_t format, uint8_t mode = 0, uint8_t second = 0) : clock(Start()) {
        ApplyDefaults(settings);
        settings.CodeFormat = format;
        settings.CorrectionMode = mode;  // 0: no schedule, nothing is ever due
        settings.CorrectionSecond = second;
        state = RuntimeState::AtStartUp();
        state.CorrectNow = false;
        state.JumpLogOn = false;
    }
    Settings settings;
    RuntimeState state;
    StillClock clock;
    NullPort port;
    NullMonitor monitor;
    NullLog log;
    TimeCodeReceiver rx{settings, state, clock, port, monitor, log};
};

// Feeds `stream` in chunks of kChunk again and again for at least
// kMinSeconds; returns MB/s (10^6 bytes).
double Throughput(Rig& rig, const std::vector<uint8_t>& stream) {
    uint64_t bytes = 0;
    const auto t0 = Steady::now();
    double elapsed = 0;
    do {
        for (size_t pos = 0; pos < stream.size(); pos += kChunk) {
            const size_t len = std::min(kChunk, stream.size() - pos);
            rig.rx.HandleChunk(stream.data() + pos, static_cast<int32_t>(len));
        }
        bytes += stream.size();
        elapsed = std::chrono::duration<double>(Steady::now() - t0).count();
    } while (elapsed < kMinSeconds);
    return bytes / elapsed / 1e6;
}

// Hands one frame per call, again and again; returns ns per call.
double PerFrame(Rig& rig, const std::vector<uint8_t>& frame, bool correct, uint64_t& calls) {
    calls = 0;
    const auto t0 = Steady::now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 1000; ++i) {
            rig.state.CorrectNow = correct;
            rig.rx.HandleChunk(frame.data(), static_cast<int32_t>(frame.size()));
        }
        calls += 1000;
        elapsed = std::chrono::duration<double>(Steady::now() - t0).count();
    } while (elapsed < kMinSeconds);
    return elapsed * 1e9 / calls;
}

// Feeds one detection listen `stream` in chunks of kChunk, a read every
// 10 ms of simulated time, again and again for at least kMinSeconds; returns
// MB/s.
double DetectThroughput(const std::vector<uint8_t>& stream) {
    RateListen listen(4800);
    uint64_t bytes = 0;
    LocalMs at = 0;
    const auto t0 = Steady::now();
    double elapsed = 0;
    do {
        for (size_t pos = 0; pos < stream.size(); pos += kChunk) {
            listen.Feed(stream.data() + pos, std::min(kChunk, stream.size() - pos), at += 10);
        }
        bytes += stream.size();
        elapsed = std::chrono::duration<double>(Steady::now() - t0).count();
    } while (elapsed < kMinSeconds);
    return bytes / elapsed / 1e6;
}

}  // namespace

int main() {
    // 1 MiB of noise from a fixed xorshift, the same every run.
    std::vector<uint8_t> noise(1 << 20);
    uint32_t x = 2463534242u;
    for (uint8_t& b : noise) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }

    std::printf("tkw-bench: HandleChunk on a simulated clock and port, monitor and logs off\n");
    std::printf("  noise:      1 MiB of random bytes in chunks of %zu, nothing due\n", kChunk);
    std::printf("  frames:     good frames (one spacer byte after each) in chunks of %zu, nothing due\n", kChunk);
    std::printf("  frame:      one call with one frame that is accepted, nothing due\n");
    std::printf("  +correction: the same frame due (SetLocalTime and 55 AA on do-nothing fakes)\n\n");
    std::printf("%-9s %12s %12s %10s %15s %15s\n", "format", "noise MB/s", "frames MB/s", "frame ns",
                "+correction ns", "correction ns");

    double slowestNoise = 1e300;
    std::vector<uint8_t> mixed;  // frames of all three formats
    for (uint8_t format : {1, 2, 3}) {
        Rig noiseRig(format);
        const double noiseRate = Throughput(noiseRig, noise);
        slowestNoise = std::min(slowestNoise, noiseRate);

        std::vector<uint8_t> frames;
        while (frames.size() < (1u << 20)) {
            const std::vector<uint8_t> f = Frame(format, static_cast<unsigned>(frames.size() / 16 % 60));
            frames.insert(frames.end(), f.begin(), f.end());
            frames.push_back(0x00);
        }
        Rig frameRig(format);
        const double frameRate = Throughput(frameRig, frames);
        mixed.insert(mixed.end(), frames.begin(), frames.begin() + (1 << 18));

        // Second 0 matches the frame; the clock reads the frame's own time,
        // so there is no jump and the date agrees.
        const std::vector<uint8_t> one = Frame(format, 0);
        Rig quiet(format);
        uint64_t calls = 0;
        const double plain = PerFrame(quiet, one, false, calls);
        Rig stepping(format);
        const double corrected = PerFrame(stepping, one, true, calls);
        // The figure means something only if every call took the path.
        if (stepping.clock.sets != calls || quiet.clock.sets != 0) {
            std::printf("%-9s the correction path was taken %llu times in %llu calls\n", FindFormat(format)->name,
                        static_cast<unsigned long long>(stepping.clock.sets), static_cast<unsigned long long>(calls));
            return 1;
        }
        std::printf("%-9s %12.1f %12.1f %10.1f %15.1f %15.1f\n", FindFormat(format)->name, noiseRate, frameRate,
                    plain, corrected, corrected - plain);
    }
    std::printf("\ndetection (one listen, the three formats weighed at once): noise %.1f MB/s, frames %.1f MB/s\n",
                DetectThroughput(noise), DetectThroughput(mixed));
    std::printf("\ntarget: noise walk >= 50 MB/s (slowest format here: %.1f MB/s; a 9600 bit/s line is ~0.001 MB/s)\n",
                slowestNoise);
    return 0;
}
