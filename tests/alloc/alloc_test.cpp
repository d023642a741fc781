// The receiver runs on the main thread for every chunk the port delivers; with
// the monitor and the communication log off it must not touch the heap, not
// even when it sets the clock. Global new/delete are replaced by counting ones
// (this file is a program of its own for that reason).
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "support/fakes.h"
#include "support/frames.h"
#include "timecode/detect.h"
#include "timecode/offset_stats.h"
#include "timecode/receiver.h"

namespace {
long g_allocations = 0;
bool g_counting = false;

void* Allocate(std::size_t n) {
    if (g_counting) ++g_allocations;
    return std::malloc(n ? n : 1);
}
// Kept out of line: inlined into a delete-expression, GCC takes the free() for
// a mismatch with the new-expression.
[[gnu::noinline]] void Release(void* p) noexcept { std::free(p); }
}  // namespace

void* operator new(std::size_t n) {
    if (void* p = Allocate(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return Allocate(n); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace tkw::test {
namespace {

// Seams that keep nothing on the heap: they only count.
struct CountingPort final : PortWriter {
    int32_t sio_write(int32_t, const uint8_t*, int32_t len) override {
        ++writes;
        return len;
    }
    int writes = 0;
};
struct CountingSinks final : MonitorSink, LogSink {
    void AppendLine(std::string) override { ++calls; }
    void savelogline(int32_t, std::string_view) override { ++calls; }
    int calls = 0;
};

long CountDuring(auto&& body) {
    g_allocations = 0;
    g_counting = true;
    body();
    g_counting = false;
    return g_allocations;
}

TEST(Alloc, CounterSeesAllocations) {
    EXPECT_EQ(CountDuring([] { delete new int(1); }), 1);
}

struct Scenario {
    const char* name;
    uint8_t code;
    bool correctNow;   // set again before every chunk: a correction per frame
    bool jumpLog;      // on, but the frames never jump
    std::vector<uint8_t> chunk;
    bool expectCorrections;
};

std::vector<uint8_t> Noise(bool withSync) {
    std::vector<uint8_t> b(255);
    uint32_t x = 12345;
    for (uint8_t& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<uint8_t>(x >> 16);
        if (!withSync && v == 0xAA) v = 0x55;
    }
    return b;
}

TEST(Alloc, HandleChunkAllocatesNothingWithMonitorAndCommLogOff) {
    using test::Krw;
    const std::vector<uint8_t> krw = Krw(8, 5, 31);
    const std::vector<uint8_t> krwBadDate = Krw(8, 5, 31, 26, 2, 30);
    const std::vector<uint8_t> krwBadTime = Krw(25, 5, 31);
    const std::vector<uint8_t> pl = test::Pl(8, 5, 31);
    const std::vector<uint8_t> mn = test::Mn(8, 5, 31);
    const Scenario scenarios[] = {
        {"KRW noise", 1, true, true, Noise(false), false},
        {"PL noise with sync bytes", 2, true, false, Noise(true), false},
        {"MN noise with sync bytes", 3, false, true, Noise(true), false},
        {"no format: the ring overflows", 0, true, true, Noise(true), false},
        {"KRW frames, no correction due", 1, false, true, krw, false},
        {"KRW corrections", 1, true, true, krw, true},
        {"PL corrections", 2, true, false, pl, true},
        {"MN corrections", 3, true, false, mn, true},
        {"KRW impossible date", 1, true, false, krwBadDate, false},
        {"KRW hour 25", 1, true, false, krwBadTime, false},
    };
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        Settings settings;
        ApplyDefaults(settings);
        settings.CodeFormat = sc.code;
        settings.CorrectionMode = 0;
        RuntimeState state;  // monitor and communication log off
        state.JumpLogOn = sc.jumpLog;
        const SystemTime pc = At(2026, 3, 14, 8, 5, 30);
        FakeClock clock(pc);
        clock.stepMs = 1;
        clock.sets.reserve(1000);
        CountingPort port;
        CountingSinks sinks;
        TimeCodeReceiver rx(settings, state, clock, port, sinks, sinks);
        const long allocations = CountDuring([&] {
            for (int i = 0; i < 300; ++i) {
                clock.Set(pc);  // every frame within the threshold
                state.CorrectNow = sc.correctNow;
                rx.HandleChunk(sc.chunk.data(), static_cast<int32_t>(sc.chunk.size()));
            }
        });
        EXPECT_EQ(allocations, 0);
        EXPECT_EQ(sinks.calls, 0);
        EXPECT_EQ(port.writes > 0, sc.expectCorrections);
    }
}

// A detection listens to dozens of ports at once: feeding a listen, noise or
// frames, allocates nothing.
TEST(Alloc, DetectionListenAllocatesNothing) {
    RateListen listen(4800);
    const std::vector<uint8_t> noise = Noise(true), mn = test::Mn(8, 5, 31);
    const long allocations = CountDuring([&] {
        for (int i = 0; i < 100; ++i) {
            listen.Feed(noise.data(), noise.size(), 1000LL * i);
            listen.Feed(mn.data(), mn.size(), 1000LL * i + 500);
        }
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(listen.Fit(3).dated, 100);  // the path through a dated frame was taken
}

// Every accepted frame gives the statistics a sample: a day of them, a step
// and a minute's row a minute, allocates nothing.
TEST(Alloc, OffsetStatisticsAllocateNothing) {
    OffsetStats stats;
    int rows = 0;
    const long allocations = CountDuring([&] {
        for (int s = 0; s < 86'400; ++s) {
            stats.Add(0.001 * (s % 60), s);
            if (s % 60 == 31) stats.Step(-0.031);
            if (s % 60 == 59) rows += stats.TakeMinute().count > 0;
        }
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(rows, 1440);
}

}  // namespace
}  // namespace tkw::test
