// The Linux program against the simulated receiver over a socat pseudo-
// terminal pair, as a user would set it up: tkw-sim on one end, tkw --dry-run
// on the other. Skipped where socat is not installed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "config/settings.h"
#include "logs/offsets_file.h"
#include "support/child.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using tkw::test::Child;
using tkw::test::PtyPair;

bool StartsWith(const std::string& s, const std::string& p) {
    return s.rfind(p, 0) == 0;
}

// "SET YYYY-MM-DD hh:mm:ss.zzz": the frame's second plus 135 ms plus the
// little time the program spent on it.
bool FineAdjusted(const std::string& set) {
    if (set.size() != 27) return false;
    const int ms = std::stoi(set.substr(24, 3));
    return ms >= 135 && ms < 185;
}

// A datagram socket standing in for systemd's notify socket (an abstract
// name, as systemd's own): every message, with the time it came.
class NotifyListener {
public:
    using Steady = std::chrono::steady_clock;
    struct Message {
        Steady::time_point at;
        std::string text;
    };
    NotifyListener() : name_("@tkw-e2e-notify-" + std::to_string(::getpid())) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path + 1, name_.data() + 1, name_.size() - 1);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a),
                        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name_.size())) == 0;
        thread_ = std::thread([this] {
            char buf[4096];
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 100) <= 0) continue;
                const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
                if (n < 0) continue;
                std::lock_guard<std::mutex> lock(m_);
                messages_.push_back({Steady::now(), std::string(buf, static_cast<size_t>(n))});
                cv_.notify_all();
            }
        });
    }
    ~NotifyListener() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    const std::string& Name() const { return name_; }
    bool Bound() const { return bound_; }
    // The first message that satisfies `pred` ("" on time-out).
    std::string Wait(const std::function<bool(const std::string&)>& pred, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_);
        std::string found;
        cv_.wait_for(lock, limit, [&] {
            for (const Message& m : messages_)
                if (pred(m.text)) return found = m.text, true;
            return false;
        });
        return found;
    }
    // How many messages equal to `text` came at `from` or later.
    size_t Count(const std::string& text, Steady::time_point from = {}) {
        std::lock_guard<std::mutex> lock(m_);
        size_t n = 0;
        for (const Message& m : messages_) n += m.at >= from && m.text == text;
        return n;
    }
    size_t CountStarting(const std::string& start) {
        std::lock_guard<std::mutex> lock(m_);
        size_t n = 0;
        for (const Message& m : messages_) n += StartsWith(m.text, start);
        return n;
    }

private:
    std::string name_;
    int fd_ = -1;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<Message> messages_;
};

class LinuxProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v socat >/dev/null 2>&1") != 0) GTEST_SKIP() << "socat is not installed";
        dir = fs::temp_directory_path() / ("tkw-e2e-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        // A lock of the test's own: another tkw on the machine must not stop it.
        // Kept in the test's directory, as a service's runtime directory keeps
        // it, so that a tkw the test kills leaves nothing in /run/tkw.
        ::setenv("TKW_INSTANCE", ("tkw-e2e-" + std::to_string(::getpid())).c_str(), 1);
        ::setenv("RUNTIME_DIRECTORY", dir.c_str(), 1);
        StartLine();
    }
    // The pseudo-terminal pair: tkw's end at dir/pc, the receiver's at dir/receiver.
    void StartLine() {
        socat = PtyPair(dir / "receiver", dir / "pc", dir);
        ASSERT_TRUE(fs::exists(dir / "pc"));
    }
    // A KRW_CODE receiver on the line, with `extra` options.
    std::unique_ptr<Child> Sim(std::vector<std::string> extra = {}) {
        std::vector<std::string> argv{TKW_SIM_EXE, "--device", (dir / "receiver").string(), "--format", "1"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return std::make_unique<Child>(argv, dir);
    }
    void TearDown() override {
        socat.reset();
        fs::remove_all(dir);
    }

    std::unique_ptr<Child> Tkw(std::vector<std::string> extra) {
        std::vector<std::string> argv{TKW_EXE, "--dry-run"};
        argv.insert(argv.end(), extra.begin(), extra.end());
        return std::make_unique<Child>(argv, dir);
    }

    fs::path dir;
    std::unique_ptr<Child> socat;
};

