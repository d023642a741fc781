// Clocks built on another clock, for the places that must not (or cannot) step
// the real one, and for saying once that the real one refused.
#pragma once

#include <functional>
#include <mutex>

#include "platform/clock.h"

namespace tkw {

// Reads `base` shifted by every step it was asked to make, instead of
// stepping anything, so that the program behaves as after a real correction:
// --dry-run, the Windows end-to-end build and tkw-replay's simulated clock.
// `onStep` hears of each valid step first and may refuse it (false), as the
// system does for a user without the right; a refused step shifts nothing.
// Readings stay within the years a SystemTime holds.
class OffsetClock final : public Clock {
public:
    using StepFn = std::function<bool(const SystemTime&)>;
    explicit OffsetClock(Clock& base, StepFn onStep = {}) : base_(base), onStep_(std::move(onStep)) {}

    SystemTime GetLocalTime() override;
    int64_t GetLocalMicros() override;
    bool SetLocalTime(const SystemTime& t) override;

private:
    Clock& base_;
    StepFn onStep_;
    std::mutex m_;
    int64_t offsetUs_ = 0;
};

// Passes everything to `inner`, and the first time a step is refused calls
// `onFirstRefusal` (never again in its life). Without the right to set the
// clock the program goes on answering the receiver, so this one notice is
// the only sign the user gets.
class WarnOnceClock final : public Clock {
public:
    WarnOnceClock(Clock& inner, std::function<void()> onFirstRefusal)
        : inner_(inner), onFirstRefusal_(std::move(onFirstRefusal)) {}

    SystemTime GetLocalTime() override { return inner_.GetLocalTime(); }
    int64_t GetLocalMicros() override { return inner_.GetLocalMicros(); }
    bool SetLocalTime(const SystemTime& t) override {
        const bool ok = inner_.SetLocalTime(t);
        if (!ok && !warned_) {
            warned_ = true;
            if (onFirstRefusal_) onFirstRefusal_();
        }
        return ok;
    }

private:
    Clock& inner_;
    std::function<void()> onFirstRefusal_;
    bool warned_ = false;
};

// A clock that stands still unless told: a start instant plus elapsed time,
// for replays and tests.
class ManualClock final : public Clock {
public:
    explicit ManualClock(LocalMs start) : start_(start) {}
    void SetElapsed(int64_t ms) { elapsedUs_ = ms * 1000; }
    void SetElapsedMicros(int64_t us) { elapsedUs_ = us; }
    SystemTime GetLocalTime() override;
    int64_t GetLocalMicros() override;
    // Refused: the instant is the caller's to move.
    bool SetLocalTime(const SystemTime&) override { return false; }

private:
    LocalMs start_;
    int64_t elapsedUs_ = 0;
};

}  // namespace tkw
