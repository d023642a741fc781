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

namespace tkw::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
constexpr auto kGuard = 10s;

// Each scripted entry is what one sio_read delivers (a run longer than the
// read takes several); a negative entry is an error result; no entry reads 0.
class ScriptedSerial final : public SerialApi {
public:
    void Push(Bytes b, int32_t rc = 0) { std::lock_guard lk(m_); script_.push_back({std::move(b), rc}); }
    int32_t sio_read(int32_t port, uint8_t* buf, int32_t len) override {
        std::lock_guard lk(m_);
        ports.push_back(port);
        lens.push_back(len);
        std::fill(buf, buf + len, 0xEE);  // the library may scribble over all it was given
        if (script_.empty()) return 0;
        auto& [bytes, rc] = script_.front();
        const int32_t n = rc != 0 ? rc : std::min<int32_t>(len, static_cast<int32_t>(bytes.size()));
        if (n > 0) std::copy(bytes.begin(), bytes.begin() + n, buf), bytes.erase(bytes.begin(), bytes.begin() + n);
        if (bytes.empty()) script_.pop_front();
        return n;
    }
    size_t Reads() { std::lock_guard lk(m_); return ports.size(); }
    int32_t sio_open(int32_t) override { return 0; }
    int32_t sio_close(int32_t) override { return 0; }
    int32_t sio_flush(int32_t, int32_t) override { return 0; }
    int32_t sio_ioctl(int32_t, int32_t, int32_t) override { return 0; }
    int32_t sio_flowctrl(int32_t, int32_t) override { return 0; }
    int32_t sio_DTR(int32_t, int32_t) override { return 0; }
    int32_t sio_RTS(int32_t, int32_t) override { return 0; }
    int32_t sio_getbaud(int32_t) override { return 0; }
    int32_t sio_SetWriteTimeouts(int32_t, int32_t) override { return 0; }
    int32_t sio_write(int32_t, const uint8_t*, int32_t len) override { return len; }

    std::vector<int32_t> ports, lens;  // read them once the reader is held or waits for a hand-off

private:
    std::mutex m_;
    std::deque<std::pair<Bytes, int32_t>> script_;
};

// Hand-offs wait until the test serves them; after Close they are refused.
class QueuedMain final : public MainThread {
public:
    bool Synchronize(const std::function<void()>& job) override {
        std::unique_lock lk(m_);
        ++offered_;
        cv_.notify_all();
        if (closed_) return false;
        pending_ = &job;
        cv_.wait(lk, [&] { return pending_ == nullptr; });
        return ran_;
    }
    bool WaitPending() { std::unique_lock lk(m_); return cv_.wait_for(lk, kGuard, [&] { return pending_ != nullptr; }); }
    bool Serve() {
        if (!WaitPending()) return false;
        std::unique_lock lk(m_);
        const auto* job = pending_;
        lk.unlock();
        (*job)();
        lk.lock();
        pending_ = nullptr, ran_ = true;
        cv_.notify_all();
        return true;
    }
    void Close() { std::lock_guard lk(m_); closed_ = true, ran_ = false, pending_ = nullptr; cv_.notify_all(); }
    bool WaitOffered(int n) { std::unique_lock lk(m_); return cv_.wait_for(lk, kGuard, [&] { return offered_ >= n; }); }

private:
    std::mutex m_;
    std::condition_variable cv_;
    const std::function<void()>* pending_ = nullptr;
    bool ran_ = false, closed_ = false;
    int offered_ = 0;
};

// The poll sleep: counts entries and lets one pass out per Allow.
class Gate {
public:
    void Sleep() {
        std::unique_lock lk(m_);
        ++entered_;
        cv_.notify_all();
        cv_.wait(lk, [&] { return open_ || permits_ > 0; });
        if (!open_) --permits_;
    }
    void Allow(int n = 1) { std::lock_guard lk(m_); permits_ += n; cv_.notify_all(); }
    void Open() { std::lock_guard lk(m_); open_ = true; cv_.notify_all(); }
    bool WaitEntered(int n) { std::unique_lock lk(m_); return cv_.wait_for(lk, kGuard, [&] { return entered_ >= n; }); }

private:
    std::mutex m_;
    std::condition_variable cv_;
    int entered_ = 0, permits_ = 0;
    bool open_ = false;
};

struct Rig {
    ScriptedSerial serial;
    int32_t port = 3;
    QueuedMain main;
    Gate gate;
    std::vector<Bytes> handled;  // each chunk with the byte after it; touched on the test thread only
    bool throwing = false;
    Tcomm reader{serial, port, main,
                 [this](const uint8_t* b, int32_t n) {
                     handled.emplace_back(b, b + n + 1);
                     if (throwing) throw std::runtime_error("bad chunk");
                 },
                 [this](std::chrono::milliseconds) { gate.Sleep(); }};
    ~Rig() {
        main.Close();
        reader.Stop();
        gate.Open();
        EXPECT_TRUE(reader.WaitEnded(kGuard));
    }
};

