#include <windows.h>

#include "platform/event_loop.h"

namespace tkw {

namespace {

// The console's control handler runs on a thread of its own and knows no
// object: it reaches the one loop that runs through this pointer.
std::atomic<EventLoop*> g_consoleLoop{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
    EventLoop* loop = g_consoleLoop.load();
    if (!loop) return FALSE;
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: loop->Quit(); return TRUE;
        case CTRL_CLOSE_EVENT:
            // The process ends when this returns: give the loop a moment to
            // close the port and let the reader go, as after Ctrl+C.
            loop->Quit();
            ::Sleep(500);
            return TRUE;
        default: return FALSE;  // logoff and shutdown: a service hears of them from its manager
    }
}

}  // namespace

EventLoop::EventLoop() {
    // Auto-reset: one wait consumes any number of Wake calls made before it.
    wake_ = reinterpret_cast<intptr_t>(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    g_consoleLoop = this;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

EventLoop::~EventLoop() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_consoleLoop = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    doneCv_.notify_all();
    if (wake_ != -1 && wake_ != 0) CloseHandle(reinterpret_cast<HANDLE>(wake_));
}

void EventLoop::Wake() { SetEvent(reinterpret_cast<HANDLE>(wake_)); }

bool EventLoop::Sleep(int timeoutMs) {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(wake_), static_cast<DWORD>(timeoutMs)) != WAIT_FAILED;
}

}  // namespace tkw
