// tkw-sim as a user runs it: on a pseudo-terminal of its own, with the test
// in TKW's place on the other end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "timecode/frame_formats.h"

namespace tkw {
namespace {

std::string SimExe() {
    return TKW_SIM_EXE;
}

struct SimRun {
    std::vector<std::vector<uint8_t>> frames;  // the bytes read, cut into frame lengths
    std::vector<std::chrono::steady_clock::time_point> arrivals;
    std::vector<std::string> lines;            // standard output after the PTY line
    int status = -1;
};

// Starts tkw-sim on its own pty, reads `frameLen`-byte frames from it and,
// after the first, writes `reply` back.
SimRun RunSim(const std::string& args, size_t frameLen, size_t frames, const std::vector<uint8_t>& reply) {
    SimRun run;
    FILE* out = popen((SimExe() + " --pty --stamp " + args).c_str(), "r");
    if (out == nullptr) return run;
    char line[512];
    if (fgets(line, sizeof line, out) == nullptr || std::string(line).rfind("PTY /dev/", 0) != 0) {
        run.status = pclose(out);
        return run;
    }
    std::string path(line + 4);
    path.pop_back();
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);

    std::vector<uint8_t> got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(frames + 3);
    while (got.size() < frameLen * frames && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        uint8_t buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) continue;
        got.insert(got.end(), buf, buf + n);
        while (run.frames.size() < got.size() / frameLen) {
            const auto at = got.begin() + static_cast<std::ptrdiff_t>(run.frames.size() * frameLen);
            run.frames.emplace_back(at, at + static_cast<std::ptrdiff_t>(frameLen));
            run.arrivals.push_back(std::chrono::steady_clock::now());
            if (run.frames.size() == 1 && !reply.empty()) (void)!write(fd, reply.data(), reply.size());
        }
    }
    while (fgets(line, sizeof line, out) != nullptr) {
        std::string s(line);
        if (!s.empty() && s.back() == '\n') s.pop_back();
        run.lines.push_back(s);
    }
    run.status = pclose(out);
    close(fd);
    return run;
}

// The frame the encoder makes for the time `frame` carries and the date
// y-mo-d: what tkw-sim must have sent.
std::vector<uint8_t> Expected(uint8_t code, const std::vector<uint8_t>& frame, int y, int mo, int d) {
    const FrameFormat& f = *FindFormat(code);
    const FrameTime ft = f.DecodeTime(frame.data(), 0);
    SystemTime t;
    t.wYear = static_cast<uint16_t>(y), t.wMonth = static_cast<uint16_t>(mo), t.wDay = static_cast<uint16_t>(d);
    t.wHour = ft.hour, t.wMinute = ft.minute, t.wSecond = ft.second;
    const FrameBytes b = EncodeFrame(f, t);
    return {b.begin(), b.end()};
}

unsigned SecondOfDay(const std::vector<uint8_t>& frame, uint8_t code) {
    const FrameTime t = FindFormat(code)->DecodeTime(frame.data(), 0);
    return t.hour * 3600u + t.minute * 60u + t.second;
}

