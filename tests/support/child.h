// A child process whose standard output and error are collected line by line
// on a thread of their own, for tests and benchmarks that drive the programs
// as a user would.
#pragma once

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tkw::test {

class Child {
public:
    // `onLine` (optional) sees every line as it arrives, on the reading thread.
    // `beforeExec` (optional) runs in the child just before the program
    // starts, to change how it is started (its streams, its limits, its
    // user); async-signal-safe calls only.
    Child(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
          std::function<void(const std::string&)> onLine = {}, const std::function<void()>& beforeExec = {})
        : onLine_(std::move(onLine)) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            ::dup2(out[1], 2);
            ::close(out[0]);
            ::close(out[1]);
            if (::chdir(cwd.c_str()) != 0) ::_exit(127);
            if (beforeExec) beforeExec();
            std::vector<char*> args;
            for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            ::execv(args[0], args.data());
            ::_exit(127);
        }
        ::close(out[1]);
        reader_ = std::thread([this, fd = out[0]] {
            std::string partial;
            char buf[512];
            for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) {
                partial.append(buf, static_cast<size_t>(n));
                for (size_t nl; (nl = partial.find('\n')) != std::string::npos; partial.erase(0, nl + 1)) {
                    if (onLine_) onLine_(partial.substr(0, nl));
                    std::lock_guard<std::mutex> lock(m_);
                    lines_.push_back(partial.substr(0, nl));
                    cv_.notify_all();
                }
            }
            ::close(fd);
            std::lock_guard<std::mutex> lock(m_);
            drained_ = true;
            cv_.notify_all();
        });
    }
    ~Child() {
        Stop(SIGKILL);
        if (reader_.joinable()) reader_.join();
    }

    // Waits until some line satisfies `pred`; returns it ("" on time-out).
    std::string WaitLine(const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds limit,
                         size_t from = 0) {
        std::unique_lock<std::mutex> lock(m_);
        std::string found;
        cv_.wait_for(lock, limit, [&] {
            for (size_t i = from; i < lines_.size(); ++i)
                if (pred(lines_[i])) return found = lines_[i], true;
            return false;
        });
        return found;
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(m_);
        return lines_;
    }
    pid_t Pid() const { return pid_; }
    bool Running() { return pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == 0; }
    // Signals the child and returns its exit status (-1 if it did not exit normally).
    int Stop(int sig = SIGTERM) {
        if (pid_ <= 0) return exit_;
        if (::waitpid(pid_, &status_, WNOHANG) == 0) {
            ::kill(pid_, sig);
            ::waitpid(pid_, &status_, 0);
        }
        pid_ = -1;
        Drain();
        exit_ = WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
        return exit_;
    }
    int Wait() {
        if (pid_ > 0) ::waitpid(pid_, &status_, 0);
        pid_ = -1;
        Drain();
        return exit_ = WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    // The child has ended: what it wrote last may still be in the pipe, so
    // Lines() after Wait() or Stop() waits for the reader to reach its end
    // (bounded: a grandchild could hold the pipe open).
    void Drain() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait_for(lock, std::chrono::seconds(2), [this] { return drained_; });
    }

    std::function<void(const std::string&)> onLine_;
    pid_t pid_ = -1;
    int status_ = 0;
    int exit_ = -1;
    std::thread reader_;
    bool drained_ = false;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<std::string> lines_;
};

// socat joining two new pseudo-terminals, reached through the links
// `receiver` and `pc`, run in `cwd`. Waits up to 5 s for both links; the
// caller checks that they are there (socat may be missing or slow).
inline std::unique_ptr<Child> PtyPair(const std::filesystem::path& receiver, const std::filesystem::path& pc,
                                      const std::filesystem::path& cwd) {
    auto socat = std::make_unique<Child>(
        std::vector<std::string>{"/usr/bin/socat", "pty,raw,echo=0,link=" + receiver.string(),
                                 "pty,raw,echo=0,link=" + pc.string()},
        cwd);
    for (int i = 0; i < 250 && !(std::filesystem::exists(receiver) && std::filesystem::exists(pc)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return socat;
}

// In a forked child of a process run as root: becomes the user nobody, with
// no other groups. False when that fails. As anyone else: stays that user.
inline bool BecomeNobody() {
    if (::geteuid() != 0) return true;
    const passwd* nobody = ::getpwnam("nobody");
    return nobody && ::setgroups(0, nullptr) == 0 && ::setgid(nobody->pw_gid) == 0 && ::setuid(nobody->pw_uid) == 0;
}

// Runs `fn` in a forked child as the user nobody (see BecomeNobody) and
// returns what it returned, or -1 when the child could not become nobody or
// did not end normally.
inline int RunAsNobody(const std::function<int()>& fn) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(BecomeNobody() ? fn() : 255);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) == 255) return -1;
    return WEXITSTATUS(status);
}

}  // namespace tkw::test
