// Hand-offs to the main thread: the reader thread gives each received chunk to
// the thread that owns all of the program's state and waits until it has been
// handled. On Windows the hand-off is a message to the main window; on Linux
// the program's event loop serves it.
#pragma once

#include <functional>

namespace tkw {

class MainThread {
public:
    virtual ~MainThread() = default;
    // Called from another thread: runs `job` on the main thread and returns
    // once it has run. Returns false without running it when the main thread
    // has stopped serving hand-offs (the program is closing).
    virtual bool Synchronize(const std::function<void()>& job) = 0;
};

}  // namespace tkw
