// One running copy per machine: two programs stepping the same clock from two
// receivers would fight each other.
#pragma once

#include <cstdint>
#include <string>

namespace tkw {

// Who holds the lock's name when a copy comes to claim it, as far as the
// system tells (Windows, where any local user may create an object of any
// name in the machine-wide namespace).
enum class LockHolder {
    Nobody,       // the name was free: the claim is ours
    ClockSetter,  // a program with the right to set the clock: the service's
                  // account, the system, an administrator's elevated program
    Other,        // anyone else, or an object we cannot open or that is no
                  // lock: another user's, or a program not run as administrator
    Unknown,      // the system would not say
};

enum class LockVerdict {
    Acquire,  // ours alone
    Refuse,   // another clock-setting copy runs (or may)
    RunWeak,  // run, and say that a second copy would not be stopped
};

// The rule for a copy that finds `holder` on the name. A holder that cannot
// set the clock stops only copies that cannot set it either: it may be
// anyone's program, a squatter among them, and must not keep the service or
// an administrator's copy from keeping the time. When the system cannot say,
// rather run than refuse.
LockVerdict DecideLock(LockHolder holder, bool maySetClock);

class SingleInstance {
public:
    SingleInstance() = default;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    // Claims `name` for this process until it ends. False when another
    // process holds it.
    bool Acquire(const std::string& name);
    ~SingleInstance();

    // Set when the claim is weaker than it should be, saying why (a lock
    // directory that could not be used): for the program to pass on.
    const std::string& Weakness() const { return weakness_; }

    // POSIX: lets SignalHolder find this process from now on: its id goes
    // into the lock file, and the abstract socket listens, so that a caller
    // learns it from the connection. Only once the process takes the signal
    // it will be sent (SIGUSR1 ends a process that does not). Nothing on
    // Windows.
    void Announce();
    // Closes the connections callers have left (one each), so that they
    // never fill the socket's queue: at every turn of the program's loop.
    void DropCallers();

private:
    intptr_t handle_ = -1;
    // POSIX: the abstract socket every copy also binds, and the lock's
    // directory and file name, removed when the claim ends.
    int socket_ = -1;
    bool listening_ = false;
    int dir_ = -1;
    std::string file_;
    std::string weakness_;
};

// POSIX: what became of a signal for the process that holds `name` and has
// announced itself. Its lock file, which only its own user (or root) can
// read, names it; a caller that cannot read that file, or finds it unlocked
// (an ordinary user's copy holds the abstract socket alone), asks the socket,
// whose connection says the holder's process and user. Only a process of the
// caller's own effective user is signalled that way, never a stranger's.
struct HolderSignal {
    enum Outcome {
        Sent,          // to `pid`
        Nobody,        // no process holds the lock
        NotPermitted,  // `pid` (0: unknown) may not be signalled by this user: `why`
        Failed,        // the holder could not be found or signalled: `why`
    };
    Outcome outcome = Nobody;
    long pid = 0;
    std::string why;
};
HolderSignal SignalHolder(const std::string& name, int signal);

}  // namespace tkw
