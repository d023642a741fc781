// Where a headless program's lines go: standard output (what it does: the
// settings, STATUS, SET, MON) and standard error (what went wrong, and what
// it does about it). The Windows service writes both to its daily log file.
#pragma once

#include <string>

namespace tkw {

class Console {
public:
    virtual ~Console() = default;
    // One line each, without its line end.
    virtual void Out(const std::string& line) = 0;
    virtual void Err(const std::string& line) = 0;
};

// std::cout and std::cerr, each line flushed (a service's journal shows it at once).
class StdConsole final : public Console {
public:
    void Out(const std::string& line) override;
    void Err(const std::string& line) override;
};

}  // namespace tkw
