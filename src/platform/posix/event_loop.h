// The Linux program's main thread: one loop that serves the reader's
// hand-offs, wakes at every change of the clock's second for the tick, and
// ends on SIGINT or SIGTERM (or Quit). It sleeps in poll() in between, so an
// idle program costs next to nothing.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/main_thread.h"

namespace tkw {

class EventLoop final : public MainThread {
public:
    EventLoop();
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    bool Synchronize(const std::function<void()>& job) override;

    // Runs until Quit() or SIGINT/SIGTERM. `onWake` runs after every wake-up
    // (hand-offs served first) and returns how many milliseconds the loop may
    // sleep before it must be called again.
    void Run(const std::function<int()>& onWake);
    void Quit();
    // From any thread: `onWake` runs soon, outside its usual time.
    void Wake();

private:
    struct Job {
        const std::function<void()>* job;
        bool done = false;
    };
    void ServeJobs();

    int wakeFd_ = -1;
    int signalFd_ = -1;
    std::mutex mutex_;
    std::condition_variable doneCv_;
    std::deque<Job*> jobs_;
    bool stopped_ = false;
    bool quit_ = false;
};

}  // namespace tkw
