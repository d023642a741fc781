// The reader thread against a scripted port, a main thread played by the test
// and a poll sleep the test opens one pass at a time. Every wait is for a
// state; the time-outs only turn a hang into a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "serial/reader.h"
#include "support/fakes.h"

namespace tkw::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
constexpr auto kGuard = 10s;

// The reader's world under one lock: a port whose reads deliver the scripted
// entries (one entry longer than a read lasts several; a negative one is an
// error result; none left reads 0), a main thread whose hand-offs wait for
// Serve and are refused once closed, and a wait for input (or, for a port
// that cannot be waited on, a poll sleep) that lets one pass out per Allow.
struct World final : test::NullSerial, MainThread {
    template <class P> bool Wait(P pred) { std::unique_lock lk(m); return cv.wait_for(lk, kGuard, pred); }
    template <class F> void Do(F f) { std::lock_guard lk(m); f(); cv.notify_all(); }
    void Push(Bytes b, int32_t rc = 0) { Do([&] { script.push_back({std::move(b), rc}); }); }
    void Allow(int n) { Do([&] { permits += n; }); }
    void Close() { Do([&] { closed = true, ran = false, pending = nullptr; }); }
    void Open() { Do([&] { open = true; }); }
    bool Serve() {
        if (!Wait([&] { return pending != nullptr; })) return false;
        (*pending)();
        Do([&] { pending = nullptr, ran = true; });
        return true;
    }

    void Sleep() {
        std::unique_lock lk(m);
        ++slept;
        cv.notify_all();
        cv.wait(lk, [&] { return open || permits > 0; });
        if (!open) --permits;
    }
    int32_t sio_wait(int32_t, int32_t) override {
        Sleep();
        return waitResult;
    }
    int32_t sio_wake(int32_t) override {
        Do([&] { ++wakes; });
        return 0;
    }
    int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) override {
        std::lock_guard lk(m);
        ports.push_back(port);
        std::fill(buf, buf + len, 0xEE);  // the library may scribble over all it was given
        if (script.empty()) return 0;
        auto& [bytes, rc] = script.front();
        const int32_t n = rc != 0 ? rc : std::min<int32_t>(len, static_cast<int32_t>(bytes.size()));
        if (n > 0) std::copy(bytes.begin(), bytes.begin() + n, buf), bytes.erase(bytes.begin(), bytes.begin() + n);
        if (bytes.empty()) script.pop_front();
        return n;
    }
    bool Synchronize(const std::function<void()>& job) override {
        std::unique_lock lk(m);
        ++offered;
        cv.notify_all();
        if (closed) return false;
        pending = &job;
        cv.wait(lk, [&] { return pending == nullptr; });
        return ran;
    }

    std::mutex m;
    std::condition_variable cv;
    std::deque<std::pair<Bytes, int32_t>> script;
    std::vector<int32_t> ports;
    const std::function<void()>* pending = nullptr;
    int slept = 0, permits = 0, offered = 0, wakes = 0;
    int32_t waitResult = 1;
    bool open = false, closed = false, ran = false;
};

struct Rig {
    World w;
    int32_t port = 3;
    std::vector<Bytes> handled;  // each chunk with the byte after it; touched on the test thread only
    bool throwing = false;
    Tcomm reader{w, port, w,
                 [this](const uint8_t* b, int32_t n, const ReadStamp&) {
                     handled.emplace_back(b, b + n + 1);
                     if (throwing) throw std::runtime_error("bad chunk");
                 },
                 [this](std::chrono::milliseconds) { w.Sleep(); }};
    ~Rig() {
        w.Close();
        reader.Stop();
        w.Open();
        EXPECT_TRUE(reader.WaitEnded(kGuard));
    }
};

TEST(Reader, HandsOverEachReadWithATerminatorAndPollsOnAfterEmptyOrFailedReads) {
    Rig r;
    Bytes run(300);
    for (size_t i = 0; i < run.size(); ++i) run[i] = static_cast<uint8_t>(i + 1);
    r.w.Push(run);
    r.w.Push({}, -1);
    r.reader.Start();
    r.w.Allow(2);
    ASSERT_TRUE(r.w.Serve());
    ASSERT_TRUE(r.w.Serve());
    ASSERT_EQ(r.handled.size(), 2u);
    run.insert(run.begin() + 255, 0);  // where each hand-off's terminator lies
    run.push_back(0);
    EXPECT_EQ(r.handled[0], Bytes(run.begin(), run.begin() + 256));
    EXPECT_EQ(r.handled[1], Bytes(run.begin() + 256, run.end()));
    r.w.Allow(2);  // a failed read, then nothing waiting: no hand-off keeps it from polling on
    EXPECT_TRUE(r.w.Wait([&] { return r.w.slept == 5; }));
}