TEST(Reader, HandsOverEachReadWithATerminatorAndPollsOnAfterEmptyOrFailedReads) {
    Rig r;
    Bytes run(300);
    for (size_t i = 0; i < run.size(); ++i) run[i] = static_cast<uint8_t>(i + 1);
    r.serial.Push(run);
    r.serial.Push({}, -1);
    r.reader.Start();
    r.gate.Allow(2);
    ASSERT_TRUE(r.main.Serve());
    ASSERT_TRUE(r.main.Serve());
    ASSERT_EQ(r.handled.size(), 2u);
    run.insert(run.begin() + 255, 0);  // where each hand-off's terminator lies
    run.push_back(0);
    EXPECT_EQ(r.handled[0], Bytes(run.begin(), run.begin() + 256));
    EXPECT_EQ(r.handled[1], Bytes(run.begin() + 256, run.end()));
    r.gate.Allow(2);  // a failed read, then nothing waiting
    ASSERT_TRUE(r.gate.WaitEntered(5));
    EXPECT_TRUE(r.main.WaitOffered(2));
    EXPECT_EQ(r.serial.lens, std::vector<int32_t>(4, 255));
    EXPECT_EQ(r.serial.ports, std::vector<int32_t>(4, 3));
}

TEST(Reader, PausesNestAndHoldItOffThePortUntilTheLastResume) {
    Rig r;
    r.reader.Start();
    ASSERT_TRUE(r.gate.WaitEntered(1));
    r.reader.Pause();
    r.reader.Pause();
    r.serial.Push({1, 2, 3});
    r.gate.Allow(1);  // the sleep that was under way ends inside the pause
    ASSERT_TRUE(r.reader.WaitParked(kGuard));
    r.reader.Resume();
    ASSERT_TRUE(r.reader.WaitParked(kGuard)) << "one pause is still in force";
    EXPECT_EQ(r.serial.Reads(), 0u);
    r.port = 7;
    r.reader.Resume();
    r.gate.Allow(1);
    ASSERT_TRUE(r.main.Serve());
    EXPECT_EQ(r.handled, (std::vector<Bytes>{Bytes{1, 2, 3, 0}}));
    EXPECT_EQ(r.serial.ports, std::vector<int32_t>{7});
}

TEST(Reader, CallsBeforeStartDoNothingAndAStopBeforeTheFirstPassReadsNothing) {
    Rig r;
    r.reader.Pause();  // must not hold the reader started later
    r.reader.Stop();
    EXPECT_TRUE(r.reader.WaitEnded(0ms));
    r.serial.Push({1});
    r.reader.Start();
    r.gate.Allow(1);
    ASSERT_TRUE(r.main.Serve());

    Rig s;
    s.serial.Push({1});
    s.reader.Start();
    s.reader.Stop();
    s.gate.Open();
    ASSERT_TRUE(s.reader.WaitEnded(kGuard));
    EXPECT_EQ(s.serial.Reads(), 0u);
}

TEST(Reader, APauseDuringAHandOffReturnsAtOnceAndTheChunkIsServedAfter) {
    Rig r;
    r.serial.Push({0xAA, 0x01});
    r.reader.Start();
    r.gate.Allow(1);
    ASSERT_TRUE(r.main.WaitPending());
    auto paused = std::async(std::launch::async, [&] { r.reader.Pause(); });
    if (paused.wait_for(kGuard) != std::future_status::ready) {
        r.main.Close();
        FAIL() << "the pause waited for the hand-off";
    }
    EXPECT_TRUE(r.handled.empty());
    ASSERT_TRUE(r.main.Serve());
    EXPECT_EQ(r.handled, (std::vector<Bytes>{Bytes{0xAA, 0x01, 0}}));
    r.serial.Push({0x55});
    r.gate.Allow(1);
    ASSERT_TRUE(r.reader.WaitParked(kGuard)) << "back in the hold, not at the port";
    EXPECT_EQ(r.serial.Reads(), 1u);
    r.reader.Resume();
    ASSERT_TRUE(r.main.Serve());
    EXPECT_EQ(r.handled.size(), 2u);
}

TEST(Reader, AThrowingHandlerOrARefusedHandOffDoesNotEndIt) {
    Rig r;
    r.throwing = true;
    r.serial.Push({1});
    r.serial.Push({2});
    r.serial.Push({3});
    r.reader.Start();
    r.gate.Allow(1);
    ASSERT_TRUE(r.main.Serve());  // the exception stays inside the hand-off
    r.main.Close();
    r.gate.Allow(2);
    ASSERT_TRUE(r.main.WaitOffered(3));
    EXPECT_EQ(r.handled.size(), 1u);
}

}  // namespace
}  // namespace tkw::test