// A receiver 30 s ahead: the first frame is a jump, logged, and corrected all
// the same (correct-now at start); later frames correct only on their second;
// every correction is answered with 55 AA and a time frame goes out every
// second; the indicator turns green with frames and red without them.
TEST_F(LinuxProgram, CorrectsFromTheSimulatorAndAnswersIt) {
    tkw::Settings s;
    tkw::ApplyDefaults(s);
    const auto now = std::chrono::system_clock::now();
    const time_t t = std::chrono::system_clock::to_time_t(now + 30s);
    tm local{};
    localtime_r(&t, &local);
    s.CorrectionSecond = static_cast<uint8_t>((local.tm_sec + 6) % 60);  // six seconds into the run
    const tkw::ConfigRecord rec = tkw::EncodeConfig(s);
    std::ofstream(dir / "horalsys.conf", std::ios::binary)
        .write(reinterpret_cast<const char*>(rec.data()), static_cast<std::streamsize>(rec.size()));

    auto tkw = Tkw({"--map", "COM1=" + (dir / "pc").string()});
    auto sim = Sim({"--offset-seconds", "30"});

    const std::string first = tkw->WaitLine([](auto& l) { return StartsWith(l, "SET "); }, 5s);
    ASSERT_FALSE(first.empty()) << "no correction";
    EXPECT_TRUE(FineAdjusted(first)) << first;
    EXPECT_FALSE(sim->WaitLine([](auto& l) { return l == "TX 55 AA"; }, 3s).empty());
    EXPECT_FALSE(tkw->WaitLine([](auto& l) { return StartsWith(l, "STATUS green"); }, 3s).empty());

    // The scheduled one, and no other in between.
    const std::string scheduled =
        tkw->WaitLine([&](auto& l) { return StartsWith(l, "SET ") && l != first; }, 10s);
    ASSERT_FALSE(scheduled.empty());
    EXPECT_EQ(std::stoi(scheduled.substr(21, 2)), s.CorrectionSecond) << scheduled;
    EXPECT_TRUE(FineAdjusted(scheduled)) << scheduled;

    // Time frames: AA AA 00 then BCD, one a second.
    const auto frames = [&] {
        size_t n = 0;
        for (const auto& l : sim->Lines()) n += StartsWith(l, "TX AA AA 00 ") && l.size() == 3 + 12 * 3 - 1;
        return n;
    };
    const size_t before = frames();
    std::this_thread::sleep_for(3s);
    EXPECT_GE(frames() - before, 2u);
    EXPECT_LE(frames() - before, 4u);
    // ... carrying the corrected clock (the receiver's, 30 s ahead) in BCD.
    const std::string frame = sim->WaitLine([](auto& l) { return StartsWith(l, "TX AA AA 00 "); }, 2s,
                                            sim->Lines().size() - 1);
    ASSERT_EQ(frame.size(), 3u + 12 * 3 - 1) << frame;
    const auto bcd = [&](int byte) { return std::stoi(frame.substr(3 + 3 * byte, 2)); };  // the hex digits read as decimal
    const time_t expected = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + 30s);
    tm want{};
    localtime_r(&expected, &want);
    const int got = bcd(6) * 3600 + bcd(7) * 60 + bcd(8);
    EXPECT_LE(std::abs(got - (want.tm_hour * 3600 + want.tm_min * 60 + want.tm_sec)), 2) << frame;
    EXPECT_EQ(frame.substr(36), "A3");
    // One 55 AA for each of the two corrections.
    size_t answers = 0;
    for (const auto& l : sim->Lines()) answers += l == "TX 55 AA";
    EXPECT_EQ(answers, 2u);

    // The jump went to today's jump log.
    bool logged = false;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().size() == 11 && e.path().string().ends_with("S.txt")) {
            std::ifstream in(e.path());
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            logged = text.find("跳动发生！接收时间信息是：") != std::string::npos;
        }
    EXPECT_TRUE(logged);

    // A second copy is refused and leaves the port alone.
    auto second_copy = Tkw({"--map", "COM1=" + (dir / "pc").string()});
    EXPECT_EQ(second_copy->Wait(), 1);
    EXPECT_FALSE(second_copy->WaitLine([](auto& l) { return l == "串口校时程序已经在运行！"; }, 1s).empty());

    // Receiver gone: red within six to seven seconds.
    sim->Stop();
    EXPECT_FALSE(tkw->WaitLine([](auto& l) { return StartsWith(l, "STATUS red"); }, 9s).empty());
    EXPECT_EQ(tkw->Stop(SIGTERM), 0);
}