TEST(Reader, PausesNestAndHoldItOffThePortUntilTheLastResume) {
    Rig r;
    r.reader.Start();
    ASSERT_TRUE(r.w.Wait([&] { return r.w.slept == 1; }));
    r.reader.Pause();
    r.reader.Pause();
    r.w.Push({1, 2, 3});
    r.w.Allow(1);  // the sleep that was under way ends inside the pause
    ASSERT_TRUE(r.reader.WaitParked(kGuard));
    r.reader.Resume();
    ASSERT_TRUE(r.reader.WaitParked(kGuard)) << "one pause is still in force";
    EXPECT_EQ(r.w.ports.size(), 0u);
    r.port = 7;
    r.reader.Resume();
    r.w.Allow(1);
    ASSERT_TRUE(r.w.Serve());
    EXPECT_EQ(r.handled, (std::vector<Bytes>{Bytes{1, 2, 3, 0}}));
    EXPECT_EQ(r.w.ports, std::vector<int32_t>{7});
}

// Waiting on the port: a pause or a stop wakes the wait; a port that cannot
// be waited on (closed after a failed change) is looked at again after a
// sleep, never in a spin.
TEST(Reader, PausesAndStopsWakeTheWaitAndAPortNotOpenIsPolled) {
    Rig r;
    r.reader.Start();
    ASSERT_TRUE(r.w.Wait([&] { return r.w.slept == 1; }));
    r.reader.Pause();
    EXPECT_TRUE(r.w.Wait([&] { return r.w.wakes == 1; }));
    r.w.Allow(1);
    ASSERT_TRUE(r.reader.WaitParked(kGuard));
    r.w.Do([&] { r.w.waitResult = kSioNotOpen; });
    r.reader.Resume();
    r.w.Allow(2);  // the wait, then the sleep it falls back on: then it waits again, still
    ASSERT_TRUE(r.w.Wait([&] { return r.w.slept == 4 && r.w.permits == 0; }));
    r.reader.Stop();
    EXPECT_TRUE(r.w.Wait([&] { return r.w.wakes == 2; }));
}

TEST(Reader, CallsBeforeStartDoNothingAndAStopBeforeTheFirstPassReadsNothing) {
    Rig r;
    r.reader.Pause();  // must not hold the reader started later
    r.reader.Stop();
    EXPECT_TRUE(r.reader.WaitEnded(0ms));
    r.w.Push({1});
    r.reader.Start();
    r.w.Allow(1);
    ASSERT_TRUE(r.w.Serve());

    Rig s;
    s.w.Push({1});
    s.reader.Start();
    s.reader.Stop();
    s.w.Open();
    ASSERT_TRUE(s.reader.WaitEnded(kGuard));
    EXPECT_EQ(s.w.ports.size(), 0u);
}

TEST(Reader, APauseDuringAHandOffReturnsAtOnceAndTheChunkIsServedAfter) {
    Rig r;
    r.w.Push({0xAA, 0x01});
    r.reader.Start();
    r.w.Allow(1);
    ASSERT_TRUE(r.w.Wait([&] { return r.w.pending != nullptr; }));
    auto paused = std::async(std::launch::async, [&] { r.reader.Pause(); });
    if (paused.wait_for(kGuard) != std::future_status::ready) {
        r.w.Close();
        FAIL() << "the pause waited for the hand-off";
    }
    EXPECT_TRUE(r.handled.empty());
    ASSERT_TRUE(r.w.Serve());
    EXPECT_EQ(r.handled, (std::vector<Bytes>{Bytes{0xAA, 0x01, 0}}));
    r.w.Push({0x55});
    r.w.Allow(1);
    ASSERT_TRUE(r.reader.WaitParked(kGuard)) << "back in the hold, not at the port";
    EXPECT_EQ(r.w.ports.size(), 1u);
    r.reader.Resume();
    ASSERT_TRUE(r.w.Serve());
    EXPECT_EQ(r.handled.size(), 2u);
}

TEST(Reader, AThrowingHandlerOrARefusedHandOffDoesNotEndIt) {
    Rig r;
    r.throwing = true;
    for (uint8_t b : {1, 2, 3}) r.w.Push({b});
    r.reader.Start();
    r.w.Allow(1);
    ASSERT_TRUE(r.w.Serve());  // the exception stays inside the hand-off
    r.w.Close();
    r.w.Allow(2);
    ASSERT_TRUE(r.w.Wait([&] { return r.w.offered == 3; }));
    EXPECT_EQ(r.handled.size(), 1u);
}

}  // namespace
}  // namespace tkw::test