// The local time of a SENT line's instant, whole seconds.
tm SentTime(const std::string& sentLine) {
    const long long ns = std::stoll(sentLine.substr(5));
    const time_t sec = static_cast<time_t>(ns / 1'000'000'000);
    tm local{};
    localtime_r(&sec, &local);
    return local;
}

TEST(TkwSim, SendsAFrameEverySecondAndPrintsWhatComesBack) {
    ASSERT_TRUE(std::filesystem::exists(SimExe())) << SimExe() << " is not built";
    const std::vector<uint8_t> reply = {0x55, 0xAA, 0xAA, 0xAA, 0x00, 0x31, 0x05, 0x06,
                                        0x12, 0x00, 0x00, 0x00, 0x00, 0xA3, 0x07, 0x55};
    const SimRun run = RunSim("--count 3 --format 1 --date 2031-05-06", 9, 3, reply);
    ASSERT_EQ(run.frames.size(), 3u);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.status;
    // Paced, not sent in one go (the bound is loose: a busy machine may be slow).
    EXPECT_GT(run.arrivals[2] - run.arrivals[0], std::chrono::milliseconds(1500));

    std::vector<std::string> sent, tx;
    for (const auto& l : run.lines) (l.rfind("SENT ", 0) == 0 ? sent : tx).push_back(l);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(tx, (std::vector<std::string>{"TX 55 AA", "TX AA AA 00 31 05 06 12 00 00 00 00 A3", "TX ?? 07", "TX ?? 55"}));
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& f = run.frames[i];
        EXPECT_EQ(f, Expected(1, f, 2031, 5, 6));
        // The frame names the second at whose start it was written.
        const tm at = SentTime(sent[i]);
        const unsigned clockSecs = static_cast<unsigned>(at.tm_hour * 3600 + at.tm_min * 60 + at.tm_sec);
        const unsigned frameSecs = SecondOfDay(f, 1);
        EXPECT_LE((clockSecs + 86400 - frameSecs) % 86400, 1u) << sent[i];
        if (i > 0) {
            EXPECT_GT((frameSecs + 86400 - SecondOfDay(run.frames[i - 1], 1)) % 86400, 0u);
        }
    }
}

// A receiver's fixed delay and its jitter: each frame is written 300 ms
// ± 100 ms into the second it names (a busy machine may add a little).
TEST(TkwSim, LateAndJitteredFrames) {
    const SimRun run = RunSim("--count 5 --format 1 --late-ms 300 --jitter-ms 100", 9, 5, {});
    ASSERT_EQ(run.frames.size(), 5u);
    std::vector<long long> intoSecondMs;
    for (const auto& l : run.lines) {
        if (l.rfind("SENT ", 0) != 0) continue;
        SCOPED_TRACE(l);
        const size_t i = intoSecondMs.size();
        const tm at = SentTime(l);
        EXPECT_EQ(static_cast<unsigned>(at.tm_hour * 3600 + at.tm_min * 60 + at.tm_sec), SecondOfDay(run.frames[i], 1));
        intoSecondMs.push_back(std::stoll(l.substr(5)) / 1'000'000 % 1000);
        EXPECT_GE(intoSecondMs.back(), 200);
        EXPECT_LE(intoSecondMs.back(), 450);
    }
    ASSERT_EQ(intoSecondMs.size(), 5u);
    const auto [lo, hi] = std::minmax_element(intoSecondMs.begin(), intoSecondMs.end());
    EXPECT_GT(*hi - *lo, 10) << "no jitter";
    // A jitter that would take a frame out of its second is refused.
    for (const char* bad : {"--late-ms 100 --jitter-ms 200", "--late-ms 900 --jitter-ms 100", "--late-ms 1000"}) {
        const int status = std::system((SimExe() + " --pty " + bad + " >/dev/null 2>&1").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
    }
}

TEST(TkwSim, OtherLayoutsAndDates) {
    const struct {
        const char* args;
        uint8_t code;
        int y, mo, d;  // the date the frame must carry (0: a zero byte)
    } cases[] = {
        {"--format 2 --date 2031-12-25", 2, 2031, 12, 25},
        {"--format 3 --zero-date --split", 3, 0, 0, 0},
        {"--format 3 --date 1999-01-02", 3, 1999, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const size_t len = static_cast<size_t>(FindFormat(c.code)->length);
        const SimRun run = RunSim(std::string("--count 1 ") + c.args, len, 1, {});
        ASSERT_EQ(run.frames.size(), 1u);
        EXPECT_EQ(run.frames[0], Expected(c.code, run.frames[0], c.y, c.mo, c.d));
    }
    // Bad options: status 2, and nothing is sent.
    const int status = std::system((SimExe() + " --pty --format 4 >/dev/null 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);
}

}  // namespace
}  // namespace tkw