// A jump waits (the receiver 30 s ahead after a start-up correction in step,
// no correction on a jump): the yellow status says how to correct it without
// a menu, and tkw --correct-now reaches the running copy through its lock,
// which corrects at its next frame. Another user is refused; with nobody
// running it says so.
TEST_F(LinuxProgram, CorrectNowAsksTheRunningCopyForACorrection) {
    tkw::Settings s;
    tkw::ApplyDefaults(s);
    s.NoCorrectOnJump = true;
    const time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + 30s);
    tm local{};
    localtime_r(&t, &local);
    s.CorrectionSecond = static_cast<uint8_t>((local.tm_sec + 10) % 60);  // the jump found some 10 s into the run
    const tkw::ConfigRecord rec = tkw::EncodeConfig(s);
    std::ofstream(dir / "horalsys.conf", std::ios::binary)
        .write(reinterpret_cast<const char*>(rec.data()), static_cast<std::streamsize>(rec.size()));
    // The receiver's end stays open between the two receivers, or socat ends.
    const int line = ::open((dir / "receiver").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(line, 0);

    auto tkw = Tkw({"--map", "COM1=" + (dir / "pc").string()});
    Sim({"--count", "3"})->Wait();
    EXPECT_FALSE(tkw->WaitLine([](auto& l) { return StartsWith(l, "SET "); }, 2s).empty()) << "no start-up correction";
    auto sim = Sim({"--offset-seconds", "30"});
    ASSERT_FALSE(tkw->WaitLine([](auto& l) {
                        return l == "STATUS yellow 标准与本地时间跳跃，如校正请运行 tkw --correct-now（或 systemctl reload tkw）！";
                    },
                    20s)
                     .empty());

    const size_t from = tkw->Lines().size();
    Child ask({TKW_EXE, "--correct-now"}, dir);
    EXPECT_EQ(ask.Wait(), 0);
    EXPECT_FALSE(ask.WaitLine([&](auto& l) {
                        return l == "tkw: asked the running tkw (pid " + std::to_string(tkw->Pid()) +
                                        ") to correct the clock at its next accepted frame";
                    },
                    1s)
                     .empty());
    EXPECT_FALSE(
        tkw->WaitLine([](auto& l) { return l == "tkw: correction asked for (SIGUSR1): at the next accepted frame"; }, 2s, from)
            .empty());
    EXPECT_FALSE(tkw->WaitLine([](auto& l) { return StartsWith(l, "SET "); }, 3s, from).empty()) << "no correction";

    // Root's copy is not another user's to ask.
    if (const passwd* nobody = ::getpwnam("nobody"); ::geteuid() == 0 && nobody) {
        Child stranger({TKW_EXE, "--correct-now"}, dir, nullptr, [uid = nobody->pw_uid, gid = nobody->pw_gid] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) ::_exit(126);
        });
        EXPECT_EQ(stranger.Wait(), 1);
        EXPECT_FALSE(stranger.WaitLine([&](auto& l) {
                                 return l.starts_with("tkw: the running tkw (pid " + std::to_string(tkw->Pid()) +
                                                      ") may not be asked by this user: it runs as another user (uid 0)");
                             },
                             1s)
                         .empty());
    }

    EXPECT_EQ(tkw->Stop(SIGTERM), 0);
    Child none({TKW_EXE, "--correct-now"}, dir);
    EXPECT_EQ(none.Wait(), 1);
    EXPECT_FALSE(none.WaitLine([](auto& l) { return l == "tkw: no tkw is running; nothing to ask"; }, 1s).empty());
    ::close(line);
}

