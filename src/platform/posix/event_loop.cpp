#include "platform/posix/event_loop.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tkw {

EventLoop::EventLoop() {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    // Blocked in every thread created from here on, delivered through the fd.
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    signalFd_ = ::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
}

EventLoop::~EventLoop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    doneCv_.notify_all();
    if (wakeFd_ >= 0) ::close(wakeFd_);
    if (signalFd_ >= 0) ::close(signalFd_);
}

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
    uint64_t count = 0;
    (void)!::read(wakeFd_, &count, sizeof count);
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

void EventLoop::Wake() {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

void EventLoop::Quit() {
    quit_ = true;
    Wake();
}

void EventLoop::Run(const std::function<int()>& onWake) {
    int timeout = onWake();
    while (!quit_) {
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {signalFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, timeout < 0 ? 0 : timeout);
        if (n < 0 && errno != EINTR) break;
        if (n > 0 && (fds[1].revents & POLLIN)) {
            signalfd_siginfo info;
            (void)!::read(signalFd_, &info, sizeof info);
            break;
        }
        if (n > 0 && (fds[0].revents & POLLIN)) ServeJobs();
        if (quit_) break;
        timeout = onWake();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    doneCv_.notify_all();
}

}  // namespace tkw
