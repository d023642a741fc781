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

private:
    intptr_t handle_ = -1;
    // POSIX: the abstract socket every copy also binds, and the lock's
    // directory and file name, removed when the claim ends.
    int socket_ = -1;
    int dir_ = -1;
    std::string file_;
    std::string weakness_;
};

}  // namespace tkw