// Settings without a desktop: --set checks every value first and writes the
// file only when all are good; --show-settings reads it back by name.
// A receiver that sends its frames 300 ms after their second, and a fine
// adjustment of 0: every frame's offset, the day's offsets file and --stats
// all show the PC 300 ms ahead of the frames' time, the receiver's delay.
TEST_F(LinuxProgram, AReceiversDelayShowsInTheOffsetsAndInStats) {
    Child set({TKW_EXE, "--dir", dir.string(), "--set", "fine=0"}, dir);
    ASSERT_EQ(set.Wait(), 0);
    auto tkw = Tkw({"--no-step", "--offsets", "--map", "COM1=" + (dir / "pc").string()});
    auto sim = Sim({"--late-ms", "300"});
    size_t offsets = 0;
    for (int i = 0; i < 80 && offsets < 5; ++i) {
        std::this_thread::sleep_for(100ms);
        offsets = 0;
        for (const auto& l : tkw->Lines()) offsets += StartsWith(l, "OFFSET ");
    }
    ASSERT_GE(offsets, 5u);
    EXPECT_EQ(tkw->Stop(SIGTERM), 0);  // the minute so far goes to the file

    // A frame is never read before it is sent, but a busy machine (or a
    // sanitizer build) may read one a few ms late: each frame within that,
    // their median on the delay.
    size_t finer = 0;  // the read is timed in microseconds, not to the millisecond
    std::vector<double> seen;
    for (const auto& l : tkw->Lines()) {
        if (StartsWith(l, "OFFSET ")) {
            seen.push_back(std::stod(l.substr(l.rfind(' ', l.size() - 4) + 1)));
            EXPECT_GE(seen.back(), 299.0) << l;
            EXPECT_LT(seen.back(), 350.0) << l;
            finer += !l.ends_with(".000 ms");
        }
    }
    EXPECT_GT(finer, 0u);
    double sum = 0;
    for (const double v : seen) sum += v;
    const double meanSeen = sum / static_cast<double>(seen.size());
    std::sort(seen.begin(), seen.end());
    EXPECT_NEAR(seen[seen.size() / 2], 300.0, 2.0);

    // The file and --stats hold those very samples (the run may span two
    // minutes), and so their mean.
    std::string csv;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().string().ends_with("O.csv")) csv = e.path().string();
    ASSERT_FALSE(csv.empty());
    tkw::OffsetsDay day;
    ASSERT_TRUE(tkw::ReadOffsetsFile(csv, day));
    int frames = 0;
    double weighted = 0;
    for (const auto& row : day.rows) {
        frames += row.frames;
        weighted += row.meanMs * row.frames;
    }
    EXPECT_EQ(static_cast<size_t>(frames), seen.size());
    ASSERT_GT(frames, 0);
    const double meanFile = weighted / frames;
    EXPECT_NEAR(meanFile, meanSeen, 0.002);
    EXPECT_NEAR(meanFile, 300.0, 8.0);

    Child stats({TKW_EXE, "--dir", dir.string(), "--stats", "--day", fs::path(csv).filename().string().substr(0, 6)}, dir);
    EXPECT_EQ(stats.Wait(), 0);
    std::string figures;  // the day's line, under the first rule
    const std::vector<std::string> lines = stats.Lines();
    for (size_t i = 1; i < lines.size() && figures.empty(); ++i)
        if (StartsWith(lines[i - 1], "====")) figures = lines[i];
    std::istringstream columns(figures);
    std::string minutes, count, mean;
    columns >> minutes >> count >> mean;
    ASSERT_FALSE(mean.empty()) << figures;
    EXPECT_EQ(count, std::to_string(frames)) << figures;
    EXPECT_NEAR(std::stod(mean), meanFile, 0.0015) << figures;

    Child none({TKW_EXE, "--dir", dir.string(), "--stats", "--day", "010101"}, dir);
    EXPECT_EQ(none.Wait(), 1);
}

