// The headless programs' main thread: one loop that serves the reader's
// hand-offs, wakes when its caller asks (at every change of the clock's
// second, for the tick) and ends on Quit, or when the user or the system asks
// the program to end: SIGINT, SIGTERM or SIGHUP on Linux (where SIGPIPE is
// ignored from then on), Ctrl+C, Ctrl+Break or the console's closing on
// Windows. On Linux SIGUSR1 is a request from outside instead (see
// OnUserSignal). It sleeps in between (poll() on an eventfd
// and a signalfd; a wait on an event), so an idle program costs next to
// nothing.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/main_thread.h"

namespace tkw {

class EventLoop final : public MainThread {
public:
    // On Linux, before any other thread exists: the signals are blocked in
    // every thread created afterwards and delivered to the loop alone.
    EventLoop();
    ~EventLoop() override;
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    bool Synchronize(const std::function<void()>& job) override;

    // Runs until Quit() or the end is asked for. `onWake` runs after every
    // wake-up (hand-offs served first) and returns how many milliseconds the
    // loop may sleep before it must be called again.
    void Run(const std::function<int()>& onWake);
    // From any thread (a service's control handler, a console's Ctrl+C).
    void Quit();
    // From any thread: `onWake` runs soon, outside its usual time.
    void Wake();

    // Linux: SIGUSR1, which other programs send to ask something of this one
    // (tkw --correct-now), runs this on the loop's thread before `onWake`.
    // The signal is blocked from the loop's construction on, so that one
    // arriving early waits for the loop instead of ending the program; with
    // nothing set here it is dropped. Unused on Windows.
    std::function<void()> OnUserSignal;

private:
    struct Job {
        const std::function<void()>* job;
        bool done = false;
    };
    // The system's part: sleeps up to `timeoutMs` or until woken; false when
    // the end was asked for (a signal, Ctrl+C) or the wait failed.
    bool Sleep(int timeoutMs);
    void ServeJobs();

    intptr_t wake_ = -1;    // eventfd / event handle
    intptr_t signal_ = -1;  // signalfd (Linux)
    std::mutex mutex_;
    std::condition_variable doneCv_;
    std::deque<Job*> jobs_;
    bool stopped_ = false;
    std::atomic<bool> quit_{false};
};

}  // namespace tkw
