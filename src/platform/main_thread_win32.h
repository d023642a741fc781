// Hand-offs from the reader thread on Windows: a message posted to the main
// window, served by whatever message loop is running (the main one or a modal
// dialog's); the reader waits until the job has run or the window is gone.
// Windows builds only.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/main_thread.h"

namespace tkw {

class WindowMainThread final : public MainThread {
public:
    // `message` is what the window's procedure answers with Serve().
    explicit WindowMainThread(UINT message) : message_(message) {}

    // The window that serves the hand-offs; until it is set, none is accepted.
    void SetWindow(HWND window);

    bool Synchronize(const std::function<void()>& job) override;

    // On the main thread, for the message.
    void Serve();

    // The window is going: a waiting reader gets false, later ones at once.
    void StopServing();

private:
    const UINT message_;
    std::mutex m_;
    std::condition_variable cv_;
    HWND window_ = nullptr;
    bool serving_ = true;
    const std::function<void()>* job_ = nullptr;
    bool done_ = false;
};

}  // namespace tkw