TEST_F(LinuxProgram, SettingsAreShownAndChangedFromTheCommandLine) {
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), TKW_EXE);
        auto child = std::make_unique<Child>(args, dir);
        child->Wait();
        return child;
    };
    const auto read = [&] {
        std::ifstream in(dir / "horalsys.conf", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    auto set = run({"--set", "format=PL_CODE", "mode=daily", "points=7:30:00,23:00:00", "jump=5"});
    EXPECT_EQ(set->Wait(), 0);
    const std::string saved = read();
    ASSERT_EQ(saved.size(), 224u);
    tkw::ConfigRecord rec{};
    std::copy(saved.begin(), saved.end(), rec.begin());
    tkw::Settings s;
    tkw::DecodeConfig(rec, s);
    EXPECT_EQ(s.CodeFormat, 2);
    EXPECT_EQ(s.BaudCode, 12);
    EXPECT_EQ(s.CorrectionMode, 3);
    EXPECT_EQ(s.DailyPointCount, 2);
    EXPECT_EQ(s.JumpThreshold, 5);

    auto bad = run({"--set", "fine=100", "jump=99"});
    EXPECT_EQ(bad->Wait(), 2);
    EXPECT_FALSE(bad->WaitLine([](auto& l) { return l.find("jump=99: 99 is outside 2 to 60") != std::string::npos; },
                               1s)
                     .empty());
    EXPECT_EQ(read(), saved) << "a bad value leaves the file as it was";

    auto show = run({"--show-settings"});
    EXPECT_EQ(show->Wait(), 0);
    EXPECT_FALSE(show->WaitLine([](auto& l) { return l.find("points              7:30:00,23:00:00") != std::string::npos; },
                                1s)
                     .empty());
}

// A device that is not there at start-up, comes, goes away and comes back (a
// USB adapter plugged in late, pulled, plugged in again): each change is said
// once on standard error, naming the device, and frames are read whenever it
// is there.
TEST_F(LinuxProgram, APortThatIsMissingOrGoesAwayIsTriedAgainUntilItIsBack) {
    socat.reset();  // no device at first
    for (int i = 0; i < 100 && fs::exists(dir / "pc"); ++i) std::this_thread::sleep_for(50ms);
    const std::string pc = (dir / "pc").string();
    auto tkw = Tkw({"--monitor", "--map", "COM1=" + pc});
    const auto seen = [&](const std::string& text, std::chrono::seconds within, size_t from = 0) {
        return !tkw->WaitLine([&](auto& l) { return l.find(text) != std::string::npos; }, within, from).empty();
    };
    EXPECT_TRUE(seen("tkw: COM1 (" + pc + "), 4800 bit/s, KRW_CODE, correcting every minute at second 31", 5s));
    EXPECT_TRUE(seen("STATUS red 未收到标准时间码", 5s));
    EXPECT_TRUE(seen("错误: 串口打开失败！原因是串口不存在或者串口已被其他程序占用！", 5s));
    EXPECT_TRUE(seen("  " + pc + ": No such file or directory", 1s));
    EXPECT_TRUE(seen("tkw: COM1 (" + pc + ") cannot be opened: No such file or directory; trying again every 2 s", 1s));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "plugged in late" : "plugged in again");
        StartLine();
        auto sim = Sim();
        const size_t from = tkw->Lines().size();
        EXPECT_TRUE(seen("tkw: COM1 (" + pc + ") is back", 4s, from));
        EXPECT_TRUE(seen("MON 【", 4s, from)) << "frames are read again";
        sim.reset();
        socat.reset();  // pulled out
        EXPECT_TRUE(seen("tkw: COM1 (" + pc + ") is gone: Input/output error; trying again every 2 s", 3s, from));
    }
    // Said once each time, and never the set-up error a closed port would give.
    size_t gone = 0;
    for (const auto& l : tkw->Lines()) {
        gone += l.find(") is gone") != std::string::npos;
        EXPECT_EQ(l.find("通讯参数设置错误"), std::string::npos) << l;
    }
    EXPECT_EQ(gone, 2u);
    EXPECT_TRUE(tkw->Running());
    EXPECT_EQ(tkw->Stop(SIGTERM), 0);
}

