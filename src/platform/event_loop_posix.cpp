#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/event_loop.h"

namespace tkw {

EventLoop::EventLoop() {
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    // A hang-up (the terminal closed) ends the program as cleanly as the
    // others: the settings are only read at start, and a service manager
    // restarts a service to have them read again.
    sigaddset(&mask, SIGHUP);
    // A request (tkw --correct-now): its default action would end the
    // program, so it is blocked before anyone can learn this process's id.
    sigaddset(&mask, SIGUSR1);
    // Blocked in every thread created from here on, delivered through the fd.
    pthread_sigmask(SIG_BLOCK, &mask, nullptr);
    // A reader of our output that goes away (tkw | head, a journal being
    // restarted) must not end the clock keeping: the writes fail, and the
    // program goes on without them.
    ::signal(SIGPIPE, SIG_IGN);
    signal_ = ::signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
}

EventLoop::~EventLoop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    doneCv_.notify_all();
    if (wake_ >= 0) ::close(static_cast<int>(wake_));
    if (signal_ >= 0) ::close(static_cast<int>(signal_));
}

void EventLoop::Wake() {
    const uint64_t one = 1;
    (void)!::write(static_cast<int>(wake_), &one, sizeof one);
}

bool EventLoop::Sleep(int timeoutMs) {
    pollfd fds[2] = {{static_cast<int>(wake_), POLLIN, 0}, {static_cast<int>(signal_), POLLIN, 0}};
    const int n = ::poll(fds, 2, timeoutMs);
    if (n < 0) return errno == EINTR;
    if (n > 0 && (fds[1].revents & POLLIN)) {
        signalfd_siginfo info{};
        if (::read(static_cast<int>(signal_), &info, sizeof info) == sizeof info && info.ssi_signo == SIGUSR1) {
            if (OnUserSignal) OnUserSignal();
            return true;  // a signal that ends the loop, pending too, is read at the next poll
        }
        return false;
    }
    if (n > 0 && (fds[0].revents & POLLIN)) {
        uint64_t count = 0;
        (void)!::read(static_cast<int>(wake_), &count, sizeof count);
    }
    return true;
}

}  // namespace tkw
