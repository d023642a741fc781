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

// Everything to the error stream: for the lines of a command run inside
// another (--set's, under --detect --save), whose standard output is kept
// for its own lines.
class ErrOnly final : public Console {
public:
    explicit ErrOnly(Console& inner) : inner_(inner) {}
    void Out(const std::string& line) override { inner_.Err(line); }
    void Err(const std::string& line) override { inner_.Err(line); }

private:
    Console& inner_;
};

// std::cout and std::cerr, each line flushed (a service's journal shows it at once).
class StdConsole final : public Console {
public:
    void Out(const std::string& line) override;
    void Err(const std::string& line) override;
};

}  // namespace tkw
