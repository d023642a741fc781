// One running copy per machine: two programs stepping the same clock from two
// receivers would fight each other.
#pragma once

#include <cstdint>
#include <string>

namespace tkw {

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
