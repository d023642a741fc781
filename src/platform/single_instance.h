// One running copy per machine: two programs stepping the same clock from two
// receivers would fight each other.
#pragma once

#include <cstdint>
#include <string>

namespace tkw {

class SingleInstance {
public:
    // Claims `name` for this process until it ends. False when another
    // process holds it.
    bool Acquire(const std::string& name);
    ~SingleInstance();

private:
    intptr_t handle_ = -1;
};

}  // namespace tkw
