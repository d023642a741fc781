#include "platform/event_loop.h"

namespace tkw {

bool EventLoop::Synchronize(const std::function<void()>& job) {
    Job entry{&job};
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopped_) return false;
    jobs_.push_back(&entry);
    Wake();
    doneCv_.wait(lock, [&] { return entry.done || stopped_; });
    if (!entry.done) {
        // The loop ended before it got to this job: take it back.
        for (auto it = jobs_.begin(); it != jobs_.end(); ++it)
            if (*it == &entry) {
                jobs_.erase(it);
                break;
            }
    }
    return entry.done;
}

void EventLoop::ServeJobs() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!jobs_.empty()) {
        Job* j = jobs_.front();
        jobs_.pop_front();
        lock.unlock();
        (*j->job)();
        lock.lock();
        j->done = true;
        doneCv_.notify_all();
    }
}

void EventLoop::Quit() {
    quit_ = true;
    Wake();
}

void EventLoop::Run(const std::function<int()>& onWake) {
    int timeout = onWake();
    while (!quit_) {
        if (!Sleep(timeout < 0 ? 0 : timeout)) break;
        ServeJobs();
        if (quit_) break;
        timeout = onWake();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    doneCv_.notify_all();
}

}  // namespace tkw
