#include "platform/main_thread_win32.h"

namespace tkw {

void WindowMainThread::SetWindow(HWND window) {
    std::lock_guard<std::mutex> lk(m_);
    window_ = window;
}

bool WindowMainThread::Synchronize(const std::function<void()>& job) {
    std::unique_lock<std::mutex> lk(m_);
    if (!serving_ || !window_) return false;
    job_ = &job;
    done_ = false;
    if (!PostMessageW(window_, message_, 0, 0)) {
        job_ = nullptr;
        return false;
    }
    cv_.wait(lk, [&] { return done_ || !serving_; });
    const bool ran = done_;
    job_ = nullptr;
    return ran;
}

void WindowMainThread::Serve() {
    const std::function<void()>* job;
    {
        std::lock_guard<std::mutex> lk(m_);
        if (!serving_ || !job_ || done_) return;
        job = job_;
    }
    (*job)();
    {
        std::lock_guard<std::mutex> lk(m_);
        done_ = true;
    }
    cv_.notify_all();
}

void WindowMainThread::StopServing() {
    {
        std::lock_guard<std::mutex> lk(m_);
        serving_ = false;
    }
    cv_.notify_all();
}

}  // namespace tkw