// Run by systemd as a Type=notify service (a stand-in socket here):
// READY=1 once, when the port is in use; STATUS= that follows the indicator
// and names the port and the last correction; WATCHDOG=1 from the main loop
// at half the interval asked for, and none once that loop hangs.
TEST_F(LinuxProgram, TellsSystemdItsStateAndPingsTheWatchdogFromItsLoop) {
    NotifyListener systemd;
    ASSERT_TRUE(systemd.Bound());
    const std::string pc = (dir / "pc").string();
    ::setenv("NOTIFY_SOCKET", systemd.Name().c_str(), 1);
    ::setenv("WATCHDOG_USEC", "1000000", 1);  // a ping every 0.5 s
    ::setenv("TKW_TEST_STALL_FILE", (dir / "stall").c_str(), 1);
    auto tkw = Tkw({"--map", "COM1=" + pc});
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "TKW_TEST_STALL_FILE"}) ::unsetenv(name);

    const auto has = [](const std::string& a, const std::string& b) { return a.find(b) != std::string::npos; };
    const std::string ready = systemd.Wait([](auto& m) { return StartsWith(m, "READY=1\n"); }, 5s);
    EXPECT_TRUE(has(ready, "STATUS=red ") && has(ready, "COM1 (" + pc + ")") && has(ready, "no correction yet"))
        << ready;

    auto sim = Sim({"--offset-seconds", "30"});
    const std::string green = systemd.Wait([&](auto& m) { return StartsWith(m, "STATUS=green ") && has(m, "moved +30."); }, 10s);
    EXPECT_TRUE(has(green, "COM1 (" + pc + "); last correction ")) << green;

    const auto since = NotifyListener::Steady::now();
    std::this_thread::sleep_for(3s);
    const size_t pings = systemd.Count("WATCHDOG=1", since);
    EXPECT_GE(pings, 4u);
    EXPECT_LE(pings, 8u);

    std::ofstream(dir / "stall") << "hang\n";
    std::this_thread::sleep_for(1500ms);
    const auto hung = NotifyListener::Steady::now();
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(systemd.Count("WATCHDOG=1", hung), 0u) << "a hung loop must stop the pings";
    EXPECT_EQ(systemd.CountStarting("READY=1"), 1u);
    tkw->Stop(SIGKILL);
}

// systemd's variables as a careless unit or a hostile environment may give
// them: a value that cannot be used is said once, on standard error, and
// never makes the loop ping as fast as it can (the largest interval is
// systemd's "never"; half of one just below it overflowed the clock's count).
struct NotifyCase {
    const char* name;
    std::string socket;  // empty: the listener's
    const char* usec;
    const char* pid;     // null: unset
    std::string said;    // empty: nothing
    friend void PrintTo(const NotifyCase& c, std::ostream* os) { *os << c.name; }
};

class UnusableNotify : public LinuxProgram, public ::testing::WithParamInterface<NotifyCase> {};

TEST_P(UnusableNotify, IsSaidOnceAndNeverFloodsTheWatchdog) {
    const NotifyCase& c = GetParam();
    NotifyListener systemd;
    ASSERT_TRUE(systemd.Bound());
    ::setenv("NOTIFY_SOCKET", c.socket.empty() ? systemd.Name().c_str() : c.socket.c_str(), 1);
    ::setenv("WATCHDOG_USEC", c.usec, 1);
    if (c.pid) ::setenv("WATCHDOG_PID", c.pid, 1);
    auto tkw = Tkw({"--map", "COM1=" + (dir / "pc").string()});
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"}) ::unsetenv(name);

    EXPECT_NE(tkw->WaitLine([](const std::string& l) { return StartsWith(l, "STATUS red"); }, 5s), "");
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(systemd.Count("WATCHDOG=1"), 0u);
    EXPECT_EQ(tkw->Stop(SIGTERM), 0);
    size_t said = 0, named = 0;
    for (const std::string& l : tkw->Lines()) {
        said += StartsWith(l, "tkw: NOTIFY_SOCKET=") || StartsWith(l, "tkw: WATCHDOG_");
        named += !c.said.empty() && StartsWith(l, c.said);
    }
    EXPECT_EQ(said, c.said.empty() ? 0u : 1u);
    EXPECT_EQ(named, said);
}

INSTANTIATE_TEST_SUITE_P(
    Values, UnusableNotify,
    ::testing::Values(
        NotifyCase{"IntervalNever", "", "18446744073709551615", nullptr,
                   "tkw: WATCHDOG_USEC=18446744073709551615 is not a watchdog interval"},
        NotifyCase{"IntervalHuge", "", "18446744073709551614", nullptr, ""},
        NotifyCase{"IntervalNotANumber", "", "2s", nullptr, "tkw: WATCHDOG_USEC=2s is not a watchdog interval"},
        NotifyCase{"PidNotANumber", "", "1000000", "self", "tkw: WATCHDOG_PID=self is not a process id"},
        NotifyCase{"SocketTooLong", "/" + std::string(120, 's'), "1000000", nullptr,
                   "tkw: NOTIFY_SOCKET=/sss"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
